// The about box of the real program: opened from the main window's context
// menu and by the About command, with the icon, the name, the version and
// the makers' lines, a rounded OK button, and closed by Enter, Esc and its
// close box. The program runs headless in folders of the test's own.
#include "app/converter_app.h"
#include "control_pictures.h"
#include "controls/round_button.h"
#include "controls/transparent_label.h"
#include "platform/win/ui_seam.h"
#include "tests/support/main_window_fixture.h"
#include "platform/win/window_internal.h"
#include "ui/about_dlg.h"
#include "ui/converter_dlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using quavix::test::WindowText;
using quavix::win::WidgetOf;

// The texts of the dialog's controls in their order.
std::vector<std::string> ControlTexts(HWND dialog) {
  std::vector<std::string> texts;
  QWidget *widget = WidgetOf(dialog);
  for (QObject *child : widget->children())
    if (HWND h = quavix::win::HwndFromWidget(qobject_cast<QWidget *>(child)); h && h != dialog)
      texts.push_back(WindowText(h));
  return texts;
}

// Pictures for the documentation, written when QUAVIX_SCREENSHOT_DIR names
// a folder (scripts/screenshot-main-window.sh sets it).
void SaveForDocs(const QImage &picture, const char *name) {
  const char *dir = std::getenv("QUAVIX_SCREENSHOT_DIR");
  if (dir != nullptr && *dir != '\0') picture.save(QString::fromUtf8(dir) + "/" + name);
}

struct AboutSeen {
  HWND hwnd = nullptr;
  std::string caption;
  std::vector<std::string> texts;
  bool roundOk = false;
  bool iconShown = false;
};

class AboutBoxTest : public quavix::test::MainWindowFixture {
 protected:
  void TearDown() override {
    TakeQuitMessage(nullptr);
    MainWindowFixture::TearDown();
  }

