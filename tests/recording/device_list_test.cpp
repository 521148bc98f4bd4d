// The capture device list at start-up and on a person's choice, on a private
// sound server whose null outputs are the devices.
#include "recording_fixture.h"

#include "platform/win/messages.h"
#include "platform/win/window_internal.h"
#include "settings/profile.h"
#include "settings/app_name.h"
#include "platform/dshow/dshow.h"

#include <QApplication>
#include <QTest>

namespace recording_test {
namespace {

constexpr const char *kNoHardwareText =
    "There were no audio capture devices detected on this system.\r\n\r\n"
    "If your system has an audio capture device (sound card, video camera, etc.),\r\n"
    "then make sure that it is working properly and that you are not running\r\n"
    "this program through a Windows XP Remote Desktop connection.\r\n\r\n"
    "This program will now exit.";

using DeviceListTest = RecordingTest;

// The name of a capture filter's first line, which names its device.
std::u16string FirstLineName(IBaseFilter *filter) {
  IPin *pin = nullptr;
  if (FAILED(CConverterDlg::FindPin(filter, PINDIR_INPUT, 0, &pin)) || !pin) return u"";
  PIN_INFO info{};
  std::u16string name;
  if (SUCCEEDED(pin->QueryPinInfo(&info))) {
    name = info.achName;
    if (info.pFilter) info.pFilter->Release();
  }
  pin->Release();
  return name;
}

TEST_F(DeviceListTest, TwoOutputsAreListedByNameAndAChoiceIsKept) {
  bool ran = false;
  StartProgram([&](CConverterDlg &dlg) {
    ran = true;
    HWND h = dlg.m_hWnd;
    EXPECT_EQ(ListTexts(dlg.m_cbDeviceList),
              (std::vector<std::string>{"Test Output A", "Test Output B"}));
    EXPECT_EQ(g_nDeviceCount, 2);
    EXPECT_TRUE(Visible(h, IDC_DEVICE_LIST));
    EXPECT_TRUE(Visible(h, IDC_DEVICE_TAG));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 0);
    EXPECT_NE(dlg.m_pCaptureFilter, nullptr) << "the first device is set up";
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;

    // The person picks the second device with the keyboard.
    const std::u16string firstLine = FirstLineName(dlg.m_pCaptureFilter);
    EXPECT_NE(firstLine.find(u"Test Output A"), std::u16string::npos);
    QWidget *list = quavix::win::WidgetOf(GetDlgItem(h, IDC_DEVICE_LIST));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    PumpPendingMessages();
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 1);
    EXPECT_EQ(g_nSoundCaptureIndex, 1);
    ASSERT_NE(dlg.m_pCaptureFilter, nullptr);
    EXPECT_NE(FirstLineName(dlg.m_pCaptureFilter).find(u"Test Output B"), std::u16string::npos)
        << "the second device's own filter";
    EXPECT_NE(dlg.m_pME, nullptr) << "the rebuilt graph still notifies the window";
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 1u);
}

TEST_F(DeviceListTest, RememberedDeviceThatIsGoneSelectsTheFirstAndStoresIt) {
  ProfileSetInt(kProfileMakerKey, appName_.c_str(), "Option", "nSoundCaptureIndex", 5);
  StartProgram([&](CConverterDlg &dlg) {
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 0);
    EXPECT_EQ(g_nSoundCaptureIndex, 0);
    EXPECT_NE(dlg.m_pCaptureFilter, nullptr);
    Click(dlg.m_hWnd, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 0u);
}

// Three outputs; the default one (quavix_b, loaded first) is not the first
// listed.
class ThreeDevicesTest : public RecordingTest {
 protected:
  std::vector<quavix::test::NullSink> Sinks() const override {
    return {{"quavix_b", "Test Output B"},
            {"quavix_a", "Test Output A"},
            {"quavix_c", "Test Output C"}};
  }
  void Choose(CConverterDlg &dlg, int entry) {
    dlg.m_cbDeviceList.SetCurSel(entry);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, CBN_SELCHANGE),
                    reinterpret_cast<LPARAM>(GetDlgItem(dlg.m_hWnd, IDC_DEVICE_LIST)));
  }
  bool WaitForList(CConverterDlg &dlg, const std::vector<std::string> &texts) {
    return WaitUntil([&] { return ListTexts(dlg.m_cbDeviceList) == texts; }, 10000);
  }
};

TEST_F(ThreeDevicesTest, DevicesKeepTheirPlacesAndTheChoiceFollowsItsDeviceWhenOthersComeAndGo) {
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    ASSERT_EQ(ListTexts(dlg.m_cbDeviceList),
              (std::vector<std::string>{"Test Output A", "Test Output B", "Test Output C"}));
    Choose(dlg, 2);
    ASSERT_NE(dlg.m_pCaptureFilter, nullptr);
    IBaseFilter *chosen = dlg.m_pCaptureFilter;

    // Another card unplugged and plugged in again: the server gives it a
    // new index, its place in the list stays the same.
    ASSERT_TRUE(pulse_.UnloadNullSink("quavix_a"));
    ASSERT_TRUE(WaitForList(dlg, {"Test Output B", "Test Output C"}));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 1);
    EXPECT_EQ(g_nSoundCaptureIndex, 1);
    ASSERT_GE(pulse_.LoadNullSink({"quavix_a", "Test Output A"}), 0);
    ASSERT_TRUE(WaitForList(dlg, {"Test Output A", "Test Output B", "Test Output C"}));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 2);
    EXPECT_EQ(g_nSoundCaptureIndex, 2);

    // A device plugged in during the session is offered.
    ASSERT_GE(pulse_.LoadNullSink({"quavix_0", "Test Output 0"}), 0);
    ASSERT_TRUE(
        WaitForList(dlg, {"Test Output 0", "Test Output A", "Test Output B", "Test Output C"}));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 3);
    EXPECT_EQ(g_nSoundCaptureIndex, 3);
    EXPECT_EQ(dlg.m_pCaptureFilter, chosen) << "the chosen device was not set up again";
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 3u);
}

