// Video in the player window of the real main window, headless: a clip
// opened with Open shows the player window sized to the picture, its popup
// menu offers the transport commands by state and drives the picture, left
// clicks alternate which window is in front, and closing the player window
// closes the file. A MIDI song never shows the window or attaches a video.
#include "platform/dshow/dshow.h"
#include "platform/win/video_surface.h"
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"
#include "tests/video/video_test_support.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QMenu>
#include <QTimer>

#include <filesystem>
#include <QApplication>
#include <QTest>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern int s_bRaisePlayerNext;

using namespace player_test;
using quavix::test::MainWindowFixture;
namespace fs = std::filesystem;

namespace {

struct MenuItem {
  QString text;
  bool enabled;
  bool operator==(const MenuItem &o) const { return text == o.text && enabled == o.enabled; }
};

std::ostream &operator<<(std::ostream &out, const MenuItem &item) {
  return out << item.text.toStdString() << (item.enabled ? "" : " (greyed)");
}

// Once the popup menu is open: notes its items and clicks `choice`.
void ChooseWhenShown(const QString &choice, std::vector<MenuItem> *items) {
  QTimer::singleShot(10, [choice, items] {
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (menu == nullptr) return ChooseWhenShown(choice, items);
    items->clear();
    for (QAction *a : menu->actions())
      if (!a->isSeparator()) items->push_back({a->text(), a->isEnabled()});
    for (QAction *a : menu->actions()) {
      if (a->text() == choice) {
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        return;
      }
    }
    menu->close();
  });
}

// The video child of a window, null when it has none.
HWND VideoSurfaceOf(HWND window) {
  QWidget *widget = quavix::win::WidgetOf(window);
  if (widget == nullptr) return nullptr;
  for (QWidget *child : widget->findChildren<QWidget *>()) {
    HWND h = quavix::win::HwndFromWidget(child);
    if (quavix::win::IsVideoSurface(h)) return h;
  }
  return nullptr;
}

// Counts the times a window was raised.
class RaiseCounter : public QObject {
 public:
  explicit RaiseCounter(QWidget *w) : widget_(w) { w->installEventFilter(this); }
  ~RaiseCounter() override {
    if (widget_) widget_->removeEventFilter(this);
  }
  int count = 0;

 protected:
  bool eventFilter(QObject *, QEvent *e) override {
    if (e->type() == QEvent::ZOrderChange) ++count;
    return false;
  }

 private:
  QPointer<QWidget> widget_;
};

// Counts how often a widget is hidden.
class HideCounter : public QObject {
 public:
  explicit HideCounter(QWidget *w) : widget_(w) { w->installEventFilter(this); }
  ~HideCounter() override {
    if (widget_) widget_->removeEventFilter(this);
  }
  int count = 0;

 protected:
  bool eventFilter(QObject *, QEvent *e) override {
    if (e->type() == QEvent::Hide) ++count;
    return false;
  }

 private:
  QPointer<QWidget> widget_;
};

bool Topmost(HWND h) {
  return quavix::win::WidgetOf(h)->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

class PlayerVideoTest : public MainWindowFixture {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempDir;
    clip_ = folder_->path() + "/bars.ogv";
    clipMade_ = video_test::MakeBarsClip(clip_, 150, 4, true);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(clipMade_) << "gst-launch-1.0 could not make the test clip";
    MainWindowFixture::SetUp();
    // The clip is chosen with the dialog's second filter, "Any Files (*.*)".
    SetUiSeamForTest([this](const UiRequest &r) {
      UiAnswer a = Answer(r);
      if (r.kind == UiRequestKind::OpenFile && !a.cancel) a.filterIndex = 2;
      return a;
    });
  }

  // Right click on the picture, then choose from the popup menu; returns
  // the menu's items as offered.
  std::vector<MenuItem> ChooseFromPlayerMenu(HWND player, const QString &choice) {
    std::vector<MenuItem> items;
    ChooseWhenShown(choice, &items);
    QTest::mouseClick(quavix::win::WidgetOf(VideoSurfaceOf(player)), Qt::RightButton, {},
                      QPoint(100, 80));
    PumpUntil([&] { return !items.empty(); }, 5000);
    PumpFor(100);  // the chosen command arrives after the menu has closed
    return items;
  }

  static std::uint64_t Paints(HWND player) {
    return quavix::win::VideoSurfaceFramePaints(VideoSurfaceOf(player));
  }
  static bool WaitForPaints(HWND player, std::uint64_t more) {
    std::uint64_t target = Paints(player) + more;
    return PumpUntil([&] { return Paints(player) >= target; }, 10000);
  }

  void ExpectSongClosed(HWND dialog) {
    ASSERT_TRUE(PumpUntil([] { return g_pPlayer == nullptr; }, 5000));
    EXPECT_EQ(WindowText(dialog), "Quavix");
    for (int id : {IDC_CONVERT, IDC_STOP, IDC_OUTPUT_PATH, IDC_BROWSE, IDC_PLAY})
      EXPECT_FALSE(Enabled(dialog, id)) << id;
    EXPECT_TRUE(Enabled(dialog, IDC_OPEN));
  }

  static TempDir *folder_;
  static std::string clip_;
  static bool clipMade_;
};

TempDir *PlayerVideoTest::folder_ = nullptr;
std::string PlayerVideoTest::clip_;
bool PlayerVideoTest::clipMade_ = false;

TEST_F(PlayerVideoTest, AClipPlaysInThePlayerWindowDrivenByItsMenu) {
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, clip_);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    ASSERT_EQ(fileDialogs_.size(), 1u);
    ASSERT_GE(fileDialogs_[0].filters.size(), 2u);
    EXPECT_EQ(fileDialogs_[0].filters[1].first, "Any Files (*.*)");
    ASSERT_NE(g_pPlayer, nullptr);
    CPreviewPlayer *player = g_pPlayer;
    HWND pw = player->m_hWnd;
    EXPECT_EQ(player->m_bAudioOnly, 0);
    EXPECT_EQ(player->m_bWindowShown, 1);
    EXPECT_TRUE(IsWindowVisible(pw));
    EXPECT_EQ(WindowText(pw), "bars.ogv  ");

