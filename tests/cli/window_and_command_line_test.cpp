// The window's conversion (recording the sound server's loop-back in real
// time) and `vorlinta --convert` (rendering offline) of the same song sound
// the same: the main window headless on a private sound server, then the
// program binary, both WMA files decoded and compared.
#include "bench/audio_analysis.h"
#include "bench/gst_decode.h"
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"

#include <gst/gst.h>

#include <filesystem>
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

class WindowAndCommandLineTest : public MainWindowFixture {};

TEST_F(WindowAndCommandLineTest, BothConversionsOfASongSoundTheSame) {
  gst_init(nullptr, nullptr);
  const std::string song = env_->root + "/FrereJacques.mid";
  fs::copy_file(std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid", song);
  const std::string recorded = music_ + "FrereJacques.wma";

  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, song);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    Click(h, IDC_CONVERT);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    EXPECT_TRUE(PumpUntil([&] { return ItemText(h, IDC_STATUS) == "Status : Ready"; }, 120000));
    ExitProgram(dlg);
  });
  ASSERT_TRUE(fs::exists(recorded));

  const std::string rendered = env_->root + "/offline.wma";
  quavix::test::ProcessResult run = quavix::test::RunProcess(
      {std::string(QUAVIX_BINARY_DIR) + "/vorlinta", "--convert", "-q", "-o", rendered, song},
      300000, true);
  ASSERT_EQ(run.exit_code, 0) << run.output;

  DecodedAudio window, offline;
  std::string error;
  ASSERT_TRUE(DecodeToMono(recorded, kRate, &window, &error)) << error;
  ASSERT_TRUE(DecodeToMono(rendered, kRate, &offline, &error)) << error;
  // The recording starts a little after the song (the sound server's
  // latency; on a busy machine over half a second, where a narrower search
  // aligned at its bound and judged the music wrong); align by the loudness
  // envelopes, within 3 s.
  const std::size_t step = kRate / 100;
  const long lag = BestLag(RmsEnvelope(offline.mono, step), RmsEnvelope(window.mono, step), 300) *
                   static_cast<long>(step);
  std::vector<float> aligned(offline.mono.size(), 0.0f);
  for (std::size_t i = 0; i < aligned.size(); ++i) {
    const long j = static_cast<long>(i) + lag;
    if (j >= 0 && j < static_cast<long>(window.mono.size())) aligned[i] = window.mono[j];
  }
  const double r = Pearson(RmsEnvelope(offline.mono, kRate / 20), RmsEnvelope(aligned, kRate / 20));
  EXPECT_GE(r, 0.98) << "lag " << lag * 1000.0 / kRate << " ms";
  EXPECT_NEAR(window.Seconds(), offline.Seconds(), 1.0);
}

}  // namespace
