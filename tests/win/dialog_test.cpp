// Dialogs built from a template and run modally: the controls the template
// asks for, where they sit, and the notifications and keys that reach the
// dialog procedure when the real widgets are used.
#include "tests/win/gui_test_support.h"

#include "platform/win/window_internal.h"
#include "tests/support/slider_thumb.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

constexpr int kEdit = 101, kPush = 102, kCheck = 103, kStatus = 104, kCombo = 105, kSlider = 106,
              kDefault = 107;

const DialogTemplate kTestDialog{
    900,
    "Test dialog",
    "MS Shell Dlg",
    8,
    200,
    120,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT,
    0,
    {
        {kEdit, kEditClass, "start", 7, 7, 100, 14, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 0},
        {kPush, kButtonClass, "&Push", 7, 25, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
        {kCheck, kButtonClass, "Check me", 7, 43, 80, 10, BS_AUTOCHECKBOX | WS_TABSTOP, 0},
        {kStatus, kStaticClass, "Status : Ready", 7, 58, 100, 12, SS_LEFT | SS_SUNKEN, 0},
        {kCombo, kComboBoxClass, "", 110, 7, 80, 60, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
        {kSlider, kTrackbarClass, "", 7, 75, 150, 15, TBS_BOTH | TBS_NOTICKS | WS_TABSTOP, 0},
        {IDOK, kButtonClass, "OK", 90, 100, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
        {IDCANCEL, kButtonClass, "Cancel", 145, 100, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
    },
};

// The same dialog with a default push button that is not OK.
const DialogTemplate kDefaultButtonDialog{
    901,
    "Default",
    "MS Sans Serif",
    8,
    120,
    60,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    {
        {kEdit, kEditClass, "", 7, 7, 100, 14, WS_BORDER | WS_TABSTOP, 0},
        {kDefault, kButtonClass, "Go", 7, 30, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    },
};

struct Logged {
  UINT msg;
  WORD id;
  WORD code;
  LPARAM lParam;
  int notifyCode;
  UINT_PTR notifyId;
  HWND notifyFrom;
};

std::vector<Logged> g_log;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_extra;
bool g_endOnCommand = true;

INT_PTR TestDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_extra) {
    if (INT_PTR r = g_extra(hwnd, msg, wParam, lParam)) return r;
  }
  if (msg == WM_COMMAND) {
    g_log.push_back({msg, LOWORD(wParam), HIWORD(wParam), lParam, 0, 0, nullptr});
    if (g_endOnCommand && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
      EndDialog(hwnd, LOWORD(wParam));
    return TRUE;
  }
  if (msg == WM_NOTIFY) {
    auto *h = reinterpret_cast<NMHDR *>(lParam);
    g_log.push_back({msg, 0, 0, lParam, h->code, h->idFrom, h->hwndFrom});
    return TRUE;
  }
  if (msg == WM_INITDIALOG || msg == WM_DESTROY) {
    g_log.push_back({msg, 0, 0, lParam, 0, 0, nullptr});
    return msg == WM_INITDIALOG ? TRUE : FALSE;
  }
  return FALSE;
}

int CountCommands(WORD id, WORD code) {
  int n = 0;
  for (const Logged &l : g_log)
    if (l.msg == WM_COMMAND && l.id == id && l.code == code) ++n;
  return n;
}

int CountNotify(int code, UINT_PTR id) {
  int n = 0;
  for (const Logged &l : g_log)
    if (l.msg == WM_NOTIFY && l.notifyCode == code && l.notifyId == id) ++n;
  return n;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    g_extra = nullptr;
    g_endOnCommand = true;
    int code = 0;
    TakeQuitMessage(&code);
  }
  void TearDown() override {
    g_extra = nullptr;
    int code = 0;
    TakeQuitMessage(&code);
  }

  INT_PTR Run(const std::function<void(HWND)> &body, const DialogTemplate &t = kTestDialog,
              LPARAM init = 0) {
    guitest::OnModalShown hook(body);
    INT_PTR result = DialogBoxIndirectParamA(nullptr, &t, nullptr, &TestDialogProc, init);
    EXPECT_TRUE(hook.Ran() || result == -1);
    return result;
  }
};

TEST_F(DialogTest, TemplateBecomesWidgetsAtDialogUnitRectangles) {
  INT_PTR result = Run(
      [](HWND dlg) {
        EXPECT_TRUE(IsWindowVisible(dlg));
        char caption[64];
        GetWindowTextA(dlg, caption, sizeof caption);
        EXPECT_STREQ(caption, "Test dialog");

        // Each control has the kind of widget its class asks for.
        EXPECT_NE(dynamic_cast<QLineEdit *>(guitest::Widget(GetDlgItem(dlg, kEdit))), nullptr);
        EXPECT_NE(dynamic_cast<QPushButton *>(guitest::Widget(GetDlgItem(dlg, kPush))), nullptr);
        EXPECT_NE(dynamic_cast<QCheckBox *>(guitest::Widget(GetDlgItem(dlg, kCheck))), nullptr);
        EXPECT_NE(dynamic_cast<QLabel *>(guitest::Widget(GetDlgItem(dlg, kStatus))), nullptr);
        EXPECT_NE(dynamic_cast<QComboBox *>(guitest::Widget(GetDlgItem(dlg, kCombo))), nullptr);
        EXPECT_NE(dynamic_cast<QSlider *>(guitest::Widget(GetDlgItem(dlg, kSlider))), nullptr);
        EXPECT_EQ(GetDlgItem(dlg, 4242), nullptr);
        EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dlg, kStatus)), kStatus);

        // A control sits at its template rectangle mapped with the dialog's
        // base units, and the client area is the template's size.
        // (Positions and sizes are mapped each on its own, as Windows does.)
        RECT place{7, 25, 50, 14};
        ASSERT_TRUE(MapDialogRect(dlg, &place));
        RECT r{};
        GetWindowRect(GetDlgItem(dlg, kPush), &r);
        POINT origin{0, 0};
        ClientToScreen(dlg, &origin);
        EXPECT_EQ(r.left - origin.x, place.left);
        EXPECT_EQ(r.top - origin.y, place.top);
        EXPECT_EQ(r.right - r.left, place.right);
        EXPECT_EQ(r.bottom - r.top, place.bottom);
        RECT client{};
        GetClientRect(dlg, &client);
        RECT size{0, 0, 200, 120};
        MapDialogRect(dlg, &size);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
        // Base units of a readable font: wider and taller than a few pixels.
        RECT unit{0, 0, 4, 8};
        MapDialogRect(dlg, &unit);
        EXPECT_GE(unit.right, 4);
        EXPECT_GE(unit.bottom, 10);

        // A drop-down list is as tall as its text, not its dropped height.
        RECT combo{};
        GetWindowRect(GetDlgItem(dlg, kCombo), &combo);
        RECT dropped{0, 0, 0, 60};
        MapDialogRect(dlg, &dropped);
        EXPECT_LT(combo.bottom - combo.top, dropped.bottom);

        // Tab order is the template order of the tab stops.
        QWidget *w = guitest::Widget(GetDlgItem(dlg, kEdit));
        std::vector<int> order;
        for (int i = 0; i < 6; ++i) {
          order.push_back(GetDlgCtrlID(quavix::win::HwndFromWidget(w)));
          do {
            w = w->nextInFocusChain();
          } while (w->focusPolicy() == Qt::NoFocus || !w->isVisible() ||
                   quavix::win::HwndFromWidget(w) == dlg);
        }
        EXPECT_EQ(order, (std::vector<int>{kEdit, kPush, kCheck, kCombo, kSlider, IDOK}));

        // The first tab stop has the focus after a TRUE WM_INITDIALOG.
        EXPECT_EQ(GetFocus(), GetDlgItem(dlg, kEdit));
        EndDialog(dlg, 42);
      },
      kTestDialog, 1234);
  EXPECT_EQ(result, 42);
  ASSERT_FALSE(g_log.empty());
  EXPECT_EQ(g_log.front().msg, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(g_log.front().lParam, 1234);
  EXPECT_EQ(g_log.back().msg, static_cast<UINT>(WM_DESTROY));
}

TEST_F(DialogTest, RealClickSendsBnClickedWithTheButtonsHandle) {
  HWND pushSeen = nullptr;
  Run([&](HWND dlg) {
    HWND push = GetDlgItem(dlg, kPush);
    pushSeen = push;
    QTest::mouseClick(guitest::Widget(push), Qt::LeftButton);
    // A disabled button does not notify.
    EnableWindow(push, FALSE);
    EXPECT_FALSE(IsWindowEnabled(push));
    QTest::mouseClick(guitest::Widget(push), Qt::LeftButton);
    // The check box toggles, then notifies; its state reads back.
    QTest::mouseClick(guitest::Widget(GetDlgItem(dlg, kCheck)), Qt::LeftButton);
    EXPECT_EQ(SendDlgItemMessageA(dlg, kCheck, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, kCheck), static_cast<UINT>(BST_CHECKED));
    // Setting the state by message does not notify.
    CheckDlgButton(dlg, kCheck, BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, kCheck), static_cast<UINT>(BST_UNCHECKED));
    EndDialog(dlg, IDOK);
  });
  EXPECT_EQ(CountCommands(kPush, BN_CLICKED), 1);
  EXPECT_EQ(CountCommands(kCheck, BN_CLICKED), 1);
  for (const Logged &l : g_log) {
    if (l.msg == WM_COMMAND && l.id == kPush) {
      EXPECT_EQ(reinterpret_cast<HWND>(l.lParam), pushSeen);
    }
  }
}