    // Sized to the picture: the client area is the video's 320 x 240.
    RECT client{}, outer{};
    GetClientRect(pw, &client);
    GetWindowRect(pw, &outer);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_EQ(outer.right - outer.left, 320 + 2 * GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(outer.bottom - outer.top,
              240 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME));
    // No sizing border: the person cannot drag it to another size. It shows
    // the program's icon.
    QWidget *frame = quavix::win::WidgetOf(pw);
    EXPECT_EQ(frame->minimumSize(), frame->size());
    EXPECT_EQ(frame->maximumSize(), frame->size());
    EXPECT_FALSE(frame->windowIcon().isNull()) << "icon 103 of the window class";
    // Announced as a window (a frame) with its title.
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(frame);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Window);
    EXPECT_EQ(a->text(QAccessible::Name).toStdString(), "bars.ogv  ");
    HWND surface = VideoSurfaceOf(pw);
    ASSERT_NE(surface, nullptr) << "the video is attached as a child of the player window";
    RECT picture{};
    GetClientRect(surface, &picture);
    EXPECT_EQ(picture.right, 320);
    EXPECT_EQ(picture.bottom, 240);
    // Loading leaves the graph stopped, so nothing is cued to show yet: the
    // window's black background.
    PumpFor(200);
    EXPECT_TRUE(video_test::Near(video_test::GrabWindow(pw).pixelColor(160, 60), Qt::black, 0));

    // Stopped: Play and Close are offered.
    auto items = ChooseFromPlayerMenu(pw, "Play");
    EXPECT_EQ(items, (std::vector<MenuItem>{
                         {"Play", true}, {"pause", false}, {"Stop", false}, {"Close", true}}));
    ASSERT_TRUE(PumpUntil([&] { return player->m_state == Playing; }, 5000));
    ASSERT_TRUE(WaitForPaints(pw, 3));
    EXPECT_TRUE(IsWindowVisible(surface));
    QImage first = video_test::GrabWindow(pw).copy(0, 0, 320, 240);
    ASSERT_TRUE(WaitForPaints(pw, 5));
    QImage later = video_test::GrabWindow(pw).copy(0, 0, 320, 240);
    EXPECT_NE(first, later) << "the picture advances while playing";

    // Playing: pause, Stop and Close.
    items = ChooseFromPlayerMenu(pw, "pause");
    EXPECT_EQ(items, (std::vector<MenuItem>{
                         {"Play", false}, {"pause", true}, {"Stop", true}, {"Close", true}}));
    ASSERT_TRUE(PumpUntil([&] { return player->m_state == Paused; }, 5000));
    EXPECT_EQ(WindowText(pw), "bars.ogv  (Paused)");
    PumpFor(200);
    QImage paused = video_test::GrabWindow(pw).copy(0, 0, 320, 240);
    PumpFor(300);
    EXPECT_EQ(video_test::GrabWindow(pw).copy(0, 0, 320, 240), paused)
        << "a paused picture stands still";

    // Paused: Play, Stop and Close. Stop cues the clip at its first frame:
    // the bars where the pattern starts them.
    const std::uint64_t before = Paints(pw);
    items = ChooseFromPlayerMenu(pw, "Stop");
    EXPECT_EQ(items, (std::vector<MenuItem>{
                         {"Play", true}, {"pause", false}, {"Stop", true}, {"Close", true}}));
    ASSERT_TRUE(PumpUntil([&] { return player->m_state == Stopped; }, 5000));
    EXPECT_EQ(WindowText(pw), "bars.ogv  ");
    ASSERT_TRUE(PumpUntil([&] { return Paints(pw) > before; }, 10000));
    EXPECT_EQ(video_test::CheckUpperBars(video_test::GrabWindow(pw), 320, 240), "");

    // A resized player window keeps the picture filling its client area.
    SetWindowPos(pw, nullptr, 0, 0, 480 + 2 * GetSystemMetrics(SM_CXFRAME),
                 360 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME),
                 SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(
        PumpUntil([&] { return GetClientRect(surface, &picture) && picture.right == 480; }, 3000));
    EXPECT_EQ(picture.bottom, 360);
    ASSERT_TRUE(WaitForPaints(pw, 1));
    EXPECT_EQ(video_test::CheckUpperBars(video_test::GrabWindow(pw), 480, 360), "");

    // Close from the menu closes the file in the main window.
    items = ChooseFromPlayerMenu(pw, "Close");
    EXPECT_EQ(items.size(), 4u);
    ExpectSongClosed(h);
    EXPECT_FALSE(IsWindow(pw));
    EXPECT_TRUE(boxes_.empty());
    ExitProgram(dlg);
  });
}

