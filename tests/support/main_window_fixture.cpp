#include "tests/support/main_window_fixture.h"

#include "platform/win/window_internal.h"

#include <QTest>

namespace quavix::test {

void MainWindowFixture::SetUp() {
  env_.emplace();
  music_ = env_->home + "/Music/";
  if (WantMusicFolder()) env_->MakeMusicFolder();
  if (WantServer()) {
    PrivatePulseTest::SetUp();
    if (HasFatalFailure()) return;
  }
  app_ = ConverterApp();
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  app_->SetNamesFromExecutable(exe);
  appName_ = app_->m_pszProfileName ? app_->m_pszProfileName : app_->m_pszAppName;
  previousSeam_ = SetUiSeamForTest([this](const UiRequest &r) { return Answer(r); });
}

void MainWindowFixture::TearDown() {
  if (app_) SetUiSeamForTest(previousSeam_);
  PrivatePulseTest::TearDown();
  env_.reset();
}

UiAnswer MainWindowFixture::Answer(const UiRequest &request) {
  UiAnswer answer;
  switch (request.kind) {
    case UiRequestKind::MessageBox:
      boxes_.push_back(request);
      answer.button = (request.type & 0xF) == MB_YESNO ? IDYES : IDOK;
      if (!boxAnswers_.empty()) {
        answer.button = boxAnswers_.front();
        boxAnswers_.pop_front();
      }
      break;
    case UiRequestKind::OpenFile:
    case UiRequestKind::SaveFile:
      fileDialogs_.push_back(request);
      if (fileAnswers_.empty()) {
        answer.cancel = true;
      } else {
        answer.path = fileAnswers_.front();
        fileAnswers_.pop_front();
      }
      break;
    case UiRequestKind::ModalDialog:
      dialogsShown_.push_back(request.dialogId);
      if (auto it = drivers_.find(request.dialogId); it != drivers_.end()) {
        auto driver = it->second;  // a driver may replace or remove itself
        driver(request.dialog);
      } else {
        OtherDialog(request);
      }
      break;
  }
  return answer;
}

BOOL MainWindowFixture::StartProgram(std::function<void(CConverterDlg &)> drive) {
  drivers_[IDD_CONVERTER_DIALOG] = [this, drive](HWND) { drive(MainDialog()); };
  return app_->InitInstance();
}

void MainWindowFixture::RunProgram(std::function<void(CConverterDlg &)> drive) {
  drivers_[IDD_CONVERTER_DIALOG] = [this, drive](HWND h) {
    drivers_.erase(IDD_CONVERTER_DIALOG);
    drive(MainDialog());
    // After an exit this message finds no window.
    PostMessageA(h, WM_CLOSE, 0, 0);
  };
  app_->InitInstance();
}

INT_PTR MainWindowFixture::RunMainWindowAlone(std::function<void(CConverterDlg &)> drive) {
  CConverterDlg dlg;
  drivers_[IDD_CONVERTER_DIALOG] = [&dlg, drive](HWND) { drive(dlg); };
  app_->m_pMainWnd = &dlg;
  INT_PTR result = dlg.DoModal();
  app_->m_pMainWnd = nullptr;
  return result;
}

void MainWindowFixture::Click(HWND dlg, int id) {
  QTest::mouseClick(quavix::win::WidgetOf(GetDlgItem(dlg, id)), Qt::LeftButton);
}

void MainWindowFixture::OpenSong(CConverterDlg &dlg, const std::string &path) {
  fileAnswers_.push_back(path);
  Click(dlg.m_hWnd, IDC_OPEN);
}

void MainWindowFixture::ConvertAndStop(CConverterDlg &dlg, const std::string &song,
                                       bool outputExists, int ms) {
  HWND h = dlg.m_hWnd;
  OpenSong(dlg, song);
  ASSERT_NE(g_pPlayer, nullptr);
  Click(h, IDC_CONVERT);
  ASSERT_EQ(dlg.m_bConverting, 1);
  if (outputExists) {
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("already exists"), std::string::npos) << boxes_[0].text;
    boxes_.clear();
  }
  QTest::qWait(ms);
  Click(h, IDC_STOP);
  ASSERT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
}

int MainWindowFixture::BoxesWithText(const std::string &text) const {
  int n = 0;
  for (const auto &b : boxes_)
    if (b.text == text) ++n;
  return n;
}

const UiRequest *MainWindowFixture::LastBoxWithText(const std::string &text) const {
  for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it)
    if (it->text == text) return &*it;
  return nullptr;
}

}  // namespace quavix::test
