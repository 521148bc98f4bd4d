// A run on a machine so busy that the program stands still for longer than
// the capture can hold: the file is still completed, and then the user is
// told that the recording has gaps and how much was lost.
#include "recording_fixture.h"

#include "tests/support/machine_load.h"

#include <cstdio>

namespace recording_test {
namespace {

TEST_F(RecordingTest, AudioLostWhileTheProgramStoodStillIsToldOnceTheFileIsComplete) {
  auto tone = StartTone("quavix_a", 440.0);
  const std::string output = music_ + "gaps.wma";
  int stalls = 0;
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    ASSERT_TRUE(ConvertUntil(dlg, output, 4)) << ItemText(h, IDC_STATUS);
    {
      // One stop of 6 s: longer than the sound server and the capture hold.
      quavix::test::ProcessStalls stall(6000, 600000);
      ASSERT_TRUE(stall.started());
      WaitUntil([&] { return stall.count() >= 1; }, 10000);
      stalls = stall.count();
    }
    // Recording goes on after the stall.
    const std::string now = ItemText(h, IDC_STATUS);
    ASSERT_TRUE(WaitUntil([&] { return ItemText(h, IDC_STATUS) != now; }, 15000));
    EXPECT_TRUE(boxes_.empty()) << "nothing is said during the run";
    Click(h, IDC_STOP);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  tone->Stop();
  ASSERT_GE(stalls, 1);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Error");
  EXPECT_NE(boxes_[0].text.find("too busy"), std::string::npos) << boxes_[0].text;
  EXPECT_NE(boxes_[0].text.find("gaps"), std::string::npos) << boxes_[0].text;
  EXPECT_NE(boxes_[0].text.find("seconds of audio were lost"), std::string::npos) << boxes_[0].text;
  // The amount told: the stall less what the server and the capture held.
  double lost = 0;
  const std::size_t line = boxes_[0].text.find('\n');
  ASSERT_NE(line, std::string::npos);
  ASSERT_EQ(std::sscanf(boxes_[0].text.c_str() + line + 1, "%lf", &lost), 1) << boxes_[0].text;
  EXPECT_GT(lost, 1.0) << boxes_[0].text;
  EXPECT_LT(lost, 6.5) << boxes_[0].text;
  // What was recorded is a complete file.
  AsfFacts facts = ReadAsfFacts(output);
  EXPECT_GT(facts.playDuration, 0u);
  EXPECT_TRUE(facts.simpleIndex);
  EXPECT_GT(DecodedSeconds(output), 1.0);
}

}  // namespace
}  // namespace recording_test
