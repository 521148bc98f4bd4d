// Conversion runs recorded from a null output's loop-back while a known
// signal plays into it; the WMA and the temporary WAV are decoded back.
#include "recording_fixture.h"

#include "platform/win/messages.h"
#include "tests/writer/gst_helpers.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char **environ;

namespace recording_test {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

TEST_F(RecordingTest, ToneIsRecordedIntoACompleteWmaAndTheTemporaryWav) {
  auto tone = StartTone("quavix_a", 440.0);
  const std::string output = music_ + "tone.wma";
  std::string wav;
  // The run lasted at least from Convert's return to the press of Stop, at
  // most from the press of Convert to Stop's return; on a busy machine the
  // two presses themselves take a while.
  double shortest = 0, longest = 0;
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    wav = dlg.m_szTempWavPath;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    const auto pressed = Clock::now();
    Click(h, IDC_CONVERT);
    const auto started = Clock::now();
    EXPECT_EQ(dlg.m_bConverting, 1);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Converting - Used Time: 00:00:00");
    for (int id : {IDC_CONVERT, IDC_PLAY, IDC_OPEN, IDC_INPUT_LIST, IDC_DEVICE_LIST})
      EXPECT_FALSE(Enabled(h, id)) << id;
    for (int id : {IDC_STOP, IDC_OUTPUT_PATH, IDC_BROWSE, IDC_VOLUME, IDC_HELP_BTN, IDC_EXIT})
      EXPECT_TRUE(Enabled(h, id)) << id;
    EXPECT_TRUE(WaitUntil(
        [&] { return ItemText(h, IDC_STATUS) == "Status : Converting - Used Time: 00:00:03"; },
        15000))
        << ItemText(h, IDC_STATUS);
    shortest = SecondsSince(started);
    Click(h, IDC_STOP);
    longest = SecondsSince(pressed);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(dlg.m_nElapsed, 0);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    EXPECT_EQ(dlg.m_pWavDest, nullptr);
    EXPECT_EQ(dlg.m_pFileWriter, nullptr);
    for (int id : {IDC_CONVERT, IDC_STOP, IDC_PLAY, IDC_OPEN, IDC_OUTPUT_PATH, IDC_BROWSE,
                   IDC_INPUT_LIST, IDC_DEVICE_LIST})
      EXPECT_TRUE(Enabled(h, id)) << id;
    // Stop while idle changes nothing.
    Click(h, IDC_STOP);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  tone->Stop();
  EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;

  AsfFacts facts = ReadAsfFacts(output);
  ASSERT_TRUE(facts.header) << output;
  EXPECT_GT(facts.playDuration, 0u) << "the header was finished";
  EXPECT_TRUE(facts.simpleIndex);
  const double wma = DecodedSeconds(output), temp = DecodedSeconds(wav);
  EXPECT_GT(temp, 2.5);
  EXPECT_NEAR(wma, temp, 0.3) << "the WMA holds what was recorded";
  EXPECT_GE(temp, shortest - 0.3) << "the recording lasted as long as the run";
  EXPECT_LE(temp, longest + 0.3) << "the recording lasted as long as the run";
  EXPECT_NEAR(MiddleFrequency(output), 440.0, 5.0);
  EXPECT_NEAR(MiddleFrequency(wav), 440.0, 5.0);
  EXPECT_EQ(HandOffValue("OutputWMAName"), output);
  EXPECT_EQ(HandOffValue("OUTPUTWAVE"), "0");
}

// Loudness per 100 ms window.
std::vector<double> Envelope(const std::vector<std::int16_t> &stereo) {
  std::vector<double> env;
  const size_t window = 4410 * 2;
  for (size_t i = 0; i + window <= stereo.size(); i += window) {
    double sum = 0;
    for (size_t j = i; j < i + window; ++j) sum += static_cast<double>(stereo[j]) * stereo[j];
    env.push_back(std::sqrt(sum / static_cast<double>(window)));
  }
  return env;
}

double Correlation(const std::vector<double> &a, const std::vector<double> &b, int lag) {
  std::vector<double> x, y;
  for (size_t i = 0; i < a.size(); ++i) {
    long j = static_cast<long>(i) + lag;
    if (j < 0 || j >= static_cast<long>(b.size())) continue;
    x.push_back(a[i]);
    y.push_back(b[static_cast<size_t>(j)]);
  }
  if (x.size() < 10) return -1;
  double mx = 0, my = 0;
  for (size_t i = 0; i < x.size(); ++i) mx += x[i], my += y[i];
  mx /= static_cast<double>(x.size());
  my /= static_cast<double>(y.size());
  double sxy = 0, sxx = 0, syy = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : -1;
}

TEST_F(RecordingTest, ARunThatRecordedSilenceSaysSoAfterTheNormalStopAndKeepsTheFile) {
  // Nothing plays into the recorded output.
  const std::string output = music_ + "silent.wma";
  const std::string said = "Nothing was heard on the chosen input line";
  auto told = [&] {
    const UiRequest *found = nullptr;
    for (const auto &b : boxes_)
      if (b.text.find(said) != std::string::npos) found = &b;
    return found;
  };
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    ASSERT_TRUE(ConvertUntil(dlg, output, 2)) << ItemText(h, IDC_STATUS);
    EXPECT_EQ(told(), nullptr) << "nothing is said while the run goes on";
    Click(h, IDC_STOP);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    EXPECT_TRUE(WaitUntil([&] { return told() != nullptr; }, 10000));
    if (const UiRequest *box = told()) {
      EXPECT_EQ(box->caption, "Error");
      EXPECT_EQ(box->type & 0xF, MB_OK);
      EXPECT_EQ(box->owner, h);
      EXPECT_NE(box->text.find("\"Monitor of ...\""), std::string::npos) << box->text;
    }
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_EQ(boxes_.size(), 1u) << "told once, and nothing else";
  EXPECT_GT(DecodedSeconds(output), 1.5) << "the file is kept";
}

TEST_F(RecordingTest, SongRenderedByFluidSynthKeepsItsLoudnessEnvelope) {
  const char *corpusSong = "/usr/share/games/openttd/baseset/openmsx/5432gone_redfarn.mid";
  const char *font = "/usr/share/sounds/sf2/default-GM.sf2";
  if (!std::filesystem::exists(corpusSong) || !std::filesystem::exists(font))
    GTEST_SKIP() << "needs openttd-openmsx and fluid-soundfont-gm";
  const std::string rendered = env_->root + "/song.wav";
  // Eight seconds of the song, rendered offline.
  auto r = quavix::test::RunProcess(
      {"fluidsynth", "-ni", "-g", "0.6", "-r", "44100", "-F", rendered, font, corpusSong}, 120000);
  ASSERT_EQ(r.exit_code, 0);
  std::vector<std::int16_t> source;
  ASSERT_TRUE(writer_test::DecodeFile(rendered, &source));
  source.resize(std::min(source.size(), static_cast<size_t>(44100 * 2 * 8)));
  const std::string clip = env_->root + "/clip.wav";
  {
    // A plain WAV of the first eight seconds for paplay.
    std::ofstream f(clip, std::ios::binary);
    auto le = [&](std::uint32_t v, int n) {
      for (int i = 0; i < n; ++i) f.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const std::uint32_t bytes = static_cast<std::uint32_t>(source.size() * 2);
    f.write("RIFF", 4), le(36 + bytes, 4), f.write("WAVEfmt ", 8), le(16, 4), le(1, 2), le(2, 2),
        le(44100, 4), le(44100 * 4, 4), le(4, 2), le(16, 2), f.write("data", 4), le(bytes, 4);
    f.write(reinterpret_cast<const char *>(source.data()), static_cast<std::streamsize>(bytes));
  }
  // Let the fresh output settle with a quiet tone first.
  auto settle = StartTone("quavix_a", 200.0);
  settle->Stop();

  const std::string output = music_ + "song.wma";
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    Click(h, IDC_CONVERT);
    Pump(300);
    quavix::test::ChildProcess play({"paplay", "--device=quavix_a", clip});
    EXPECT_GE(play.Wait(30000), 0) << "paplay played the clip";
    Pump(500);
    Click(h, IDC_STOP);
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  std::vector<std::int16_t> recorded;
  ASSERT_TRUE(writer_test::DecodeFile(output, &recorded));
  auto a = Envelope(source), b = Envelope(recorded);
  double best = -1;
  for (int lag = 0; lag <= 30; ++lag) best = std::max(best, Correlation(a, b, lag));
  EXPECT_GT(best, 0.8) << "the recording follows the song's loudness";
}

TEST_F(RecordingTest, SelectedDeviceUnpluggedMidRunStopsTheRunAndItsReturnIsNoticed) {
  auto tone = StartTone("quavix_b", 660.0);
  const std::string output = music_ + "unplugged.wma";
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    dlg.m_cbDeviceList.SetCurSel(1);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, CBN_SELCHANGE),
                    reinterpret_cast<LPARAM>(GetDlgItem(h, IDC_DEVICE_LIST)));
    ASSERT_EQ(g_nSoundCaptureIndex, 1);
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    Click(h, IDC_CONVERT);
    ASSERT_EQ(dlg.m_bConverting, 1);
    Pump(2500);

    ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
    const std::string removed = "The selected input device was removed!";
    ASSERT_TRUE(WaitUntil([&] { return BoxesWithText(removed) == 1; }, 10000));
    const UiRequest *box = LastBoxWithText(removed);
    EXPECT_EQ(box->caption, "DirectShow Audio Capture Sample");
    EXPECT_EQ(box->type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_EQ(box->owner, h);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    // The devices that are left, none chosen, so another one can be taken.
    EXPECT_EQ(ListTexts(dlg.m_cbDeviceList), std::vector<std::string>{"Test Output A"});
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), -1);
    EXPECT_TRUE(Visible(h, IDC_DEVICE_LIST));
    EXPECT_EQ(dlg.m_cbInputList.GetCount(), 0);
    EXPECT_EQ(dlg.m_pCaptureFilter, nullptr);

    // No source to record from: Convert says so and starts nothing.
    boxes_.clear();
    Click(h, IDC_CONVERT);
    EXPECT_EQ(dlg.m_bConverting, 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_NE(boxes_[0].text.find("No audio capture device"), std::string::npos) << boxes_[0].text;

    tone->Stop();
    ASSERT_GE(pulse_.LoadNullSink({"quavix_b", "Test Output B"}), 0);
    const std::string back = "The audio input device has been reattached!";
    ASSERT_TRUE(WaitUntil([&] { return BoxesWithText(back) == 1; }, 10000));
    box = LastBoxWithText(back);
    EXPECT_EQ(box->caption, "DirectShow Audio Capture Sample");
    EXPECT_EQ(box->type & MB_ICONMASK, MB_ICONINFORMATION);
    EXPECT_EQ(ListTexts(dlg.m_cbDeviceList),
              (std::vector<std::string>{"Test Output A", "Test Output B"}));
    EXPECT_EQ(dlg.m_cbDeviceList.GetCurSel(), 1) << "the remembered device again";
    EXPECT_NE(dlg.m_pCaptureFilter, nullptr);
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  AsfFacts facts = ReadAsfFacts(output);
  ASSERT_TRUE(facts.header);
  EXPECT_GT(facts.playDuration, 0u) << "the file written until the loss is complete";
  EXPECT_TRUE(facts.simpleIndex);
  EXPECT_GT(DecodedSeconds(output), 1.5);
  std::string errors;
  EXPECT_GT(writer_test::FfmpegSeconds(output, &errors), 1.5) << errors;
}

