// A person choosing an input line and the recording level in the running
// main window: a real selection in the input list opens the hint, which
// stores its choice; a drag of the slider's thumb sets the line's level on a
// private sound server, while keys on the slider do not.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>

#include <algorithm>
#include <map>
#include <optional>

#include "app/converter_app.h"
#include "platform/dshow/dshow.h"
#include "platform/win/window_internal.h"
#include "settings/profile.h"
#include "tests/input/input_test_support.h"
#include "tests/support/slider_thumb.h"
#include "tests/support/stored_settings.h"

namespace {

using quavix::test::StoredInt;
using quavix::win::WidgetOf;

BOOL LineEnabled(IBaseFilter *f, int line) {
  IEnumPins *e = nullptr;
  BOOL on = -1;
  if (FAILED(f->EnumPins(&e))) return on;
  IPin *p = nullptr;
  for (int i = 0; e->Next(1, &p, nullptr) == S_OK; ++i) {
    IAMAudioInputMixer *m = nullptr;
    if (i == line &&
        SUCCEEDED(p->QueryInterface(IID_IAMAudioInputMixer, reinterpret_cast<void **>(&m)))) {
      m->get_Enable(&on);
      m->Release();
    }
    p->Release();
  }
  e->Release();
  return on;
}

class InputWindowTest : public inputtest::InputControlsTest {
 protected:
  void SetUp() override {
    InputControlsTest::SetUp();
    // The window runs without the program's start-up, which names the
    // settings' maker key.
    if (app_) app_->SetRegistryKey(kProfileMakerKey);
  }

  // Runs the main window; `drive` acts in it once the device's lines (both
  // outputs' monitors, B's first) are listed as a device change lists them.
  void RunMainWindow(const std::function<void(CConverterDlg &, IBaseFilter *)> &drive) {
    RunMainWindowAlone([&](CConverterDlg &dlg) {
      hintsAtStart_ = Hints();
      IBaseFilter *mine = TwoMonitorDevice();
      ASSERT_NE(mine, nullptr);
      IBaseFilter *theirs = dlg.m_pCaptureFilter;
      dlg.m_pCaptureFilter = mine;
      const BOOL onlyOnce = dlg.m_bOnlyOnce;
      dlg.m_bOnlyOnce = 1;
      dlg.FillInputLineList(mine, PINDIR_INPUT, dlg.m_cbInputList);
      dlg.m_cbInputList.SetCurSel(g_nCapturePinIndex);
      dlg.OnSelchangeInputList();
      dlg.m_bOnlyOnce = onlyOnce;
      dlg.m_cbInputList.ShowWindow(SW_SHOW);  // as with a second device
      drive(dlg, mine);
      dlg.m_pCaptureFilter = theirs;
      mine->Release();
      dlg.PostMessage(WM_CLOSE);
    });
  }

  // A person picks the next (or previous) entry of the input list.
  void ChooseWithKey(CConverterDlg &dlg, Qt::Key key) {
    QWidget *combo = WidgetOf(dlg.m_cbInputList.m_hWnd);
    combo->setFocus();
    QTest::keyClick(combo, key);
  }

  int Hints() const {
    return static_cast<int>(std::count(dialogsShown_.begin(), dialogsShown_.end(), IDD_INPUT_HINT));
  }

