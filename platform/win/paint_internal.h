// Inside the window layer: device contexts that paint on a widget with a
// QPainter. Drawing functions that arrive with the owner-drawn controls take
// the painter of a device context from here.
#pragma once

#include "platform/win/winuser_more.h"

class QPainter;
class QWidget;

namespace quavix::win {

// A device context painting on the widget; only inside that widget's paint
// event. Released with ReleaseWidgetDc.
HDC CreateWidgetDc(HWND hwnd, QWidget *widget);
void ReleaseWidgetDc(HDC dc);
// The painter of a live device context; null for a device context that
// draws nothing (or a handle that is not one).
QPainter *PainterOf(HDC dc);

}  // namespace quavix::win

class QImage;

namespace quavix::win {
// Whether the handle is a device context not yet released.
bool IsLiveDc(HDC dc);
// A device context painting on an image (which must outlive it), for
// drawing off screen and for tests. Released with ReleaseWidgetDc.
HDC CreateImageDc(QImage *image);
// Pens, brushes, regions and memory device contexts made and not yet
// deleted, in the whole program.
int LiveGdiObjectCount();
}  // namespace quavix::win
