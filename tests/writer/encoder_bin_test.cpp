#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/writer/gst_helpers.h"
#include "writer/encoder_bin.h"
#include "tests/support/process_counts.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace writer_test;
using quavix::writer::AttachOutputFile;
using quavix::writer::CreateEncoderBin;

namespace {

// This program's environment, marked so that it runs as the encoding child
// (encode_child.cpp) instead of its tests.
gchar **ChildEnvironment() {
  return g_environ_setenv(g_get_environ(), "QUAVIX_TEST_CHILD", "1", TRUE);
}

class EncoderBin : public testing::Test {
 protected:
  std::string Path(const char *name) const { return dir_.File(name); }

  // Runs `source` through a new bin that was given `wma`.
  RunOutcome Encode(const std::string &source, const std::string &wma,
                    const std::string &sink = "fakesink", int *attachError = nullptr) {
    GstElement *bin = CreateEncoderBin("wav-dest");
    const int err = AttachOutputFile(bin, wma.c_str());
    if (attachError) *attachError = err;
    GstElement *pipeline = MakePipeline(source, bin, sink);
    RunOutcome out = RunToEnd(pipeline);
    gst_object_unref(pipeline);
    return out;
  }

  quavix::test::TempDir dir_{"writer"};
};

std::uint64_t Le(const std::string &s, std::size_t at, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = n; i > 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i - 1]);
  return v;
}

TEST_F(EncoderBin, WritesWindowsMediaAudio2InAsfThatDecodesToTheTone) {
  const std::string wma = Path("tone.wma");
  ASSERT_TRUE(Encode(ToneSource(1000, 3), wma).eos);

  GstDiscoverer *disc = gst_discoverer_new(30 * GST_SECOND, nullptr);
  gchar *uri = gst_filename_to_uri(wma.c_str(), nullptr);
  GstDiscovererInfo *info = gst_discoverer_discover_uri(disc, uri, nullptr);
  g_free(uri);
  ASSERT_EQ(gst_discoverer_info_get_result(info), GST_DISCOVERER_OK);
  GList *audio = gst_discoverer_info_get_audio_streams(info);
  ASSERT_EQ(g_list_length(audio), 1u);
  GstCaps *caps = gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(audio->data));
  gchar *capsText = gst_caps_to_string(caps);
  EXPECT_TRUE(g_str_has_prefix(capsText, "audio/x-wma, wmaversion=(int)2")) << capsText;
  const GstStructure *s = gst_caps_get_structure(caps, 0);
  gint rate = 0, channels = 0, bitrate = 0;
  gst_structure_get(s, "rate", G_TYPE_INT, &rate, "channels", G_TYPE_INT, &channels, "bitrate",
                    G_TYPE_INT, &bitrate, nullptr);
  EXPECT_EQ(rate, 44100);
  EXPECT_EQ(channels, 2);
  EXPECT_GE(bitrate, 128000);
  // The duration is in the header, rewritten at the clean end.
  EXPECT_NEAR(gst_discoverer_info_get_duration(info) / 1e9, 3.0, 0.3);
  g_free(capsText);
  gst_caps_unref(caps);
  gst_discoverer_stream_info_list_free(audio);
  gst_discoverer_info_unref(info);
  g_object_unref(disc);

  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(wma, &pcm));
  EXPECT_NEAR(Seconds(pcm), 3.0, 0.3);
  EXPECT_NEAR(LeftFrequency(pcm), 1000.0, 5.0);
  // ffmpeg's demuxer rejects a last packet whose length leaves out its
  // padding (as asfmux writes it) and loses up to 0.3 s.
  std::string errors;
  EXPECT_GE(FfmpegSeconds(wma, &errors), 2.9);
  EXPECT_EQ(errors, "");
}

TEST_F(EncoderBin, CleanEndAddsAnIndexThatSeekingUses) {
  const std::string wma = Path("indexed.wma");
  ASSERT_TRUE(Encode(ToneSource(1000, 3), wma).eos);
  const std::string f = ReadWholeFile(wma);
  const std::size_t header = Le(f, 16, 8);
  const std::size_t props = f.find("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11");  // File Properties
  ASSERT_LT(props, header);
  EXPECT_EQ(Le(f, props + 40, 8), f.size());  // the final size, index included
  const std::size_t dataEnd = header + Le(f, header + 16, 8);
  ASSERT_LT(dataEnd, f.size());
  // The Simple Index Object follows the data and ends the file.
  EXPECT_EQ(f.compare(dataEnd, 8, std::string("\x90\x08\x00\x33\xB1\xE5\xCF\x11", 8)), 0);
  EXPECT_EQ(Le(f, dataEnd + 16, 8), f.size() - dataEnd);

  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(wma, &pcm, 2.0));
  EXPECT_NEAR(Seconds(pcm), 1.0, 0.3);
  std::string errors;
  EXPECT_NEAR(FfmpegSeconds(wma, &errors, 2.0), 1.0, 0.3) << errors;
}