TEST_F(RecordingTest, ClosingTheWindowMidRunLeavesACompleteWma) {
  auto tone = StartTone("quavix_a", 440.0);
  const std::string output = music_ + "closed.wma";
  std::string wav;
  StartProgram([&](CConverterDlg &dlg) {
    wav = dlg.m_szTempWavPath;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    Click(dlg.m_hWnd, IDC_CONVERT);
    ASSERT_EQ(dlg.m_bConverting, 1);
    Pump(2500);
    // The caption's close box: a plain Stop of the graph, no StopWhenReady.
    PostMessageA(dlg.m_hWnd, WM_CLOSE, 0, 0);
    PumpPendingMessages();
  });
  AsfFacts facts = ReadAsfFacts(output);
  ASSERT_TRUE(facts.header);
  EXPECT_GT(facts.playDuration, 0u) << "duration written";
  EXPECT_FALSE(facts.broadcast);
  EXPECT_TRUE(facts.simpleIndex) << "index written";
  EXPECT_NEAR(DecodedSeconds(output), DecodedSeconds(wav), 0.3);
  EXPECT_NEAR(MiddleFrequency(output), 440.0, 5.0);
}

// Runs this test program again, copied into a folder of its own, with only
// one test selected and `mode` telling that test to act.
struct ChildRun {
  std::string folder, exe, log;
};

