// A whole conversion through the real program: the main window headless, a
// private sound server, the song opened through the open dialog, Convert
// clicked, the run ending by itself when the song ends, and the WMA decoded
// back and compared with FluidSynth's own offline render of the song. Runs
// on PulseAudio and on PipeWire.
#include "bench/audio_analysis.h"
#include "bench/gst_decode.h"
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <QApplication>
#include <QTest>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace player_test;
using quavix::test::MainWindowFixture;
using namespace quavix::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 22050;

// Three outputs, as on a desktop with several cards: the default one is
// not the first listed, so the first run (no settings) records another
// output's loop-back than the desktop plays to; the song must be played
// where it is recorded all the same.
class ConversionTest : public MainWindowFixture {
 protected:
  std::vector<quavix::test::NullSink> Sinks() const override {
    return {{"quavix_b", "Test Output B"},
            {"quavix_a", "Test Output A"},
            {"quavix_c", "Test Output C"}};
  }
};

TEST_F(ConversionTest, ASongConvertsByItselfIntoAWmaThatSoundsLikeIt) {
  gst_init(nullptr, nullptr);
  std::string song = env_->root + "/Frère Jacques.mid";
  fs::copy_file(std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid", song);
  auto lengths = MidoLengths({song});
  ASSERT_EQ(lengths.size(), 1u);
  ASSERT_TRUE(lengths[0].has_value());
  const double length = *lengths[0];
  std::string wma = music_ + "Frère Jacques.wma";

  std::set<std::string> statuses;
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    ASSERT_EQ(dlg.m_cbDeviceList.GetCurSel(), 0);
    ASSERT_EQ(pulse_.DefaultSink(), "quavix_b") << "the default output is not the chosen one";
    OpenSong(dlg, song);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    ASSERT_EQ(ItemText(h, IDC_OUTPUT_PATH), wma);
    ASSERT_TRUE(Enabled(h, IDC_CONVERT));
    Click(h, IDC_CONVERT);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    EXPECT_EQ(g_pPlayer->m_state, Playing);
    EXPECT_FALSE(Enabled(h, IDC_OPEN)) << "no other song during a run";
    // The run ends by itself when the song has played, tail included.
    bool ended = PumpUntil(
        [&] {
          statuses.insert(ItemText(h, IDC_STATUS));
          return ItemText(h, IDC_STATUS) == "Status : Ready";
        },
        static_cast<int>((length + 30) * 1000));
    EXPECT_TRUE(ended) << ItemText(h, IDC_STATUS);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(g_pPlayer->m_state, Stopped);
    EXPECT_TRUE(Enabled(h, IDC_OPEN));
    EXPECT_TRUE(Enabled(h, IDC_CONVERT));
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    ExitProgram(dlg);
  });
  // The status line counted the seconds of the run.
  EXPECT_TRUE(statuses.count("Status : Converting - Used Time: 00:00:00"));
  EXPECT_TRUE(statuses.count("Status : Converting - Used Time: 00:00:01"));
  EXPECT_TRUE(statuses.count("Status : Converting - Used Time: 00:00:10"));

  ASSERT_TRUE(fs::exists(wma));
  DecodedAudio recorded, reference;
  std::string error;
  ASSERT_TRUE(DecodeToMono(wma, kRate, &recorded, &error)) << error;
  std::string ref = env_->root + "/reference.wav";
  quavix::test::ProcessResult render =
      quavix::test::RunProcess({"fluidsynth", "-ni", "-F", ref, "-r", "44100", "-g", "0.3",
                                "/usr/share/sounds/sf2/default-GM.sf2", song},
                               120000);
  ASSERT_EQ(render.exit_code, 0) << render.output;
  ASSERT_TRUE(DecodeToMono(ref, kRate, &reference, &error)) << error;

  // The WMA holds the song and the synthesiser's release tail (at most 2 s).
  // On a busy machine the music may start later in the file than in the
  // reference; the run still ends with the song, so its end is judged from
  // where the music starts.
  constexpr float kAudible = 0.00316f;  // -50 dBFS
  const double lateStart = LeadingSilenceSeconds(recorded.mono, kRate, kAudible) -
                           LeadingSilenceSeconds(reference.mono, kRate, kAudible);
  EXPECT_GE(recorded.Seconds(), length - 0.1);
  EXPECT_LE(recorded.Seconds() - std::max(0.0, lateStart), length + 2.0 + 0.5)
      << "the music starts " << lateStart << " s later than in the reference";
  std::vector<float> excerpt(
      reference.mono.begin(),
      reference.mono.begin() + std::min<size_t>(reference.mono.size(), length * kRate));
  const size_t fine = kRate / 200;
  long lag = BestLag(RmsEnvelope(excerpt, fine), RmsEnvelope(recorded.mono, fine), 400) *
             static_cast<long>(fine);
  std::vector<float> aligned(excerpt.size(), 0.0f);
  for (size_t i = 0; i < aligned.size(); ++i) {
    long j = static_cast<long>(i) + lag;
    if (j >= 0 && j < static_cast<long>(recorded.mono.size())) aligned[i] = recorded.mono[j];
  }
  double correlation = Pearson(RmsEnvelope(excerpt, kRate / 20), RmsEnvelope(aligned, kRate / 20));
  EXPECT_GE(correlation, 0.9) << "lag " << lag * 1000.0 / kRate << " ms";
}

// After a run the player cues its song at the start; converting the song
// again a while later must not open with the time it stood cued.
TEST_F(ConversionTest, ASongConvertedAgainLaterStartsAtOnce) {
  gst_init(nullptr, nullptr);
  constexpr int kCuedMs = 3000;
  std::string song = env_->root + "/three notes.mid";
  WriteWholeFile(song,
                 MakeType1Song(480, {{0, 500000}}, {{0, 480, 60}, {480, 480, 64}, {960, 480, 67}}));
  std::string wma = music_ + "three notes.wma";
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, song);
    auto convertToTheEnd = [&] {
      Click(h, IDC_CONVERT);
      ASSERT_EQ(dlg.m_bConverting, 1);
      ASSERT_TRUE(PumpUntil([&] { return dlg.m_bConverting == 0; }, 30000))
          << ItemText(h, IDC_STATUS);
    };
    ASSERT_NO_FATAL_FAILURE(convertToTheEnd());
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    ASSERT_EQ(g_pPlayer->m_state, Stopped);
    PumpFor(kCuedMs);
    ASSERT_NO_FATAL_FAILURE(convertToTheEnd());
    // The first run's file was there: asked, and replaced.
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("already exists"), std::string::npos) << boxes_[0].text;
    ExitProgram(dlg);
  });
  DecodedAudio recorded;
  std::string error;
  ASSERT_TRUE(DecodeToMono(wma, kRate, &recorded, &error)) << error;
  const double onset = LeadingSilenceSeconds(recorded.mono, kRate, 0.00316f);
  ASSERT_LT(onset, recorded.Seconds()) << "the second run recorded no music";
  // Half of the time it stood cued: far above a busy machine's start, far
  // below the wait.
  EXPECT_LT(onset, kCuedMs / 2000.0) << "the music starts " << onset << " s into the file";
}

}  // namespace