TEST_F(PlayerVideoTest, LeftClicksAlternateWhichWindowIsInFrontAcrossFiles) {
  s_bRaisePlayerNext = 1;  // as at the start of the program
  std::string second = folder_->path() + "/second copy.ogv";
  fs::copy_file(clip_, second, fs::copy_options::overwrite_existing);
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, clip_);
    ASSERT_NE(g_pPlayer, nullptr);
    HWND pw = g_pPlayer->m_hWnd;
    QWidget *picture = quavix::win::WidgetOf(VideoSurfaceOf(pw));
    ASSERT_NE(picture, nullptr);
    auto raised = std::make_unique<RaiseCounter>(quavix::win::WidgetOf(pw));

    // First click: the main window leaves the topmost layer, the player
    // window comes to the top.
    SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(50, 50));
    ASSERT_TRUE(PumpUntil([&] { return raised->count > 0; }, 3000));
    EXPECT_FALSE(Topmost(h));
    EXPECT_TRUE(IsWindowVisible(h));
    // Second click: the main window comes to the front, but is not left
    // above every other program for the rest of the session, nor hidden and
    // shown again on the way; the player is not raised.
    const int raisedBefore = raised->count;
    auto mainRaised = std::make_unique<RaiseCounter>(quavix::win::WidgetOf(h));
    HideCounter hidden(quavix::win::WidgetOf(h));
    QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(50, 50));
    ASSERT_TRUE(PumpUntil([&] { return mainRaised->count > 0; }, 3000));
    EXPECT_FALSE(Topmost(h));
    EXPECT_EQ(raised->count, raisedBefore);
    QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(50, 50));
    ASSERT_TRUE(PumpUntil([&] { return raised->count > raisedBefore; }, 3000));
    EXPECT_FALSE(Topmost(h));
    EXPECT_EQ(hidden.count, 0) << "the main window flickered";
    mainRaised.reset();
    raised.reset();

    // Closed from its caption's close box, the window closes the file.
    quavix::win::WidgetOf(pw)->close();
    ExpectSongClosed(h);

    // The next file's first click continues the alternation.
    OpenSong(dlg, second);
    ASSERT_NE(g_pPlayer, nullptr);
    pw = g_pPlayer->m_hWnd;
    EXPECT_EQ(WindowText(pw), "second copy.ogv  ");
    mainRaised = std::make_unique<RaiseCounter>(quavix::win::WidgetOf(h));
    QTest::mouseClick(quavix::win::WidgetOf(VideoSurfaceOf(pw)), Qt::LeftButton, {},
                      QPoint(10, 10));
    ASSERT_TRUE(PumpUntil([&] { return mainRaised->count > 0; }, 3000))
        << "after three clicks, the fourth brings the main window in front";
    EXPECT_FALSE(Topmost(h));
    mainRaised.reset();
    ExitProgram(dlg);
  });
}

TEST_F(PlayerVideoTest, AMidiSongNeverShowsThePlayerWindow) {
  std::string song = folder_->path() + "/tune.mid";
  WriteWholeFile(song,
                 MakeType1Song(96, {{0, 500000}}, {{0, 96, 60}, {96, 96, 64}, {192, 192, 67}}));
  RunProgram([&](CConverterDlg &dlg) {
    OpenSong(dlg, song);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    ASSERT_NE(g_pPlayer, nullptr);
    HWND pw = g_pPlayer->m_hWnd;
    EXPECT_EQ(g_pPlayer->m_bAudioOnly, 1);
    EXPECT_EQ(g_pPlayer->m_bWindowShown, 0);
    long visible = 0;
    EXPECT_EQ(g_pPlayer->pVW->get_Visible(&visible), E_NOINTERFACE);
    PumpFor(1200);  // through a tick
    EXPECT_FALSE(IsWindowVisible(pw));
    EXPECT_EQ(VideoSurfaceOf(pw), nullptr);
    EXPECT_TRUE(quavix::win::WidgetOf(pw)->findChildren<QWidget *>().isEmpty())
        << "nothing attached";
    ExitProgram(dlg);
  });
}

}  // namespace