ChildRun CopyOfThisProgram(const std::string &root) {
  ChildRun run;
  run.folder = root + "/copy";
  std::filesystem::create_directories(run.folder);
  run.exe = run.folder + "/recording_tests_copy";
  std::filesystem::copy_file("/proc/self/exe", run.exe);
  std::filesystem::permissions(run.exe, std::filesystem::perms::owner_all);
  run.log = root + "/child.log";
  return run;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string> &extra) {
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e)
    if (std::strncmp(*e, "QUAVIX_MODULE_DIR=", 18) != 0) env.emplace_back(*e);
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

const char *ChildMode() { return std::getenv("QUAVIX_RECORDING_CHILD"); }

TEST_F(RecordingTest, ChildWithoutWriterModule) {
  if (!ChildMode() || std::string(ChildMode()) != "no-writer")
    GTEST_SKIP() << "run by WriterModuleAbsent";
  const std::string output = music_ + "never.wma";
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    const std::string status = ItemText(h, IDC_STATUS);
    Click(h, IDC_CONVERT);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text,
              "The program does not detect its file writer. Please install the program again!");
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_EQ(boxes_[0].type & 0xF, MB_OK);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ItemText(h, IDC_STATUS), status);
    for (int id : {IDC_CONVERT, IDC_STOP, IDC_PLAY, IDC_OPEN, IDC_OUTPUT_PATH, IDC_BROWSE,
                   IDC_INPUT_LIST, IDC_DEVICE_LIST})
      EXPECT_TRUE(Enabled(h, id)) << id;
    EXPECT_EQ(dlg.m_pWavDest, nullptr);
    EXPECT_EQ(dlg.m_pFileWriter, nullptr);
    Click(h, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_FALSE(std::filesystem::exists(output));
  std::printf("CHILD-CHECKED\n");
}