TEST_F(EncoderBin, WavOutputIsTheInputAudioAndOtherFormatsAreConverted) {
  const std::string source = ToneSource(440, 2);
  ASSERT_TRUE(Encode(source, Path("a.wma"), "filesink location=" + Path("out.wav")).eos);
  GstElement *direct = gst_parse_launch(
      (source + " ! wavenc ! filesink location=" + Path("direct.wav")).c_str(), nullptr);
  ASSERT_TRUE(RunToEnd(direct).eos);
  gst_object_unref(direct);
  const std::string wav = ReadWholeFile(Path("out.wav"));
  EXPECT_GT(wav.size(), 2u * 44100 * 4);
  EXPECT_TRUE(wav == ReadWholeFile(Path("direct.wav")));

  // 48 kHz mono float capture still makes a 44.1 kHz stereo WMA of the tone.
  ASSERT_TRUE(Encode("audiotestsrc freq=440 samplesperbuffer=480 num-buffers=200 ! "
                     "capsfilter caps=\"audio/x-raw,format=F32LE,rate=48000,channels=1\"",
                     Path("b.wma"))
                  .eos);
  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(Path("b.wma"), &pcm));
  EXPECT_NEAR(Seconds(pcm), 2.0, 0.3);
  EXPECT_NEAR(LeftFrequency(pcm), 440.0, 5.0);
}

TEST_F(EncoderBin, KilledRunLeavesAFileThatPlaysUpToTheKill) {
  const std::string wma = Path("killed.wma"), exe = fs::read_symlink("/proc/self/exe");
  const char *argv[] = {exe.c_str(), "--encode-child", "live", wma.c_str(), nullptr};
  GPid pid = 0;
  gint outFd = -1;
  gchar **env = ChildEnvironment();
  const bool spawned =
      g_spawn_async_with_pipes(nullptr, const_cast<gchar **>(argv), env, G_SPAWN_DO_NOT_REAP_CHILD,
                               nullptr, nullptr, &pid, nullptr, &outFd, nullptr, nullptr);
  g_strfreev(env);
  ASSERT_TRUE(spawned);
  char line[16] = {};
  const bool started = read(outFd, line, 8) == 8 && std::string(line, 7) == "PLAYING";
  close(outFd);
  if (started) std::this_thread::sleep_for(std::chrono::seconds(3));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(started);

  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(wma, &pcm));
  EXPECT_GE(Seconds(pcm), 2.0);
  EXPECT_NEAR(LeftFrequency(pcm), 1000.0, 5.0);
  std::string errors;
  EXPECT_GE(FfmpegSeconds(wma, &errors), 2.0) << errors;
}

TEST_F(EncoderBin, WriteFailureMidRunIsAnErrorOfTheFileSink) {
  const std::string exe = fs::read_symlink("/proc/self/exe"), wma = Path("full.wma");
  const char *argv[] = {exe.c_str(), "--encode-child", "fsize", wma.c_str(), nullptr};
  gchar *out = nullptr;
  gint status = 0;
  gchar **env = ChildEnvironment();
  const bool ran = g_spawn_sync(nullptr, const_cast<gchar **>(argv), env, G_SPAWN_DEFAULT, nullptr,
                                nullptr, &out, nullptr, &status, nullptr);
  g_strfreev(env);
  ASSERT_TRUE(ran);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << out;
  EXPECT_TRUE(g_str_has_prefix(out, "wma-file|")) << out;
  g_free(out);
}

TEST_F(EncoderBin, RefusesPathsItMustNotWrite) {
  std::ofstream(Path("precious.txt")) << "keep me";
  fs::create_symlink(Path("precious.txt"), Path("link.wma"));
  fs::create_symlink(Path("planted.txt"), Path("dangling.wma"));
  fs::create_directory(Path("folder.wma"));
  ASSERT_EQ(mkfifo(Path("fifo.wma").c_str(), 0600), 0);
  const std::pair<std::string, int> cases[] = {
      {Path("missing/out.wma"), ENOENT},
      {Path("link.wma"), ELOOP},
      {Path("dangling.wma"), ELOOP},
      {Path("folder.wma"), EISDIR},
      {Path("fifo.wma"), EINVAL},  // refused, and without blocking on the open
      {"", ENOENT}};
  for (const auto &[path, expected] : cases) {
    int err = 0;
    const RunOutcome out = Encode(ToneSource(440, 0.5), path, "fakesink", &err);
    EXPECT_EQ(err, expected) << path;
    EXPECT_FALSE(out.eos) << path;  // the run fails instead of claiming a file
    EXPECT_EQ(out.errorSource, "wma-file") << path;
  }
  EXPECT_EQ(ReadWholeFile(Path("precious.txt")), "keep me");
  EXPECT_FALSE(fs::exists(Path("planted.txt")));
  EXPECT_FALSE(fs::exists(Path("missing")));
  if (geteuid() != 0) {  // root writes into read-only folders
    fs::create_directory(Path("ro"));
    fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    auto *bin = GST_ELEMENT(gst_object_ref_sink(CreateEncoderBin("wav-dest")));
    EXPECT_EQ(AttachOutputFile(bin, Path("ro/out.wma").c_str()), EACCES);
    gst_object_unref(bin);
    fs::permissions(Path("ro"), fs::perms::owner_all);
  }
}

