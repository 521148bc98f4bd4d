// Where a person grabs a slider's thumb: the middle of its handle as the
// slider's style draws it at its present value. Header-only, for test
// programs that link the toolkit's widgets.
#pragma once

#include <QPoint>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

namespace quavix::test {

inline QPoint SliderThumbCenter(const QSlider *slider) {
  QStyleOptionSlider opt;
  opt.initFrom(slider);
  opt.orientation = slider->orientation();
  opt.minimum = slider->minimum();
  opt.maximum = slider->maximum();
  opt.sliderPosition = slider->sliderPosition();
  opt.sliderValue = slider->value();
  return slider->style()
      ->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider)
      .center();
}

}  // namespace quavix::test
