// The framework on real dialogs: message tables route what the real widgets
// do to the handlers, data exchange moves state both ways, DDX_Control binds
// members that then receive their controls' messages, and the modal run ends
// the ways the program relies on.
#include "platform/afx/afxwin.h"
#include "tests/win/gui_test_support.h"

#include <QComboBox>
#include <QImage>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr int kEdit = 201, kPush = 202, kCheck = 203, kCombo = 204, kSlider = 205, kLabel = 206,
              kOther = 207;

const DialogTemplate kFrameworkDialog{
    950,
    "Framework",
    "MS Shell Dlg",
    8,
    220,
    130,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT,
    WS_EX_APPWINDOW,
    {
        {kEdit, kEditClass, "", 7, 7, 120, 14, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 0},
        {kPush, kButtonClass, "Push", 7, 25, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
        {kCheck, kButtonClass, "Check", 7, 43, 80, 10, BS_AUTOCHECKBOX | WS_TABSTOP, 0},
        {kCombo, kComboBoxClass, "", 130, 7, 80, 60, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
        {kSlider, kTrackbarClass, "", 7, 60, 150, 15, TBS_BOTH | TBS_NOTICKS | WS_TABSTOP, 0},
        {kLabel, kStaticClass, "Label", 7, 80, 60, 10, SS_LEFT, 0},
        {kOther, kButtonClass, "Other", 70, 25, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
        {IDOK, kButtonClass, "OK", 110, 110, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
        {IDCANCEL, kButtonClass, "Cancel", 165, 110, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
    },
};

// A button class that watches its own messages, as owner-drawn controls do.
class CWatchedButton : public CButton {
 public:
  int preSubclassCalls = 0;
  DWORD styleAtSubclass = 0;
  HWND hwndAtSubclass = nullptr;
  std::vector<UINT> messages;

 protected:
  void PreSubclassWindow() override {
    ++preSubclassCalls;
    hwndAtSubclass = m_hWnd;
    styleAtSubclass = GetStyle();
    CButton::PreSubclassWindow();
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(message);
    return CButton::WindowProc(message, wParam, lParam);
  }
};

class CTestDlg : public CDialog {
 public:
  CTestDlg() { InitModalIndirect(&kFrameworkDialog); }

  std::function<void(CTestDlg *)> onInit;
  CString m_strText;
  int m_nCheck = 0;
  int m_nPos = 0;
  CWatchedButton m_btnPush;
  CComboBox m_cbList;
  CSliderCtrl m_slider;
  CEdit m_edit;

  int pushes = 0, selections = 0, releases = 0, closes = 0, destroys = 0, oks = 0, cancels = 0;
  std::vector<UINT_PTR> timers;
  std::vector<UINT> sysCommands;
  std::vector<std::pair<WPARAM, LPARAM>> customs;
  UINT_PTR releasedFrom = 0;
  std::thread::id customThread;

 protected:
  void DoDataExchange(CDataExchange *pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, kEdit, m_strText);
    DDX_Check(pDX, kCheck, m_nCheck);
    DDX_Control(pDX, kPush, m_btnPush);
    DDX_Control(pDX, kCombo, m_cbList);
    DDX_Control(pDX, kSlider, m_slider);
    DDX_Control(pDX, kEdit, m_edit);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(this);
    return TRUE;
  }
  void OnOK() override {
    ++oks;
    CDialog::OnOK();
  }
  void OnCancel() override {
    ++cancels;
    CDialog::OnCancel();
  }
  void OnPush() { ++pushes; }
  void OnSelchange() { ++selections; }
  void OnReleased(NMHDR *pNMHDR, LRESULT *pResult) {
    ++releases;
    releasedFrom = pNMHDR->idFrom;
    *pResult = 0;
  }
  LRESULT OnCustom(WPARAM wParam, LPARAM lParam) {
    customs.emplace_back(wParam, lParam);
    customThread = std::this_thread::get_id();
    return 0;
  }
  void OnTimer(UINT_PTR nIDEvent) {
    timers.push_back(nIDEvent);
    CDialog::OnTimer(nIDEvent);
  }
  void OnSysCommand(UINT nID, LPARAM lParam) {
    sysCommands.push_back(nID);
    if ((nID & 0xFFF0) != 0x0010) CDialog::OnSysCommand(nID, lParam);
  }
  void OnClose() {
    ++closes;
    CDialog::OnClose();
  }
  void OnDestroy() {
    ++destroys;
    CDialog::OnDestroy();
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_CLOSE()
ON_WM_DESTROY()
ON_WM_TIMER()
ON_BN_CLICKED(kPush, &CTestDlg::OnPush)
ON_CBN_SELCHANGE(kCombo, &CTestDlg::OnSelchange)
ON_NOTIFY(NM_RELEASEDCAPTURE, kSlider, &CTestDlg::OnReleased)
ON_MESSAGE(WM_USER + 7, &CTestDlg::OnCustom)
END_MESSAGE_MAP()

// A derived dialog adds an entry; the base's entries still route.
class CDerivedDlg : public CTestDlg {
 public:
  int others = 0;

 protected:
  void OnOther() { ++others; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedDlg, CTestDlg)
ON_BN_CLICKED(kOther, &CDerivedDlg::OnOther)
END_MESSAGE_MAP()

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override { TakeQuitMessage(nullptr); }
  void TearDown() override { TakeQuitMessage(nullptr); }
};

TEST_F(FrameworkTest, DataExchangeBothWays) {
  CTestDlg dlg;
  dlg.m_strText = "hello";
  dlg.m_nCheck = 1;
  guitest::OnModalShown hook([&](HWND hwnd) {
    // Members went into the controls at initialisation.
    char text[32];
    GetDlgItemTextA(hwnd, kEdit, text, sizeof text);
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(IsDlgButtonChecked(hwnd, kCheck), static_cast<UINT>(BST_CHECKED));
    // The person types and unticks; OK takes it into the members.
    QWidget *edit = guitest::Widget(GetDlgItem(hwnd, kEdit));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, " world");
    QTest::mouseClick(guitest::Widget(GetDlgItem(hwnd, kCheck)), Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_Return);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.oks, 1);
  EXPECT_EQ(dlg.m_strText, "hello world");
  EXPECT_EQ(dlg.m_nCheck, 0);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_EQ(dlg.m_btnPush.m_hWnd, nullptr);  // members let go of their gone controls
}

TEST_F(FrameworkTest, DdxControlBindsTheMemberToItsControl) {
  CTestDlg dlg;
  HWND pushSeen = nullptr;
  guitest::OnModalShown hook([&](HWND hwnd) {
    pushSeen = GetDlgItem(hwnd, kPush);
    EXPECT_EQ(dlg.m_btnPush.m_hWnd, pushSeen);
    EXPECT_EQ(CWnd::FromHandlePermanent(pushSeen), &dlg.m_btnPush);
    EXPECT_EQ(dlg.GetDlgItem(kPush), &dlg.m_btnPush);
    dlg.m_btnPush.messages.clear();
    SendMessageA(pushSeen, BM_CLICK, 0, 0);
    SetWindowTextA(pushSeen, "Pushed");
    // Still the button's own handling behind the member.
    char text[16];
    GetWindowTextA(pushSeen, text, sizeof text);
    EXPECT_STREQ(text, "Pushed");
    // A control bound to nothing gets a temporary object.
    CWnd *label = dlg.GetDlgItem(kLabel);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(label->m_hWnd), nullptr);
    label->ShowWindow(SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(hwnd, kLabel)));
    dlg.EndDialog(IDCANCEL);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.m_btnPush.preSubclassCalls, 1);
  EXPECT_EQ(dlg.m_btnPush.hwndAtSubclass, pushSeen);
  EXPECT_EQ(dlg.m_btnPush.styleAtSubclass & BS_TYPEMASK, BS_PUSHBUTTON);
  auto &m = dlg.m_btnPush.messages;
  EXPECT_NE(std::find(m.begin(), m.end(), static_cast<UINT>(BM_CLICK)), m.end());
  EXPECT_NE(std::find(m.begin(), m.end(), static_cast<UINT>(WM_SETTEXT)), m.end());
  EXPECT_EQ(dlg.pushes, 1);  // BM_CLICK clicked it
  EXPECT_EQ(CWnd::FromHandle(pushSeen), nullptr);
}

TEST_F(FrameworkTest, MessageTableRoutesRealUserActions) {
  CDerivedDlg dlg;
  dlg.onInit = [](CTestDlg *d) {
    for (const char *s : {"Monitor of Built-in Audio", "Microphone"}) d->m_cbList.AddString(s);
    d->m_cbList.SetCurSel(0);  // the program's choice: no handler
    d->m_slider.SetRange(0, 200, FALSE);
    d->m_slider.SetPos(200);
  };
  guitest::OnModalShown hook([&](HWND hwnd) {
    EXPECT_EQ(dlg.selections, 0);
    EXPECT_EQ(dlg.m_slider.GetPos(), 200);
    EXPECT_EQ(dlg.m_slider.GetRangeMax(), 200);

    QTest::mouseClick(guitest::Widget(GetDlgItem(hwnd, kPush)), Qt::LeftButton);
    QTest::mouseClick(guitest::Widget(GetDlgItem(hwnd, kOther)), Qt::LeftButton);

    QWidget *combo = guitest::Widget(GetDlgItem(hwnd, kCombo));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(dlg.m_cbList.GetCurSel(), 1);

    auto *slider = static_cast<QSlider *>(guitest::Widget(GetDlgItem(hwnd, kSlider)));
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Home);  // keys move it without a release notice
    EXPECT_EQ(dlg.m_slider.GetPos(), 0);
    EXPECT_EQ(dlg.releases, 0);
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() - 3, slider->height() / 2));
    EXPECT_EQ(dlg.releases, 1);

    std::thread poster([hwnd] { PostMessageA(hwnd, WM_USER + 7, 11, 22); });
    poster.join();
    EXPECT_TRUE(guitest::WaitFor([&] { return !dlg.customs.empty(); }));

    dlg.SetTimer(5, 20);
    EXPECT_TRUE(guitest::WaitFor([&] { return !dlg.timers.empty(); }));
    dlg.KillTimer(5);
    dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.oks, 0);  // EndDialog is no OK command
  EXPECT_EQ(dlg.pushes, 1);
  EXPECT_EQ(dlg.others, 1);
  EXPECT_EQ(dlg.selections, 1);
  EXPECT_EQ(dlg.releasedFrom, static_cast<UINT_PTR>(kSlider));
  ASSERT_EQ(dlg.customs.size(), 1u);
  EXPECT_EQ(dlg.customs[0], (std::pair<WPARAM, LPARAM>{11, 22}));
  EXPECT_EQ(dlg.customThread, std::this_thread::get_id());
  ASSERT_FALSE(dlg.timers.empty());
  EXPECT_EQ(dlg.timers[0], 5u);
  EXPECT_EQ(dlg.destroys, 1);
  EXPECT_EQ(dlg.closes, 0);
}

TEST_F(FrameworkTest, SystemMenuCommandsReachTheHandlerAndCloseEndsThroughCancel) {
  CTestDlg dlg;
  dlg.onInit = [](CTestDlg *d) {
    CMenu *sys = d->GetSystemMenu(FALSE);
    ASSERT_NE(sys, nullptr);
    CString about;
    about.LoadString(101);
    sys->AppendMenu(MF_SEPARATOR);
    sys->AppendMenu(MF_STRING, 0x0010, about);
  };
  guitest::OnModalShown hook([&](HWND hwnd) {
    guitest::ClickMenuItemWhenShown(QStringLiteral("&About Quavix"));
    QTest::keyClick(guitest::Widget(GetDlgItem(hwnd, kPush)), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(guitest::WaitFor([&] { return !dlg.sysCommands.empty(); }));
    guitest::ClickMenuItemWhenShown(QStringLiteral("&Close"));
    QTest::keyClick(guitest::Widget(GetDlgItem(hwnd, kPush)), Qt::Key_F10, Qt::ShiftModifier);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.sysCommands, (std::vector<UINT>{0x0010, SC_CLOSE}));
  EXPECT_EQ(dlg.closes, 1);
  EXPECT_EQ(dlg.cancels, 1);
  EXPECT_EQ(dlg.destroys, 1);
}

TEST_F(FrameworkTest, EscapeCancelsWithoutClose) {
  CTestDlg dlg;
  guitest::OnModalShown hook(
      [](HWND hwnd) { QTest::keyClick(guitest::Widget(GetDlgItem(hwnd, kEdit)), Qt::Key_Escape); });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.cancels, 1);
  EXPECT_EQ(dlg.closes, 0);
  EXPECT_EQ(dlg.destroys, 1);
}

TEST_F(FrameworkTest, CloseBoxRunsTheCloseHandler) {
  CTestDlg dlg;
  guitest::OnModalShown hook([](HWND hwnd) { guitest::Widget(hwnd)->close(); });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.closes, 1);
  EXPECT_EQ(dlg.cancels, 1);
}

TEST_F(FrameworkTest, QuitDuringInitialisationSkipsCloseButNotDestroy) {
  CTestDlg dlg;
  dlg.onInit = [](CTestDlg *) { PostQuitMessage(0); };
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_EQ(dlg.closes, 0);
  EXPECT_EQ(dlg.destroys, 1);
  EXPECT_TRUE(IsQuitPending());
}

TEST_F(FrameworkTest, DialogWithoutParentIsOwnedByTheMainWindow) {
  CWinApp app;
  CTestDlg mainDlg;
  app.m_pMainWnd = &mainDlg;
  bool mainDisabled = false;
  HWND ownerOfInner = nullptr;
  int box = 0;
  UiRequest boxRequest;
  guitest::OnModalShown outer([&](HWND mainHwnd) {
    CTestDlg inner;
    guitest::OnModalShown innerHook([&](HWND innerHwnd) {
      mainDisabled = !IsWindowEnabled(mainHwnd);
      ownerOfInner = GetParent(innerHwnd);
      // A message box of a window names that window as its owner.
      UiSeamHandler previous = SetUiSeamForTest([&](const UiRequest &r) {
        boxRequest = r;
        return UiAnswer{IDOK, false, {}, 0};
      });
      box = inner.MessageBox("Can get Windows Version", "Error", MB_OK);
      SetUiSeamForTest(previous);
      inner.EndDialog(IDOK);
    });
    EXPECT_EQ(inner.DoModal(), IDOK);
    EXPECT_TRUE(IsWindowEnabled(mainHwnd));
    mainDlg.EndDialog(IDOK);
  });
  EXPECT_EQ(mainDlg.DoModal(), IDOK);
  EXPECT_TRUE(mainDisabled);
  EXPECT_NE(ownerOfInner, nullptr);
  EXPECT_EQ(box, IDOK);
  EXPECT_EQ(boxRequest.text, "Can get Windows Version");
  EXPECT_NE(boxRequest.owner, nullptr);
  app.m_pMainWnd = nullptr;
}

TEST_F(FrameworkTest, ComboAndSliderWrappers) {
  CTestDlg dlg;
  guitest::OnModalShown hook([&](HWND) {
    CComboBox &cb = dlg.m_cbList;
    EXPECT_EQ(cb.AddString("one"), 0);
    EXPECT_EQ(cb.AddString("two"), 1);
    EXPECT_EQ(cb.InsertString(0, "zero"), 0);
    EXPECT_EQ(cb.GetCount(), 3);
    static int payload = 7;
    cb.SetItemDataPtr(2, &payload);
    EXPECT_EQ(cb.GetItemDataPtr(2), &payload);
    CString text;
    cb.GetLBText(1, text);
    EXPECT_EQ(text, "one");
    EXPECT_EQ(cb.GetLBTextLen(2), 3);
    EXPECT_EQ(cb.FindStringExact(-1, "TWO"), 2);
    EXPECT_EQ(cb.FindStringExact(-1, "three"), CB_ERR);
    EXPECT_EQ(cb.DeleteString(0), 2);
    EXPECT_EQ(cb.SetCurSel(5), CB_ERR);
    cb.ResetContent();
    EXPECT_EQ(cb.GetCount(), 0);

    CSliderCtrl &s = dlg.m_slider;
    s.SetRange(0, 200, TRUE);
    s.SetPos(120);
    int lo = -1, hi = -1;
    s.GetRange(lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 200);
    EXPECT_EQ(s.GetPos(), 120);
    EXPECT_EQ(s.GetPageSize(), 40);  // a fifth of the range, as a trackbar's default
    dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}

// A window of its own class bound to an object: painting, the drag icon and
// erasing go through the object's table; CPaintDC draws on the window.
class CIconWnd : public CWnd {
 public:
  int paints = 0;
  int erases = 0;
  HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(103));

 protected:
  void OnPaint() {
    ++paints;
    CPaintDC dc(this);
    EXPECT_NE(dc.GetSafeHdc(), nullptr);
    EXPECT_TRUE(dc.DrawIcon(0, 0, icon));
  }
  HCURSOR OnQueryDragIcon() { return static_cast<HCURSOR>(icon); }
  BOOL OnEraseBkgnd(CDC *pDC) {
    ++erases;
    EXPECT_NE(pDC, nullptr);
    return TRUE;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CIconWnd, CWnd)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

LRESULT PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(Framework, PaintIconAndEraseEntries) {
  static bool registered = [] {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &PlainProc;
    wc.lpszClassName = "QuavixIconWindow";
    return RegisterClassExA(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
  HWND hwnd = CreateWindowExA(0, "QuavixIconWindow", "Icon", WS_CAPTION | WS_VISIBLE, 0, 0, 120,
                              100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  {
    CIconWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hwnd));
    QImage painted = guitest::Widget(hwnd)->grab().toImage();
    EXPECT_GE(wnd.paints, 1);
    EXPECT_NE(painted.pixel(16, 16), painted.pixel(100, 60));  // the icon, then the background
    EXPECT_EQ(wnd.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(wnd.icon));
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    EXPECT_EQ(wnd.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), TRUE);
    EndPaint(hwnd, &ps);
    EXPECT_EQ(wnd.erases, 1);
    EXPECT_TRUE(wnd.ModifyStyle(0, WS_MINIMIZEBOX));
    EXPECT_FALSE(wnd.ModifyStyle(0, WS_MINIMIZEBOX));  // no change
    EXPECT_NE(wnd.GetStyle() & WS_MINIMIZEBOX, 0u);
  }
  // The object's end destroyed its window.
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(WinApp, NamesComeFromTheExecutable) {
  CWinApp app;
  EXPECT_EQ(AfxGetApp(), &app);
  app.SetNamesFromExecutable("/usr/lib/quavix/vorlinta");
  EXPECT_STREQ(app.m_pszAppName, "vorlinta");
  EXPECT_STREQ(app.m_pszExeName, "vorlinta");
  EXPECT_STREQ(app.m_pszHelpFilePath, "/usr/lib/quavix/vorlinta.HLP");
  app.SetRegistryKey("ZORVEKA");
  EXPECT_STREQ(app.m_pszRegistryKey, "ZORVEKA");
  EXPECT_STREQ(app.m_pszProfileName, "vorlinta");
  EXPECT_NE(app.LoadIcon(103), nullptr);
  EXPECT_EQ(app.LoadIcon(104), nullptr);

  CWinApp named("Given");
  named.SetNamesFromExecutable("/opt/VORLINTA.EXE");
  EXPECT_STREQ(named.m_pszAppName, "Given");
  EXPECT_STREQ(named.m_pszExeName, "VORLINTA");
  EXPECT_STREQ(named.m_pszHelpFilePath, "/opt/VORLINTA.HLP");
}

TEST(WinApp, BitmapsComeFromTheResources) {
  CBitmap face;
  EXPECT_TRUE(face.LoadBitmap(147));
  EXPECT_EQ(AfxBitmapResourceId(face), 147u);
  CBitmap missing;
  EXPECT_FALSE(missing.LoadBitmap(148));
  EXPECT_EQ(missing.GetSafeHandle(), nullptr);
}

}  // namespace