TEST_F(EncoderBin, HoldsOneDescriptorAndClosesItWithTheBin) {
  const auto before = quavix::test::OpenDescriptors();
  GstElement *bin = GST_ELEMENT(gst_object_ref_sink(CreateEncoderBin("wav-dest")));
  ASSERT_EQ(AttachOutputFile(bin, Path("a.wma").c_str()), 0);
  ASSERT_EQ(AttachOutputFile(bin, Path("b.wma").c_str()), 0);
  EXPECT_EQ(quavix::test::OpenDescriptors(), before + 1);
  gst_object_unref(bin);
  EXPECT_EQ(quavix::test::OpenDescriptors(), before);
}

TEST_F(EncoderBin, AStreamStoppedBeforeItsEndIsFinishedFromWhatWasWritten) {
  // What a graph does when the end of stream takes longer than its bound:
  // it brings the elements down without the end ever reaching the muxer.
  const std::string wma = Path("cut.wma");
  GstElement *bin = GST_ELEMENT(gst_object_ref_sink(CreateEncoderBin("wav-dest")));
  ASSERT_EQ(AttachOutputFile(bin, wma.c_str()), 0);
  GstElement *pipeline = MakePipeline(ToneSource(1000, 0, true), bin, "fakesink");
  ASSERT_NE(pipeline, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  // At least three seconds written, however slowly the machine runs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::error_code ec;
  while (std::chrono::steady_clock::now() < deadline &&
         fs::file_size(wma, ec) < 400 + 11 * quavix::writer::kAsfPacketSize)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  gst_element_set_state(pipeline, GST_STATE_NULL);
  const std::string cut = ReadWholeFile(wma);
  quavix::writer::DetachOutputFile(bin);
  gst_object_unref(pipeline);
  gst_object_unref(bin);
  ASSERT_GE(cut.size(), 400 + 11 * quavix::writer::kAsfPacketSize);

  const std::string f = ReadWholeFile(wma);
  const std::size_t header = Le(f, 16, 8);
  const std::size_t props = f.find("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11");
  ASSERT_LT(props, header);
  EXPECT_EQ(Le(f, props + 88, 4) & 3, 2u) << "seekable, no longer broadcast";
  EXPECT_EQ(Le(f, props + 40, 8), f.size());
  const std::uint64_t packets = Le(f, props + 56, 8);
  EXPECT_EQ(packets, (cut.size() - header - 50) / quavix::writer::kAsfPacketSize);
  EXPECT_EQ(Le(f, header + 40, 8), packets);
  const std::size_t dataEnd = header + Le(f, header + 16, 8);
  ASSERT_LT(dataEnd, f.size());
  EXPECT_EQ(f.compare(dataEnd, 8, std::string("\x90\x08\x00\x33\xB1\xE5\xCF\x11", 8)), 0);
  // The duration the header gives is the audio's, within a frame or two.
  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(wma, &pcm));
  const double preroll = static_cast<double>(Le(f, props + 80, 8)) / 1000;
  const double play = static_cast<double>(Le(f, props + 64, 8)) / 1e7 - preroll;
  EXPECT_NEAR(play, Seconds(pcm), 0.15);
  EXPECT_GE(Seconds(pcm), 3.0);
  EXPECT_NEAR(LeftFrequency(pcm), 1000.0, 5.0);
  // Seeking goes through the index, in both demuxers.
  ASSERT_TRUE(DecodeFile(wma, &pcm, 1.0));
  EXPECT_NEAR(Seconds(pcm), play - 1.0, 0.3);
  std::string errors;
  EXPECT_NEAR(FfmpegSeconds(wma, &errors, 1.0), play - 1.0, 0.3) << errors;
}

TEST_F(EncoderBin, AFileThatEndedCleanlyIsLeftAsItIs) {
  const std::string wma = Path("clean.wma");
  GstElement *bin = GST_ELEMENT(gst_object_ref_sink(CreateEncoderBin("wav-dest")));
  ASSERT_EQ(AttachOutputFile(bin, wma.c_str()), 0);
  GstElement *pipeline = MakePipeline(ToneSource(1000, 2), bin, "fakesink");
  ASSERT_TRUE(RunToEnd(pipeline).eos);
  const std::string before = ReadWholeFile(wma);
  quavix::writer::DetachOutputFile(bin);
  gst_object_unref(pipeline);
  gst_object_unref(bin);
  EXPECT_TRUE(ReadWholeFile(wma) == before);
}

}  // namespace