TEST_F(DialogTest, ComboNotifiesOnlyTheUsersSelection) {
  Run([](HWND dlg) {
    HWND combo = GetDlgItem(dlg, kCombo);
    for (const char *s : {"Speakers", "Line In", "Monitor of Speakers"})
      SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 0);
    SendMessageA(combo, CB_SETITEMDATA, 2, 0x1234567890LL);
    EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 2, 0), 0x1234567890LL);
    EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 7, 0), CB_ERR);

    // The program's selection: no notification.
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(CountCommands(kCombo, CBN_SELCHANGE), 0);
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 9, 0), CB_ERR);
    SendMessageA(combo, CB_SETCURSEL, 1, 0);

    // The user's selection by keyboard: one notification, new selection.
    QWidget *w = guitest::Widget(combo);
    w->setFocus();
    QTest::keyClick(w, Qt::Key_Down);
    EXPECT_EQ(CountCommands(kCombo, CBN_SELCHANGE), 1);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);
    char text[64];
    EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 19);
    EXPECT_STREQ(text, "Monitor of Speakers");
    EXPECT_EQ(GetWindowTextA(combo, text, sizeof text), 19);

    // The user's selection with the mouse in the dropped-down list.
    auto *qcombo = static_cast<QComboBox *>(w);
    qcombo->showPopup();
    QAbstractItemView *view = qcombo->view();
    EXPECT_TRUE(guitest::WaitFor([view] { return view->isVisible(); }));
    QRect item = view->visualRect(view->model()->index(0, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_TRUE(guitest::WaitFor([] { return CountCommands(kCombo, CBN_SELCHANGE) == 2; }));
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 0);

    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EndDialog(dlg, IDOK);
  });
  EXPECT_EQ(CountCommands(kCombo, CBN_SELCHANGE), 2);
}