TEST_F(ThreeDevicesTest, AfterTheChosenDeviceIsUnpluggedAnotherCanBeChosenAndItsReturnIsListed) {
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    Choose(dlg, 1);
    ASSERT_NE(dlg.m_pCaptureFilter, nullptr);

    ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
    const std::string removed = "The selected input device was removed!";
    ASSERT_TRUE(WaitUntil([&] { return BoxesWithText(removed) == 1; }, 10000));
    EXPECT_EQ(ListTexts(dlg.m_cbDeviceList),
              (std::vector<std::string>{"Test Output A", "Test Output C"}));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), -1);
    EXPECT_EQ(dlg.m_pCaptureFilter, nullptr);

    Choose(dlg, 1);
    ASSERT_NE(dlg.m_pCaptureFilter, nullptr);
    EXPECT_NE(FirstLineName(dlg.m_pCaptureFilter).find(u"Test Output C"), std::u16string::npos);
    EXPECT_EQ(g_nSoundCaptureIndex, 1);
    EXPECT_GT(dlg.m_cbInputList.GetCount(), 0);

    // The unplugged device comes back: listed again, the new choice kept.
    ASSERT_GE(pulse_.LoadNullSink({"quavix_b", "Test Output B"}), 0);
    ASSERT_TRUE(WaitForList(dlg, {"Test Output A", "Test Output B", "Test Output C"}));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 2);
    EXPECT_EQ(BoxesWithText("The audio input device has been reattached!"), 0);
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 2u);
}

TEST_F(ThreeDevicesTest, TheLostDeviceIsChosenAgainOnItsReturnEvenIfAnotherAppearedMeanwhile) {
  StartProgram([&](CConverterDlg &dlg) {
    Choose(dlg, 1);  // Test Output B
    ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
    ASSERT_TRUE(WaitUntil(
        [&] { return BoxesWithText("The selected input device was removed!") == 1; }, 10000));
    ASSERT_GE(pulse_.LoadNullSink({"quavix_0", "Test Output 0"}), 0);
    ASSERT_TRUE(WaitForList(dlg, {"Test Output 0", "Test Output A", "Test Output C"}));
    ASSERT_GE(pulse_.LoadNullSink({"quavix_b", "Test Output B"}), 0);
    ASSERT_TRUE(WaitUntil(
        [&] { return BoxesWithText("The audio input device has been reattached!") == 1; }, 10000));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 2);
    EXPECT_EQ(g_nSoundCaptureIndex, 2);
    ASSERT_NE(dlg.m_pCaptureFilter, nullptr);
    EXPECT_NE(FirstLineName(dlg.m_pCaptureFilter).find(u"Test Output B"), std::u16string::npos);
    Click(dlg.m_hWnd, IDC_EXIT);
    PumpPendingMessages();
  });
}

class OneDeviceTest : public RecordingTest {
 protected:
  std::vector<quavix::test::NullSink> Sinks() const override {
    return {{"quavix_a", "Only Output"}};
  }
};

TEST_F(OneDeviceTest, ListAndTagAreHiddenButTheDeviceIsSetUp) {
  bool ran = false;
  StartProgram([&](CConverterDlg &dlg) {
    ran = true;
    HWND h = dlg.m_hWnd;
    EXPECT_EQ(ListTexts(dlg.m_cbDeviceList), std::vector<std::string>{"Only Output"});
    EXPECT_EQ(g_nDeviceCount, 1);
    EXPECT_FALSE(Visible(h, IDC_DEVICE_LIST));
    EXPECT_FALSE(Visible(h, IDC_DEVICE_TAG));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 0);
    EXPECT_NE(dlg.m_pCaptureFilter, nullptr);
    EXPECT_NE(dlg.m_pGB, nullptr);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    PostMessageA(h, WM_CLOSE, 0, 0);
    PumpPendingMessages();
  });
  EXPECT_TRUE(ran);
}

class NoServerTest : public RecordingTest {
 protected:
  bool WantServer() const override { return false; }
};

void ExpectNoHardwareBoxAndEnd(const std::vector<UiRequest> &boxes, BOOL result) {
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kNoHardwareText);
  EXPECT_EQ(boxes[0].caption, "No audio capture hardware!");
  EXPECT_EQ(boxes[0].type & MB_ICONMASK, MB_ICONHAND);
  EXPECT_EQ(boxes[0].type & 0xF, MB_OK);
  EXPECT_NE(boxes[0].owner, nullptr) << "owned by the main window";
  EXPECT_FALSE(result) << "the program ends";
}

TEST_F(NoServerTest, NoSoundServerIsReportedAndTheProgramEnds) {
  quavix::test::UnreachablePulse none;
  ASSERT_TRUE(none.ok());
  // Whatever the modal loop still runs, the quit ends it.
  BOOL result = StartProgram([&](CConverterDlg &) { PumpPendingMessages(); });
  ExpectNoHardwareBoxAndEnd(boxes_, result);
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), std::nullopt) << "a quit writes no settings";
}

class NoDeviceTest : public RecordingTest {
 protected:
  std::vector<quavix::test::NullSink> Sinks() const override { return {}; }
};

TEST_F(NoDeviceTest, ServerWithoutDevicesIsReportedAndTheProgramEnds) {
  BOOL result = StartProgram([&](CConverterDlg &) { PumpPendingMessages(); });
  ExpectNoHardwareBoxAndEnd(boxes_, result);
}

}  // namespace
}  // namespace recording_test