  // Looks at the about box, then closes it with `close`.
  void DriveAbout(std::function<void(HWND)> close) {
    drivers_[IDD_ABOUTBOX] = [this, close](HWND about) {
      AboutSeen seen;
      seen.hwnd = about;
      seen.caption = WindowText(about);
      seen.texts = ControlTexts(about);
      HWND ok = GetDlgItem(about, IDOK);
      seen.roundOk = dynamic_cast<CRoundButton *>(CWnd::FromHandlePermanent(ok)) != nullptr &&
                     (GetWindowLongA(ok, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
      // The icon's tile is indigo to teal, far bluer than the dialog face.
      QImage picture = WidgetOf(about)->grab().toImage();
      SaveForDocs(picture, "about-box-offscreen.png");
      for (QObject *child : WidgetOf(about)->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        HWND h = quavix::win::HwndFromWidget(w);
        if (w == nullptr || h == about || (GetWindowLongA(h, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
          continue;
        QColor c = picture.pixelColor(w->geometry().center());
        seen.iconShown = c.blue() > c.red() + 40;
      }
      seen_.push_back(seen);
      close(about);
    };
  }

  void Run(std::function<void(CConverterDlg &)> drive) {
    StartProgram(drive);
    // A quit that ended the program is not left for the next test's loops.
    TakeQuitMessage(nullptr);
  }

  void ExpectOurAboutBox(const AboutSeen &seen) {
    EXPECT_EQ(seen.caption, "About Quavix");
    auto has = [&](const std::string &part) {
      for (const std::string &t : seen.texts)
        if (t.find(part) != std::string::npos) return true;
      return false;
    };
    for (const char *part :
         {"Quavix", "Version 1.0", "Quavix is made by the Quavix developers",
          "https://quavix.example.org/", "Contact: ", "Qt", "GStreamer", "PulseAudio", "FluidSynth",
          "FluidR3", "FFmpeg (libav)", "GPL 2+", "LGPL"})
      EXPECT_TRUE(has(part)) << part;
    EXPECT_TRUE(seen.roundOk) << "the OK button is the rounded button";
    EXPECT_TRUE(seen.iconShown);
    EXPECT_FALSE(IsWindow(seen.hwnd)) << "closed";
  }

  std::vector<AboutSeen> seen_;
};

TEST_F(AboutBoxTest, ContextMenuOpensItAndEnterClosesIt) {
  DriveAbout([](HWND about) { QTest::keyClick(WidgetOf(about), Qt::Key_Return); });
  Run([&](CConverterDlg &dlg) {
    QTimer::singleShot(0, [&] {
      auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      for (QAction *action : menu->actions())
        if (action->text() == "&About Quavix") {
          menu->setActiveAction(action);
          QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            WidgetOf(dlg.m_hWnd)->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(WidgetOf(dlg.m_hWnd), &event);
    PumpPendingMessages();
    EXPECT_TRUE(IsWindowEnabled(dlg.m_hWnd)) << "the main window is usable again";
    dlg.PostMessage(WM_CLOSE);
  });
  ASSERT_EQ(seen_.size(), 1u);
  ExpectOurAboutBox(seen_[0]);
}

TEST_F(AboutBoxTest, AboutCommandOpensTheSameBoxAndEscOrTheCloseBoxCloseIt) {
  Run([&](CConverterDlg &dlg) {
    DriveAbout([](HWND about) { QTest::keyClick(WidgetOf(about), Qt::Key_Escape); });
    dlg.OnAbout();
    DriveAbout([](HWND about) { WidgetOf(about)->close(); });
    dlg.OnAbout();
    // Clicking the web address or the contact line does nothing.
    DriveAbout([](HWND about) {
      QTest::mouseClick(WidgetOf(GetDlgItem(about, IDC_WEB_ADDRESS)), Qt::LeftButton);
      QTest::mouseClick(WidgetOf(GetDlgItem(about, IDC_CONTACT)), Qt::LeftButton);
      PumpPendingMessages();
      EXPECT_TRUE(IsWindow(about));
      QTest::mouseClick(WidgetOf(GetDlgItem(about, IDOK)), Qt::LeftButton);
    });
    dlg.OnAbout();
    dlg.PostMessage(WM_CLOSE);
  });
  ASSERT_EQ(seen_.size(), 3u);
  for (const AboutSeen &seen : seen_) ExpectOurAboutBox(seen);
}

TEST_F(AboutBoxTest, TheBoxRunsOnItsOwnWithTheRoundedButtonBound) {
  PumpPendingMessages();
  CAboutDlg box;
  EXPECT_EQ(box.m_btnOK.m_hWnd, nullptr);
  bool bound = false;
  drivers_[IDD_ABOUTBOX] = [&](HWND about) {
    bound = box.m_btnOK.m_hWnd == GetDlgItem(about, IDOK) &&
            box.m_btnOK.m_nButtonType == BS_DEFPUSHBUTTON;
    QTest::keyClick(WidgetOf(about), Qt::Key_Return);
  };
  EXPECT_EQ(box.DoModal(), IDOK);
  EXPECT_TRUE(bound);
  EXPECT_EQ(box.m_btnOK.m_hWnd, nullptr) << "the button let go of its window with the dialog";
}

// The face picture is 21 pixels high; the button the fonts make here is
// taller and narrower. The face fills it: no band of the dialog and no second
// outline inside, its own outline whole on the right and at the bottom.
TEST_F(AboutBoxTest, TheOkButtonsFaceFillsTheButton) {
  auto near = [](QRgb c, int grey) {
    return std::abs(qRed(c) - grey) <= 10 && std::abs(qGreen(c) - grey) <= 10 &&
           std::abs(qBlue(c) - grey) <= 10;
  };
  PublishButtonFaces();  // as the application object does at start-up
  bool looked = false;
  drivers_[IDD_ABOUTBOX] = [&](HWND about) {
    looked = true;
    QImage face = Picture(GetDlgItem(about, IDOK));
    const int w = face.width(), h = face.height();
    EXPECT_GT(h, 23) << "a button no taller than the picture shows nothing of this";
    EXPECT_LT(w - 2, 116) << "a button no narrower than the picture shows nothing of this";
    const int x = 6;  // beside the caption, past the rounded corner
    for (int y = 2; y <= h - 3; ++y) {
      QRgb c = face.pixel(x, y);
      EXPECT_FALSE(near(c, 153)) << "an outline inside the face at row " << y;
      EXPECT_GE(qGray(c), 200) << "not the face's gradient at row " << y;
    }
    EXPECT_TRUE(near(face.pixel(x, h - 2), 153)) << "the face's outline at the bottom";
    EXPECT_TRUE(near(face.pixel(w - 2, h / 2), 153)) << "the face's outline on the right";
    EXPECT_TRUE(near(face.pixel(1, h / 2), 153)) << "the face's outline on the left";
    QTest::keyClick(WidgetOf(about), Qt::Key_Escape);
  };
  PumpPendingMessages();
  CAboutDlg box;
  box.DoModal();
  EXPECT_TRUE(looked);
}

// The labels are black on the light face they were made for; on a dark
// desktop palette they take the palette's text colour, or they vanish.
TEST_F(AboutBoxTest, MainWindowLabelsStayReadableOnADarkPalette) {
  const QPalette light = QApplication::palette();
  QPalette dark = light;
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    dark.setColor(group, QPalette::Window, QColor(45, 45, 48));
    dark.setColor(group, QPalette::WindowText, QColor(235, 235, 235));
    dark.setColor(group, QPalette::Button, QColor(60, 60, 64));
    dark.setColor(group, QPalette::ButtonText, QColor(235, 235, 235));
  }
  for (bool isDark : {true, false}) {
    SCOPED_TRACE(isDark ? "dark palette" : "light palette");
    QApplication::setPalette(isDark ? dark : light);
    Run([&](CConverterDlg &dlg) {
      for (int id : {IDC_OUTPUT_LABEL, IDC_VOLUME_LABEL, IDC_MAX_LABEL}) {
        SCOPED_TRACE(id);
        QImage picture = Picture(GetDlgItem(dlg.m_hWnd, id));
        const QRgb ground = picture.pixel(0, 0);
        QRect ink = InkBox(picture, ground);
        ASSERT_FALSE(ink.isEmpty()) << "no letters to be seen";
        int lightest = 0, darkest = 255;
        for (int y = ink.top(); y <= ink.bottom(); ++y)
          for (int x = ink.left(); x <= ink.right(); ++x) {
            lightest = std::max(lightest, qGray(picture.pixel(x, y)));
            darkest = std::min(darkest, qGray(picture.pixel(x, y)));
          }
        if (isDark) {
          EXPECT_LT(qGray(ground), 80);
          EXPECT_GT(lightest, 180) << "light letters on the dark face";
        } else {
          EXPECT_GT(qGray(ground), 180);
          EXPECT_LT(darkest, 60) << "black letters on the light face";
        }
      }
      if (isDark) SaveForDocs(WidgetOf(dlg.m_hWnd)->grab().toImage(), "main-window-dark.png");
      dlg.PostMessage(WM_CLOSE);
    });
  }
  QApplication::setPalette(light);
}

TEST_F(AboutBoxTest, MainWindowLabelsPaintThemselvesAndTheMinimisedWindowShowsTheIcon) {
  Run([&](CConverterDlg &dlg) {
    const std::pair<int, const char *> labels[] = {
        {IDC_OUTPUT_LABEL, "Output:"}, {IDC_MAX_LABEL, "Max"}, {IDC_VOLUME_LABEL, "Volume:"}};
    for (auto [id, text] : labels) {
      SCOPED_TRACE(text);
      HWND h = GetDlgItem(dlg.m_hWnd, id);
      auto *label = dynamic_cast<CTransparentLabel *>(CWnd::FromHandlePermanent(h));
      ASSERT_NE(label, nullptr) << "bound to the transparent label";
      EXPECT_STREQ(label->m_szText, text);
      QImage picture = Picture(h);
      QRect ink = InkBox(picture, picture.pixel(0, 0));
      ASSERT_FALSE(ink.isEmpty()) << "the label paints its text";
      EXPECT_GE(ink.left(), 2);
      QAccessibleInterface *a = QAccessible::queryAccessibleInterface(WidgetOf(h));
      ASSERT_NE(a, nullptr);
      EXPECT_EQ(a->text(QAccessible::Name).toStdString(), text);
    }
    SaveForDocs(WidgetOf(dlg.m_hWnd)->grab().toImage(), "main-window-offscreen.png");

    dlg.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    PumpPendingMessages();
    ASSERT_TRUE(dlg.IsIconic());
    QImage iconic = WidgetOf(dlg.m_hWnd)->grab().toImage();
    RECT client{};
    GetClientRect(dlg.m_hWnd, &client);
    const int icon = GetSystemMetrics(SM_CXICON);
    QColor middle = iconic.pixelColor((client.right - icon + 1) / 2 + icon / 2,
                                      (client.bottom - icon + 1) / 2 + icon / 2);
    EXPECT_GT(middle.blue(), middle.red() + 40) << middle.name().toStdString();
    SaveForDocs(iconic, "main-window-minimised.png");
    dlg.ShowWindow(SW_RESTORE);
    dlg.PostMessage(WM_CLOSE);
  });
}

}  // namespace