TEST_F(DialogTest, SliderReportsReleaseAfterMouseButNotKeys) {
  Run([](HWND dlg) {
    HWND slider = GetDlgItem(dlg, kSlider);
    SendMessageA(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 200));
    SendMessageA(slider, TBM_SETPOS, TRUE, 150);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 150);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 200);
    SendMessageA(slider, TBM_SETPOS, TRUE, 500);  // clamped to the range
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 200);
    SendMessageA(slider, TBM_SETPOS, TRUE, 100);

    auto *w = static_cast<QSlider *>(guitest::Widget(slider));
    w->setFocus();
    QTest::keyClick(w, Qt::Key_Left);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 99);
    QTest::keyClick(w, Qt::Key_End);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 200);
    EXPECT_EQ(CountNotify(NM_RELEASEDCAPTURE, kSlider), 0);

    // Drag the thumb from the middle to the left end and let go.
    SendMessageA(slider, TBM_SETPOS, TRUE, 100);
    QPoint start = quavix::test::SliderThumbCenter(w);
    QTest::mousePress(w, Qt::LeftButton, {}, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(2, start.y()),
                     w->mapToGlobal(QPointF(2, start.y())), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    EXPECT_EQ(CountNotify(NM_RELEASEDCAPTURE, kSlider), 0);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(2, start.y()));
    EXPECT_EQ(CountNotify(NM_RELEASEDCAPTURE, kSlider), 1);
    EXPECT_LT(SendMessageA(slider, TBM_GETPOS, 0, 0), 100);
    for (const Logged &l : g_log) {
      if (l.msg == WM_NOTIFY) {
        EXPECT_EQ(l.notifyFrom, slider);
      }
    }
    EndDialog(dlg, IDOK);
  });
}

TEST_F(DialogTest, EscapeIsCancelAndEnterIsOk) {
  INT_PTR r = Run(
      [](HWND dlg) { QTest::keyClick(guitest::Widget(GetDlgItem(dlg, kEdit)), Qt::Key_Escape); });
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_EQ(CountCommands(IDCANCEL, BN_CLICKED), 1);

  g_log.clear();
  r = Run([](HWND dlg) {
    // The focus is in the edit box: Enter means OK.
    QTest::keyClick(guitest::Widget(GetDlgItem(dlg, kEdit)), Qt::Key_Return);
  });
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(CountCommands(IDOK, BN_CLICKED), 1);
}