TEST_F(RecordingTest, WriterModuleAbsentFromTheProgramsFolderIsReported) {
  if (ChildMode()) GTEST_SKIP();
  ChildRun run = CopyOfThisProgram(env_->root);
  std::filesystem::create_directories(env_->root + "/empty");
  quavix::test::ChildProcess child(
      {run.exe, "--gtest_filter=RecordingTest.ChildWithoutWriterModule"},
      EnvironmentWith(
          {"QUAVIX_RECORDING_CHILD=no-writer", "QUAVIX_MODULE_DIR=" + env_->root + "/empty"}),
      run.log);
  int code = child.Wait(120000);
  std::string log = writer_test::ReadWholeFile(run.log);
  EXPECT_EQ(code, 0) << log;
  EXPECT_NE(log.find("CHILD-CHECKED"), std::string::npos) << log;
}

TEST_F(RecordingTest, ChildRecordingUntilKilled) {
  if (!ChildMode() || std::string(ChildMode()) != "until-killed")
    GTEST_SKIP() << "run by KilledMidRun";
  const char *output = std::getenv("QUAVIX_CHILD_OUTPUT");
  const char *marker = std::getenv("QUAVIX_CHILD_MARKER");
  ASSERT_TRUE(output && marker);
  auto tone = StartTone("quavix_a", 440.0);
  StartProgram([&](CConverterDlg &dlg) {
    AsIfASongWasOpened(dlg);
    SetOutputPath(dlg, output);
    Click(dlg.m_hWnd, IDC_CONVERT);
    ASSERT_EQ(dlg.m_bConverting, 1);
    std::ofstream(marker) << "running\n";
    Pump(60000);  // the parent kills the program long before this ends
  });
}

TEST_F(RecordingTest, KilledThreeSecondsIntoARunLeavesAPlayableWma) {
  if (ChildMode()) GTEST_SKIP();
  // This program itself, beside its writer module.
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string log = env_->root + "/child.log";
  const std::string output = music_ + "killed.wma", marker = env_->root + "/running";
  quavix::test::ChildProcess child(
      {exe, "--gtest_filter=RecordingTest.ChildRecordingUntilKilled"},
      EnvironmentWith({"QUAVIX_RECORDING_CHILD=until-killed", "QUAVIX_CHILD_OUTPUT=" + output,
                       "QUAVIX_CHILD_MARKER=" + marker}),
      log);
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(marker); }, 60000))
      << writer_test::ReadWholeFile(log);
  Pump(3000);
  ::kill(child.pid(), SIGKILL);
  child.Wait(10000);
  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(writer_test::DecodeFile(output, &pcm)) << output;
  EXPECT_GE(writer_test::Seconds(pcm), 2.0);
  std::string errors;
  EXPECT_GE(writer_test::FfmpegSeconds(output, &errors), 2.0) << errors;
}

}  // namespace
}  // namespace recording_test
