// Starting and stopping runs over and over, and the runs that must not start
// or that fail to: nothing may be left behind in the graph, the process or
// on disk.
#include "recording_fixture.h"

#include "platform/com/combase.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/graph_classes.h"
#include "platform/win/messages.h"
#include "tests/writer/gst_helpers.h"

#include <filesystem>
#include <fstream>

namespace recording_test {
namespace {

// The names of the filters in the capture graph, in its order.
std::vector<std::u16string> FilterNames(IGraphBuilder *graph) {
  std::vector<std::u16string> names;
  IEnumFilters *e = nullptr;
  if (!graph || FAILED(graph->EnumFilters(&e)) || !e) return names;
  IBaseFilter *f = nullptr;
  while (e->Next(1, &f, nullptr) == S_OK) {
    FILTER_INFO info{};
    if (SUCCEEDED(f->QueryFilterInfo(&info))) {
      names.emplace_back(info.achName);
      if (info.pGraph) info.pGraph->Release();
    }
    f->Release();
  }
  e->Release();
  return names;
}

TEST_F(RecordingTest, FiftyRunsLeaveNoDescriptorThreadOrFilterBehind) {
  auto tone = StartTone("quavix_a", 440.0);
  const std::string output = music_ + "cycle.wma";
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    int fdsAfterWarmUp = 0, threadsAfterWarmUp = 0;
    for (int cycle = 1; cycle <= 50; ++cycle) {
      Click(h, IDC_CONVERT);
      ASSERT_EQ(dlg.m_bConverting, 1) << cycle;
      Pump(100);
      Click(h, IDC_STOP);
      ASSERT_EQ(dlg.m_bConverting, 0) << cycle;
      ASSERT_EQ(FilterNames(dlg.m_pGB), std::vector<std::u16string>{u"Audio Capture"}) << cycle;
      if (cycle == 5) {
        Pump(200);
        fdsAfterWarmUp = OpenDescriptors();
        threadsAfterWarmUp = ThreadCount();
      }
    }
    Pump(200);
    // Every run after the first replaced the file of the one before, asked
    // each time (and answered Yes).
    EXPECT_EQ(boxes_.size(), 49u);
    for (const UiRequest &box : boxes_)
      EXPECT_NE(box.text.find("already exists"), std::string::npos) << box.text;
    boxes_.clear();
    // Output files, temporary WAVs, sound-server connections and each run's
    // writer (its encoder bin holds a descriptor while it lives) must all be
    // gone again.
    EXPECT_LE(OpenDescriptors(), fdsAfterWarmUp) << "descriptors grew over 45 runs:\n"
                                                 << DescribeDescriptors();
    EXPECT_LE(ThreadCount(), threadsAfterWarmUp) << "threads grew over 45 runs";
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_TRUE(ReadAsfFacts(output).simpleIndex) << "the last run's file is complete";
}

TEST_F(RecordingTest, WriterChainThatFailedHalfWayIsTakenOutAgain) {
  const std::string output = music_ + "half.wma";
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    // The File Writer cannot be made: the writer filter was already made.
    ASSERT_TRUE(UnregisterBuiltInClass(CLSID_FileWriter));
    Click(h, IDC_CONVERT);
    RegisterMediaGraphClasses();
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(dlg.m_pWavDest, nullptr);
    EXPECT_EQ(dlg.m_pFileWriter, nullptr);
    EXPECT_EQ(FilterNames(dlg.m_pGB), std::vector<std::u16string>{u"Audio Capture"});
    EXPECT_TRUE(boxes_.empty()) << "only a missing writer filter is reported";

    // The next Convert starts from the capture filter alone.
    Click(h, IDC_CONVERT);
    EXPECT_EQ(dlg.m_bConverting, 1);
    EXPECT_EQ(FilterNames(dlg.m_pGB),
              (std::vector<std::u16string>{u"Audio Capture", u"WAV Dest", u"File Writer"}));
    Pump(300);
    Click(h, IDC_STOP);
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_TRUE(ReadAsfFacts(output).header);
}

TEST_F(RecordingTest, OutputPathTheHandOffCannotHoldIsRefusedUntouched) {
  // 256 bytes or more: the writer would be handed a cut path.
  const std::string folder = env_->home + "/" + std::string(120, 'd');
  std::filesystem::create_directories(folder);
  // Exactly 256 bytes: the first length that does not fit.
  const std::string longPath =
      folder + "/" + std::string(256 - folder.size() - 1 - 4, 'n') + ".wma";
  ASSERT_EQ(longPath.size(), 256u);
  std::ofstream(longPath) << "the person's earlier file";
  ASSERT_TRUE(std::filesystem::exists(longPath));
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, longPath);
    Click(h, IDC_CONVERT);
    EXPECT_EQ(dlg.m_bConverting, 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_NE(boxes_[0].text.find("too long"), std::string::npos) << boxes_[0].text;
    EXPECT_EQ(dlg.m_pWavDest, nullptr);
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_TRUE(std::filesystem::exists(longPath)) << "nothing was deleted";
  EXPECT_EQ(HandOffValue("OutputWMAName"), std::nullopt) << "nothing was handed over";
}

TEST_F(RecordingTest, OutputThatIsTheOpenSongIsRefused) {
  const std::string song = music_ + "song.mid";
  std::ofstream(song) << "MThd";
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    AsIfASongWasOpened(dlg);
    std::snprintf(dlg.m_szMidiPath, MAX_PATH, "%s", song.c_str());
    SetOutputPath(dlg, music_ + "./song.mid");
    Click(h, IDC_CONVERT);
    EXPECT_EQ(dlg.m_bConverting, 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "Error");
    dlg.m_szMidiPath[0] = 0;
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_TRUE(std::filesystem::exists(song)) << "the song was not deleted";
}

TEST_F(RecordingTest, RunThatCannotStartIsReportedAndStoppedAtOnce) {
  const std::string output = music_ + "failed.wma";
  std::ofstream(output) << "an older conversion";
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    // The temporary WAV cannot be written: the graph does not start.
    std::snprintf(dlg.m_szTempWavPath, MAX_PATH, "%s",
                  (env_->root + "/missing/kqzttemp.wav").c_str());
    Click(h, IDC_CONVERT);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, output + " already exists.\nDo you want to replace it?")
        << "answered Yes";
    EXPECT_EQ(boxes_[1].caption, "Start Converting Error");
    EXPECT_EQ(
        boxes_[1].text,
        "1. Your audio hardware may be used by other program. Please exit the program.\n"
        "2. Or your audio hardware has unknown problem. The program can not start converting.\n"
        "3. Or the output WMA file is played by other program now. Please exit the program.\n"
        "4. Or the output WMA file has incorrect directory name.");
    EXPECT_EQ(dlg.m_bConverting, 1) << "the start steps ran; the posted Stop is still queued";
    PumpPendingMessages();
    EXPECT_TRUE(WaitUntil([&] { return dlg.m_bConverting == 0; }, 5000));
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    EXPECT_EQ(FilterNames(dlg.m_pGB), std::vector<std::u16string>{u"Audio Capture"});
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_NE(writer_test::ReadWholeFile(output), "an older conversion")
      << "the old output was deleted first";
}

}  // namespace
}  // namespace recording_test