TEST_F(DialogTest, EnterClicksTheFocusedPushButtonInstead) {
  g_endOnCommand = false;
  INT_PTR r = Run([](HWND dlg) {
    HWND push = GetDlgItem(dlg, kPush);
    SetFocus(push);
    EXPECT_EQ(GetFocus(), push);
    QTest::keyClick(guitest::Widget(push), Qt::Key_Return);
    EXPECT_EQ(CountCommands(kPush, BN_CLICKED), 1);
    EXPECT_EQ(CountCommands(IDOK, BN_CLICKED), 0);
    // A check box with the focus is no push button: Enter is OK.
    HWND check = GetDlgItem(dlg, kCheck);
    SetFocus(check);
    QTest::keyClick(guitest::Widget(check), Qt::Key_Enter);
    EXPECT_EQ(CountCommands(IDOK, BN_CLICKED), 1);
    EndDialog(dlg, 7);
  });
  EXPECT_EQ(r, 7);
}

TEST_F(DialogTest, EnterGoesToTheDefaultPushButton) {
  g_endOnCommand = false;
  INT_PTR r = Run(
      [](HWND dlg) {
        HWND edit = GetDlgItem(dlg, kEdit);
        SetFocus(edit);
        QTest::keyClick(guitest::Widget(edit), Qt::Key_Return);
        EXPECT_EQ(CountCommands(kDefault, BN_CLICKED), 1);
        EXPECT_EQ(CountCommands(IDOK, BN_CLICKED), 0);
        // A disabled default button takes no Enter.
        EnableWindow(GetDlgItem(dlg, kDefault), FALSE);
        QTest::keyClick(guitest::Widget(edit), Qt::Key_Return);
        EXPECT_EQ(CountCommands(kDefault, BN_CLICKED), 1);
        EndDialog(dlg, 3);
      },
      kDefaultButtonDialog);
  EXPECT_EQ(r, 3);
}

TEST_F(DialogTest, CloseBoxGoesThroughCancel) {
  INT_PTR r = Run([](HWND dlg) { guitest::Widget(dlg)->close(); });
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_EQ(CountCommands(IDCANCEL, BN_CLICKED), 1);
}

TEST_F(DialogTest, QuitDuringInitialisationEndsTheDialogUnshown) {
  bool everShown = false;
  g_extra = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) PostQuitMessage(5);
    if (msg == WM_DESTROY) everShown = guitest::Widget(hwnd)->isVisible() || everShown;
    return 0;
  };
  guitest::OnModalShown hook([&](HWND) { everShown = true; });
  INT_PTR r = DialogBoxIndirectParamA(nullptr, &kTestDialog, nullptr, &TestDialogProc, 0);
  EXPECT_EQ(r, -1);
  EXPECT_FALSE(everShown);
  EXPECT_FALSE(hook.Ran());
  ASSERT_FALSE(g_log.empty());
  EXPECT_EQ(g_log.back().msg, static_cast<UINT>(WM_DESTROY));
  // The quit stays pending for the outer loop, with its code.
  EXPECT_TRUE(IsQuitPending());
  int code = 0;
  EXPECT_TRUE(TakeQuitMessage(&code));
  EXPECT_EQ(code, 5);
  EXPECT_FALSE(IsQuitPending());
}

TEST_F(DialogTest, QuitEndsARunningModalLoopAndItsOuterLoopToo) {
  INT_PTR inner = 0;
  INT_PTR outer = Run([&](HWND) {
    // A second dialog inside the first one's modal loop.
    g_endOnCommand = false;
    guitest::OnModalShown nested([](HWND) { PostQuitMessage(0); });
    inner = DialogBoxIndirectParamA(nullptr, &kDefaultButtonDialog, nullptr, &TestDialogProc, 0);
  });
  EXPECT_EQ(inner, -1);
  EXPECT_EQ(outer, -1);
  EXPECT_TRUE(TakeQuitMessage(nullptr));
}

TEST_F(DialogTest, OwnerIsDisabledWhileItsModalDialogRuns) {
  HWND owner = CreateDialogIndirectParamA(nullptr, &kDefaultButtonDialog, nullptr, nullptr, 0);
  ASSERT_NE(owner, nullptr);
  ShowWindow(owner, SW_SHOW);
  bool disabledMeanwhile = false;
  HWND ownerSeen = nullptr;
  guitest::OnModalShown hook([&](HWND dlg) {
    disabledMeanwhile = !IsWindowEnabled(owner);
    ownerSeen = GetParent(dlg);
    EndDialog(dlg, IDOK);
  });
  EXPECT_EQ(
      DialogBoxIndirectParamA(nullptr, &kTestDialog, GetDlgItem(owner, kEdit), &TestDialogProc, 0),
      IDOK);
  EXPECT_TRUE(disabledMeanwhile);
  EXPECT_EQ(ownerSeen, owner);  // a child given as owner stands for its top-level window
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(owner));
}

TEST_F(DialogTest, MissingTemplateFails) {
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, nullptr, &TestDialogProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(31000), nullptr, &TestDialogProc, 0), -1);
}

}  // namespace
