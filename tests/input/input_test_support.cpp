#include "tests/input/input_test_support.h"

#include "platform/dshow/pulse/capture_filter.h"
#include "platform/win/dialog_template.h"

#include <gtest/gtest.h>

namespace inputtest {

void InputControlsTest::SetUp() {
  MainWindowFixture::SetUp();
  g_nSearchFlag = 0;
  g_nCapturePinIndex = 0;
}

void InputControlsTest::RunWithInputControls(const std::function<void(CConverterDlg &)> &body) {
  CConverterDlg lines;
  CDialog host;
  ASSERT_TRUE(host.InitModalIndirect(FindDialogTemplate(IDD_CONVERTER_DIALOG)));
  bool ran = false;
  drivers_[IDD_CONVERTER_DIALOG] = [&](HWND dialog) {
    // A dialog of the same template opened inside is not the host.
    drivers_.erase(IDD_CONVERTER_DIALOG);
    ran = true;
    lines.m_cbInputList.Attach(GetDlgItem(dialog, IDC_INPUT_LIST));
    lines.m_sliderVolume.Attach(GetDlgItem(dialog, IDC_VOLUME));
    lines.m_sliderVolume.SetRange(0, 200);
    lines.m_sliderVolume.SetPos(200);
    lines.m_bOnlyOnce = 1;
    body(lines);
    lines.m_pCaptureFilter = nullptr;
    lines.m_cbInputList.Detach();
    lines.m_sliderVolume.Detach();
    EndDialog(dialog, IDCANCEL);
  };
  host.DoModal();
  drivers_.erase(IDD_CONVERTER_DIALOG);
  EXPECT_TRUE(ran) << "the host dialog never showed";
}

IBaseFilter *InputControlsTest::TwoMonitorDevice() {
  quavix::pulse::CaptureDevice device{
      "test:two-monitors",
      "Two Monitors",
      {{"quavix_b.monitor", "Monitor of Test Output B", true, "quavix_b"},
       {"quavix_a.monitor", "Monitor of Test Output A", true, "quavix_a"}}};
  IBaseFilter *filter = nullptr;
  EXPECT_EQ(
      quavix::pulse::CreateAudioCaptureFilter(device, quavix::pulse::PulseClient::Shared(),
                                              IID_IBaseFilter, reinterpret_cast<void **>(&filter)),
      S_OK);
  return filter;
}

std::string Entries(CComboBox &list) {
  std::string all;
  for (int i = 0; i < list.GetCount(); ++i) {
    CString text;
    list.GetLBText(i, text);
    if (i) all += "|";
    all += text.GetString();
  }
  return all;
}

}  // namespace inputtest