  long hintsAtStart_ = -1;
};

TEST_F(InputWindowTest, HintAtThePersonsFirstChoiceThenSilencedByOk) {
  bool checkedAtOpening = false;
  std::string caption;
  drivers_[IDD_INPUT_HINT] = [&](HWND hint) {
    caption = WindowText(hint);
    checkedAtOpening = IsDlgButtonChecked(hint, IDC_DONT_SHOW) == BST_CHECKED;
    QTest::mouseClick(WidgetOf(GetDlgItem(hint, IDOK)), Qt::LeftButton);
  };
  RunMainWindow([&](CConverterDlg &dlg, IBaseFilter *f) {
    EXPECT_EQ(hintsAtStart_, 0) << "never at start-up";
    EXPECT_EQ(Hints(), 0) << "nor when a device's lines are listed while starting";
    EXPECT_EQ(dlg.m_cbInputList.GetCurSel(), 0);
    ChooseWithKey(dlg, Qt::Key_Down);
    EXPECT_EQ(Hints(), 1);
    EXPECT_EQ(caption, "How to select an input device");
    EXPECT_TRUE(checkedAtOpening);
    EXPECT_EQ(StoredInt(appName_, "b_only_once"), std::optional<DWORD>(1));
    EXPECT_EQ(dlg.m_bOnlyOnce, 1);
    EXPECT_EQ(g_nCapturePinIndex, 1);
    EXPECT_EQ(LineEnabled(f, 1), TRUE) << "the chosen line is switched on";
    EXPECT_EQ(LineEnabled(f, 0), FALSE);
    ChooseWithKey(dlg, Qt::Key_Up);
    EXPECT_EQ(Hints(), 1) << "silenced";
    EXPECT_EQ(LineEnabled(f, 0), TRUE);
    EXPECT_EQ(LineEnabled(f, 1), FALSE);
  });
}

TEST_F(InputWindowTest, HintWithTheBoxClearedKeepsComingAndEscapeStoresNothing) {
  int opening = 0;
  std::vector<bool> checked;
  drivers_[IDD_INPUT_HINT] = [&](HWND hint) {
    checked.push_back(IsDlgButtonChecked(hint, IDC_DONT_SHOW) == BST_CHECKED);
    if (++opening == 1) {
      QTest::keyClick(WidgetOf(hint), Qt::Key_Escape);
    } else {
      QTest::mouseClick(WidgetOf(GetDlgItem(hint, IDC_DONT_SHOW)), Qt::LeftButton);
      QTest::mouseClick(WidgetOf(GetDlgItem(hint, IDOK)), Qt::LeftButton);
    }
  };
  RunMainWindow([&](CConverterDlg &dlg, IBaseFilter *f) {
    ChooseWithKey(dlg, Qt::Key_Down);
    EXPECT_EQ(Hints(), 1);
    EXPECT_EQ(StoredInt(appName_, "b_only_once"), std::nullopt) << "Escape stores nothing";
    EXPECT_EQ(dlg.m_bOnlyOnce, 0);
    EXPECT_EQ(LineEnabled(f, 1), TRUE) << "the line changes all the same";
    ChooseWithKey(dlg, Qt::Key_Up);
    EXPECT_EQ(Hints(), 2);
    EXPECT_EQ(StoredInt(appName_, "b_only_once"), std::optional<DWORD>(0));
    EXPECT_EQ(dlg.m_bOnlyOnce, 0);
    ChooseWithKey(dlg, Qt::Key_Down);
    EXPECT_EQ(Hints(), 3) << "still shown after OK with the box cleared";
  });
  EXPECT_EQ(checked, (std::vector<bool>{true, true, true})) << "ticked at every opening";
}

TEST_F(InputWindowTest, DraggingTheThumbSetsTheLevelKeysDoNot) {
  ASSERT_EQ(pulse_.Pactl({"set-source-volume", "quavix_b.monitor", "50%"}).exit_code, 0);
  RunMainWindow([&](CConverterDlg &dlg, IBaseFilter *) {
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 100) << "line B's 50 %";
    auto *w = static_cast<QSlider *>(WidgetOf(dlg.m_sliderVolume.m_hWnd));
    ASSERT_NE(w, nullptr);
    const QPoint start = quavix::test::SliderThumbCenter(w);
    QTest::mousePress(w, Qt::LeftButton, {}, start);
    QPoint at = start;
    for (int x = start.x(); x < w->width() && w->value() < 150; ++x) {
      at = QPoint(x, start.y());
      QMouseEvent move(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton,
                       Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(w, &move);
    }
    ASSERT_EQ(w->value(), 150) << "the drag reaches 150";
    EXPECT_NEAR(pulse_.SourceVolumePercent("quavix_b.monitor").value_or(-1), 50.0, 0.5)
        << "nothing changes before the thumb is let go";
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 150);
    EXPECT_NEAR(pulse_.SourceVolumePercent("quavix_b.monitor").value_or(-1), 75.0, 0.5);
    EXPECT_NEAR(pulse_.SourceVolumePercent("quavix_a.monitor").value_or(-1), 100.0, 0.5)
        << "the other line keeps its level";

    w->setFocus();
    QTest::keyClick(w, Qt::Key_Home);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 0);
    EXPECT_NEAR(pulse_.SourceVolumePercent("quavix_b.monitor").value_or(-1), 75.0, 0.5)
        << "keys move the slider only";
  });
}

}  // namespace
