// The first run on a machine without a sound server: `make run`'s launcher
// starts a private one with a virtual output, the program converts the
// sample song through its window, and the WMA holds the song.
#include "bench/audio_analysis.h"
#include "bench/gst_decode.h"
#include "tests/support/private_home.h"
#include "tests/support/private_pulse.h"

#include <gtest/gtest.h>
#include <gst/gst.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using quavix::test::RunProcess;

namespace {

class FirstRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.MakeMusicFolder();
    // No sound server is reachable from this environment, and no client may
    // start one by itself: the launcher's is the only one there will be.
    const std::string clientConf = env_.root + "/client.conf";
    std::ofstream(clientConf) << "autospawn = no\n";
    env_.Set("PULSE_CLIENTCONFIG", clientConf);
    env_.Unset("PULSE_SERVER");
    env_.Unset("PULSE_COOKIE");
  }

  quavix::test::PrivateHome env_;
};

TEST_F(FirstRunTest, LauncherStartsASoundServerAndTheSampleConverts) {
  ASSERT_NE(RunProcess({"pactl", "info"}, 10000).exit_code, 0)
      << "a sound server answers in the test environment";

  const std::string song = std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid";
  auto run = RunProcess(
      {std::string(QUAVIX_SOURCE_DIR) + "/scripts/run-program.sh", FIRST_RUN_DRIVER, song, "60"},
      180000, true);
  ASSERT_FALSE(run.timed_out) << run.output;
  EXPECT_NE(run.output.find("No sound server was running: started a private one"),
            std::string::npos)
      << run.output;
  ASSERT_EQ(run.exit_code, 0) << run.output;

  // The WMA lands in the music folder under the song's name.
  const std::string wma = env_.home + "/Music/FrereJacques.wma";
  EXPECT_NE(run.output.find("output: " + wma), std::string::npos) << run.output;
  ASSERT_TRUE(fs::exists(wma)) << run.output;
  gst_init(nullptr, nullptr);
  quavix::bench::DecodedAudio audio;
  std::string error;
  ASSERT_TRUE(quavix::bench::DecodeToMono(wma, 22050, &audio, &error)) << error;
  // The sample lasts 16.8 s and opens with its first note; the
  // synthesiser's release tail adds at most 2 s. On a busy machine the music
  // may start later in the file, and the run still ends with the song, so
  // the end is judged from where the music starts.
  const double lateStart = quavix::bench::LeadingSilenceSeconds(audio.mono, 22050, 0.00316f);
  EXPECT_GE(audio.Seconds(), 16.5);
  EXPECT_LE(audio.Seconds() - lateStart, 16.8 + 2.5)
      << "the music starts " << lateStart << " s into the file";
  double energy = 0;
  for (float s : audio.mono) energy += static_cast<double>(s) * s;
  EXPECT_GT(energy / audio.mono.size(), 1e-5) << "the recording is silent";

  // The launcher stopped its sound server and removed its folder.
  EXPECT_NE(RunProcess({"pactl", "info"}, 10000).exit_code, 0);
  for (const auto &entry : fs::directory_iterator(env_.runtime))
    EXPECT_EQ(entry.path().filename().string().rfind("quavix-pulse.", 0), std::string::npos)
        << entry.path();
}

}  // namespace
