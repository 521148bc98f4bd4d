// The private daemon starts with exactly the outputs asked for, reaches the
// test process through PULSE_SERVER, survives unload/reload and leaves
// nothing behind.
#include "tests/support/private_pulse.h"

#include <signal.h>
#include <stdlib.h>

#include <filesystem>

namespace quavix::test {
namespace {

class SmokeTest : public PrivatePulseTest {};

TEST_F(SmokeTest, ListsItsOwnNullOutputsOnly) {
  auto sinks = pulse_.Pactl({"list", "short", "sinks"});
  ASSERT_EQ(sinks.exit_code, 0);
  EXPECT_NE(sinks.output.find("quavix_a"), std::string::npos) << sinks.output;
  EXPECT_NE(sinks.output.find("quavix_b"), std::string::npos) << sinks.output;
  // Two lines: no auto-loaded or always-present sink besides ours.
  EXPECT_EQ(std::count(sinks.output.begin(), sinks.output.end(), '\n'), 2) << sinks.output;

  auto info = pulse_.Pactl({"info"});
  EXPECT_NE(info.output.find("Default Sink: quavix_a"), std::string::npos) << info.output;

  const char *server = getenv("PULSE_SERVER");
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(std::string(server), pulse_.server());
  // A client that relies on the environment alone reaches the same daemon.
  auto env_only = RunProcess({"pactl", "list", "short", "sinks"});
  EXPECT_EQ(env_only.output, sinks.output);
}

TEST_F(SmokeTest, DescriptionsWithQuotesAndSpacesSurvive) {
  if (pulse_.is_pipewire()) {
    ASSERT_GE(pulse_.LoadNullSink({"odd1", "Big Out (2) & more"}), 0);
    auto r = pulse_.Pactl({"list", "sinks"});
    EXPECT_NE(r.output.find("Description: Big Out (2) & more\n"), std::string::npos) << r.output;
    // pipewire-pulse would show the escapes: refused instead.
    EXPECT_EQ(pulse_.LoadNullSink({"odd2", "The \"Big\" Out"}), -1);
    EXPECT_EQ(pulse_.LoadNullSink({"odd3", "Bob's Out"}), -1);
    EXPECT_EQ(pulse_.LoadNullSink({"bad name", "Bad"}), -1);
    return;
  }
  ASSERT_GE(pulse_.LoadNullSink({"odd1", "Bob's Big Out"}), 0);
  ASSERT_GE(pulse_.LoadNullSink({"odd2", "The \"Big\" Out"}), 0);
  auto r = pulse_.Pactl({"list", "sinks"});
  EXPECT_NE(r.output.find("Description: Bob's Big Out\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Description: The \"Big\" Out\n"), std::string::npos) << r.output;
  ASSERT_GE(pulse_.LoadNullSink({"odd3", "Bob's \"Big\" \\Out\\"}), 0);
  r = pulse_.Pactl({"list", "sinks"});
  EXPECT_NE(r.output.find("Description: Bob's \"Big\" \\Out\\\n"), std::string::npos) << r.output;
  // A name that would need quoting is refused rather than mangled.
  EXPECT_EQ(pulse_.LoadNullSink({"bad name", "Bad"}), -1);
}

TEST_F(SmokeTest, UnloadAndReloadMakeTheOutputDisappearAndReturn) {
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  EXPECT_EQ(pulse_.Pactl({"list", "short", "sinks"}).output.find("quavix_b"), std::string::npos);
  EXPECT_FALSE(pulse_.UnloadNullSink("quavix_b"));
  ASSERT_GE(pulse_.LoadNullSink({"quavix_b", "Test Output B"}), 0);
  EXPECT_NE(pulse_.Pactl({"list", "short", "sinks"}).output.find("quavix_b"), std::string::npos);
}

TEST_F(SmokeTest, ToneReachesTheMonitorAndVolumeIsReadable) {
  auto tone = pulse_.PlayTone("quavix_a", 440.0);
  ASSERT_NE(tone, nullptr);
  // The sink turns RUNNING once the player's stream is connected.
  bool running = false;
  for (int i = 0; i < 100 && !running; ++i) {
    running = pulse_.Pactl({"list", "short", "sinks"}).output.find("RUNNING") != std::string::npos;
    if (!running) usleep(50000);
  }
  EXPECT_TRUE(running);
  EXPECT_TRUE(tone->running());
  tone->Stop();

  ASSERT_EQ(pulse_.Pactl({"set-source-volume", "quavix_a.monitor", "25%"}).exit_code, 0);
  auto v = pulse_.SourceVolumePercent("quavix_a.monitor");
  ASSERT_TRUE(v.has_value());
  EXPECT_NEAR(*v, 25.0, 0.01);
}

TEST_F(SmokeTest, ANullInputIsAnInputOfNoCardAndTheDefaultOutputCanMove) {
  ASSERT_GE(pulse_.LoadNullSource({"quavix_mic", "Test Microphone"}), 0);
  auto r = pulse_.Pactl({"list", "sources"});
  const auto at = r.output.find("Name: quavix_mic\n");
  ASSERT_NE(at, std::string::npos) << r.output;
  const auto monitor_of = r.output.find("Monitor of Sink: ", at);
  ASSERT_NE(monitor_of, std::string::npos);
  EXPECT_EQ(r.output.compare(monitor_of, 20, "Monitor of Sink: n/a"), 0) << r.output;
  EXPECT_EQ(r.output.find("Name: quavix_mic.monitor"), std::string::npos) << "no output made";

  ASSERT_TRUE(pulse_.SetDefaultSink("quavix_b"));
  EXPECT_EQ(pulse_.DefaultSink(), "quavix_b");
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_mic"));
  EXPECT_EQ(pulse_.Pactl({"list", "short", "sources"}).output.find("quavix_mic"),
            std::string::npos);
}

TEST(PrivatePulseLifecycle, StopEndsTheDaemonRestoresTheEnvironmentAndRemovesTheFolder) {
  setenv("PULSE_SERVER", "unix:/nonexistent/before", 1);
  std::string folder;
  {
    PrivatePulse pulse;
    std::string error;
    ASSERT_TRUE(pulse.Start({{"one", "One"}}, &error)) << error;
    folder = pulse.folder();
    EXPECT_TRUE(std::filesystem::exists(folder + "/native"));
    EXPECT_EQ(std::string(getenv("PULSE_SERVER")), pulse.server());
  }  // destructor stops it, as it does when an assertion returns early
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(std::string(getenv("PULSE_SERVER")), "unix:/nonexistent/before");
  unsetenv("PULSE_SERVER");
}

TEST(UnreachablePulseTest, ClientsFindNoServerAndTheEnvironmentComesBack) {
  setenv("PULSE_SERVER", "unix:/nonexistent/before", 1);
  {
    UnreachablePulse none;
    ASSERT_TRUE(none.ok());
    EXPECT_NE(std::string(getenv("PULSE_SERVER")), "unix:/nonexistent/before");
    EXPECT_NE(RunProcess({"pactl", "info"}).exit_code, 0);
  }
  {
    UnreachablePulse silent(UnreachablePulse::kSilent);
    ASSERT_TRUE(silent.ok());
    // pactl has no time limit of its own: it is still waiting when killed.
    auto r = RunProcess({"pactl", "info"}, 1000);
    EXPECT_TRUE(r.timed_out);
  }
  EXPECT_EQ(std::string(getenv("PULSE_SERVER")), "unix:/nonexistent/before");
  unsetenv("PULSE_SERVER");
}

TEST(RunProcessTest, ReportsOutputExitCodeAndTimeout) {
  auto ok = RunProcess({"sh", "-c", "echo hi; exit 3"});
  EXPECT_EQ(ok.output, "hi\n");
  EXPECT_EQ(ok.exit_code, 3);
  auto slow = RunProcess({"sleep", "30"}, 200);
  EXPECT_TRUE(slow.timed_out);
  auto missing = RunProcess({"/nonexistent/program"});
  EXPECT_EQ(missing.exit_code, 127);
}

}  // namespace
}  // namespace quavix::test
