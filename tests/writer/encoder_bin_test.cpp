#include <fcntl.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/writer/gst_helpers.h"
#include "writer/encoder_bin.h"

namespace fs = std::filesystem;
using namespace writer_test;
using quavix::writer::AttachOutputFile;
using quavix::writer::CreateEncoderBin;

namespace {

class EncoderBin : public testing::Test {
 protected:
  void SetUp() override {
    gchar* d = g_dir_make_tmp("writer-XXXXXX", nullptr);
    ASSERT_NE(d, nullptr);
    dir_ = d;
    g_free(d);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }

  // Encodes `source` into `wma` (and the WAV output into `wav` if given).
  RunOutcome Encode(const std::string& source, const std::string& wma, const std::string& wav) {
    GstElement* bin = CreateEncoderBin("wav-dest");
    EXPECT_NE(bin, nullptr);
    if (!bin) return {};
    EXPECT_EQ(AttachOutputFile(bin, wma.c_str()), 0);
    const std::string sink = wav.empty() ? "fakesink" : "filesink location=" + wav;
    GstElement* pipeline = MakePipeline(source, bin, sink);
    EXPECT_NE(pipeline, nullptr);
    if (!pipeline) return {};
    RunOutcome out = RunToEnd(pipeline);
    gst_object_unref(pipeline);
    return out;
  }

  std::string dir_;
};

struct ChildResult {
  int exitCode = -1;
  std::string output;
};

std::string SelfExe() { return fs::read_symlink("/proc/self/exe").string(); }

ChildResult RunChild(const char* mode, const std::string& path) {
  const std::string exe = SelfExe();
  gchar* argv[] = {const_cast<gchar*>(exe.c_str()), const_cast<gchar*>("--encode-child"),
                   const_cast<gchar*>(mode), const_cast<gchar*>(path.c_str()), nullptr};
  ChildResult r;
  gchar* out = nullptr;
  gint status = 0;
  if (g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, nullptr,
                   &status, nullptr)) {
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    r.output = out ? out : "";
  }
  g_free(out);
  return r;
}

// Decodes with the ffmpeg program, independently of GStreamer's demuxer.
bool FfmpegDecode(const std::string& path, std::size_t* bytes, std::string* errors) {
  gchar* argv[] = {const_cast<gchar*>("ffmpeg"), const_cast<gchar*>("-nostdin"),
                   const_cast<gchar*>("-v"),     const_cast<gchar*>("error"),
                   const_cast<gchar*>("-i"),     const_cast<gchar*>(path.c_str()),
                   const_cast<gchar*>("-f"),     const_cast<gchar*>("s16le"),
                   const_cast<gchar*>("-ac"),    const_cast<gchar*>("2"),
                   const_cast<gchar*>("-ar"),    const_cast<gchar*>("44100"),
                   const_cast<gchar*>("-"),      nullptr};
  gint status = 0;
  GError* spawnErr = nullptr;
  // The decoded audio is counted as it streams in rather than held.
  gint outFd = -1, errFd = -1;
  GPid pid = 0;
  if (!g_spawn_async_with_pipes(nullptr, argv, nullptr,
                                static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH |
                                                         G_SPAWN_DO_NOT_REAP_CHILD),
                                nullptr, nullptr, &pid, nullptr, &outFd, &errFd, &spawnErr)) {
    if (spawnErr) g_error_free(spawnErr);
    return false;
  }
  std::string errText;
  std::thread errReader([&] {
    char buf[4096];
    ssize_t n;
    while ((n = read(errFd, buf, sizeof buf)) > 0) errText.append(buf, static_cast<size_t>(n));
  });
  std::size_t total = 0;
  char buf[65536];
  ssize_t n;
  while ((n = read(outFd, buf, sizeof buf)) > 0) total += static_cast<std::size_t>(n);
  errReader.join();
  close(outFd);
  close(errFd);
  waitpid(pid, &status, 0);
  g_spawn_close_pid(pid);
  *bytes = total;
  *errors = errText;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HaveFfmpeg() {
  gchar* p = g_find_program_in_path("ffmpeg");
  const bool have = p != nullptr;
  g_free(p);
  return have;
}

int CountOpenFds() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST_F(EncoderBin, WritesWindowsMediaAudio2InAsfThatDecodesToTheTone) {
  const std::string wma = Path("tone.wma");
  const RunOutcome out = Encode(ToneSource(1000, 3), wma, Path("tone.wav"));
  ASSERT_TRUE(out.eos) << out.error;

  // What the file is, as GStreamer's discoverer reads it from the header.
  GstDiscoverer* disc = gst_discoverer_new(30 * GST_SECOND, nullptr);
  ASSERT_NE(disc, nullptr);
  gchar* uri = gst_filename_to_uri(wma.c_str(), nullptr);
  GstDiscovererInfo* info = gst_discoverer_discover_uri(disc, uri, nullptr);
  g_free(uri);
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(gst_discoverer_info_get_result(info), GST_DISCOVERER_OK);
  GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
  GstCaps* containerCaps = gst_discoverer_stream_info_get_caps(top);
  EXPECT_STREQ(gst_structure_get_name(gst_caps_get_structure(containerCaps, 0)),
               "video/x-ms-asf");
  gst_caps_unref(containerCaps);
  gst_discoverer_stream_info_unref(top);
  GList* audio = gst_discoverer_info_get_audio_streams(info);
  ASSERT_EQ(g_list_length(audio), 1u);
  auto* a = static_cast<GstDiscovererAudioInfo*>(audio->data);
  EXPECT_EQ(gst_discoverer_audio_info_get_sample_rate(a), 44100u);
  EXPECT_EQ(gst_discoverer_audio_info_get_channels(a), 2u);
  GstCaps* caps = gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(a));
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  EXPECT_STREQ(gst_structure_get_name(s), "audio/x-wma");
  gint version = 0, bitrate = 0;
  EXPECT_TRUE(gst_structure_get_int(s, "wmaversion", &version));
  EXPECT_EQ(version, 2);
  EXPECT_TRUE(gst_structure_get_int(s, "bitrate", &bitrate));
  EXPECT_GE(bitrate, 128000);
  gst_caps_unref(caps);
  // The clean stop wrote the duration into the header.
  const double headerSeconds =
      static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
  EXPECT_NEAR(headerSeconds, 3.0, 0.3);
  gst_discoverer_stream_info_list_free(audio);
  gst_discoverer_info_unref(info);
  g_object_unref(disc);

  std::vector<std::int16_t> pcm;
  std::string err;
  ASSERT_TRUE(DecodeFile(wma, &pcm, &err)) << err;
  EXPECT_NEAR(StereoSeconds(pcm), 3.0, 0.3);
  EXPECT_NEAR(LeftFrequency(pcm), 1000.0, 5.0);
}

TEST_F(EncoderBin, WavOutputCarriesExactlyTheInputAudio) {
  const std::string source = ToneSource(440, 3);
  const std::string wav = Path("out.wav");
  const RunOutcome out = Encode(source, Path("out.wma"), wav);
  ASSERT_TRUE(out.eos) << out.error;

  const std::vector<std::int16_t> reference = CollectRaw(source);
  ASSERT_EQ(reference.size(), 3u * 44100u * 2u);
  const std::string file = ReadWholeFile(wav);
  ASSERT_GE(file.size(), 44u);
  EXPECT_EQ(file.compare(0, 4, "RIFF"), 0);
  EXPECT_EQ(file.compare(8, 4, "WAVE"), 0);
  // Find the data chunk; its size field must have been rewritten at the end.
  std::size_t pos = 12;
  std::uint32_t dataSize = 0;
  while (pos + 8 <= file.size()) {
    std::uint32_t chunk;
    std::memcpy(&chunk, file.data() + pos + 4, 4);
    if (file.compare(pos, 4, "data") == 0) {
      dataSize = chunk;
      pos += 8;
      break;
    }
    pos += 8 + chunk;
  }
  ASSERT_EQ(dataSize, reference.size() * sizeof(std::int16_t));
  ASSERT_GE(file.size(), pos + dataSize);
  std::uint32_t riffSize;
  std::memcpy(&riffSize, file.data() + 4, 4);
  EXPECT_EQ(riffSize, file.size() - 8);
  EXPECT_EQ(std::memcmp(file.data() + pos, reference.data(), dataSize), 0);
}

TEST_F(EncoderBin, AcceptsOtherCaptureFormats) {
  const std::string wma = Path("mono48k.wma");
  const RunOutcome out = Encode(
      "audiotestsrc wave=sine freq=440 volume=0.5 samplesperbuffer=480 num-buffers=200 ! "
      "capsfilter caps=\"audio/x-raw,format=F32LE,rate=48000,channels=1\"",
      wma, "");
  ASSERT_TRUE(out.eos) << out.error;
  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(wma, &pcm));
  EXPECT_NEAR(StereoSeconds(pcm), 2.0, 0.3);
  EXPECT_NEAR(LeftFrequency(pcm), 440.0, 5.0);
}

TEST_F(EncoderBin, OtherDecodersReadTheLastPacketOfACleanStop) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string wma = Path("end.wma");
  ASSERT_TRUE(Encode(ToneSource(1000, 3), wma, "").eos);
  std::size_t bytes = 0;
  std::string errors;
  ASSERT_TRUE(FfmpegDecode(wma, &bytes, &errors)) << errors;
  EXPECT_EQ(errors, "");
  EXPECT_GE(static_cast<double>(bytes) / (4.0 * 44100), 2.9);
}

std::uint64_t Le(const std::string& s, std::size_t at, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = n; i > 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i - 1]);
  return v;
}

TEST_F(EncoderBin, CleanStopLeavesAnIndexAndTheFinalSizeInTheHeader) {
  const std::string wma = Path("indexed.wma");
  ASSERT_TRUE(Encode(ToneSource(1000, 3), wma, "").eos);
  const std::string f = ReadWholeFile(wma);
  ASSERT_GT(f.size(), 200u);
  const std::uint64_t headerSize = Le(f, 16, 8);
  const std::size_t props = f.find(std::string("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11", 8));
  ASSERT_NE(props, std::string::npos);
  ASSERT_LT(props, headerSize);
  EXPECT_EQ(Le(f, props + 40, 8), f.size());          // file size
  EXPECT_EQ(Le(f, props + 88, 4) & 1, 0u);             // no longer a broadcast header
  const std::uint64_t preroll = Le(f, props + 80, 8);  // ms
  const std::uint64_t packetSize = Le(f, props + 92, 4);
  const std::uint64_t dataEnd = headerSize + Le(f, headerSize + 16, 8);
  const std::uint64_t packets = Le(f, headerSize + 40, 8);
  ASSERT_LT(dataEnd, f.size());
  // The Simple Index Object fills the rest of the file.
  EXPECT_EQ(f.compare(dataEnd, 8, std::string("\x90\x08\x00\x33\xB1\xE5\xCF\x11", 8)), 0);
  EXPECT_EQ(Le(f, dataEnd + 16, 8), f.size() - dataEnd);
  EXPECT_EQ(f.compare(dataEnd + 24, 16, f, headerSize + 24, 16), 0);  // same file id
  const std::uint64_t interval = Le(f, dataEnd + 40, 8);
  const std::uint64_t entries = Le(f, dataEnd + 52, 4);
  ASSERT_EQ(interval, 10000000u);
  ASSERT_EQ(f.size(), dataEnd + 56 + 6 * entries);
  EXPECT_GE(entries, (preroll + 3000) / 1000);
  std::uint64_t last = 0;
  for (std::uint64_t i = 0; i < entries; ++i) {
    const std::uint64_t packet = Le(f, dataEnd + 56 + 6 * i, 4);
    ASSERT_LT(packet, packets);
    EXPECT_GE(packet, last);
    last = packet;
    // Never past the time it stands for: the packet's send time (packet
    // header, after the flags and the length and padding fields) is at or
    // before i seconds less the preroll.
    const std::uint64_t at = headerSize + 50 + packet * packetSize;
    const std::uint64_t sendTime = Le(f, at + 6, 4);
    const std::uint64_t target = i * 1000 > preroll ? i * 1000 - preroll : 0;
    EXPECT_LE(sendTime, target) << "entry " << i;
  }

  // Seeking into the file lands where it should, in both demuxers.
  std::vector<std::int16_t> pcm;
  std::string err;
  ASSERT_TRUE(DecodeFile(wma, &pcm, &err, 2.0)) << err;
  EXPECT_NEAR(StereoSeconds(pcm), 1.0, 0.3);
  EXPECT_NEAR(LeftFrequency(std::vector<std::int16_t>(pcm.begin(), pcm.end())), 1000.0, 50.0);
}

TEST_F(EncoderBin, KilledRunLeavesAFileThatPlaysUpToTheKill) {
  const std::string wma = Path("killed.wma");
  const std::string exe = SelfExe();
  gchar* argv[] = {const_cast<gchar*>(exe.c_str()), const_cast<gchar*>("--encode-child"),
                   const_cast<gchar*>("live"), const_cast<gchar*>(wma.c_str()), nullptr};
  GPid pid = 0;
  gint outFd = -1;
  ASSERT_TRUE(g_spawn_async_with_pipes(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                                       nullptr, nullptr, &pid, nullptr, &outFd, nullptr,
                                       nullptr));
  std::string line;
  char c;
  while (read(outFd, &c, 1) == 1 && c != '\n') line += c;
  close(outFd);
  const bool started = line == "PLAYING";
  if (started) std::this_thread::sleep_for(std::chrono::seconds(3));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  g_spawn_close_pid(pid);
  ASSERT_TRUE(started) << line;
  ASSERT_TRUE(WIFSIGNALED(status));

  std::vector<std::int16_t> pcm;
  std::string err;
  ASSERT_TRUE(DecodeFile(wma, &pcm, &err)) << err;
  EXPECT_GE(StereoSeconds(pcm), 2.0);
  EXPECT_NEAR(LeftFrequency(pcm), 1000.0, 5.0);
  if (HaveFfmpeg()) {
    std::size_t bytes = 0;
    std::string errors;
    EXPECT_TRUE(FfmpegDecode(wma, &bytes, &errors)) << errors;
    EXPECT_GE(static_cast<double>(bytes) / (4.0 * 44100), 2.0);
  }
}

TEST_F(EncoderBin, WriteFailureMidRunIsReportedAsAnError) {
  const ChildResult r = RunChild("fsize", Path("full.wma"));
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_EQ(r.output.rfind("wma-file|", 0), 0u) << r.output;
}

TEST_F(EncoderBin, MissingFolderFailsWithoutCreatingAFile) {
  const std::string wma = Path("no-such-folder/out.wma");
  GstElement* bin = CreateEncoderBin("wav-dest");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(AttachOutputFile(bin, wma.c_str()), ENOENT);
  GstElement* pipeline = MakePipeline(ToneSource(440, 1), bin, "fakesink");
  ASSERT_NE(pipeline, nullptr);
  const RunOutcome out = RunToEnd(pipeline);
  gst_object_unref(pipeline);
  EXPECT_FALSE(out.eos);
  EXPECT_NE(out.error, "");
  EXPECT_FALSE(fs::exists(wma));
}

TEST_F(EncoderBin, ReadOnlyFolderFails) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::create_directory(Path("ro"));
  fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  GstElement* bin = CreateEncoderBin("wav-dest");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(AttachOutputFile(bin, Path("ro/out.wma").c_str()), EACCES);
  gst_object_unref(gst_object_ref_sink(bin));
  EXPECT_FALSE(fs::exists(Path("ro/out.wma")));
}

TEST_F(EncoderBin, NeverWritesThroughASymbolicLink) {
  const std::string target = Path("precious.txt");
  std::ofstream(target) << "keep me";
  fs::create_symlink(target, Path("link.wma"));
  fs::create_symlink(Path("planted.txt"), Path("dangling.wma"));
  GstElement* bin = CreateEncoderBin("wav-dest");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(AttachOutputFile(bin, Path("link.wma").c_str()), ELOOP);
  EXPECT_EQ(AttachOutputFile(bin, Path("dangling.wma").c_str()), ELOOP);
  GstElement* pipeline = MakePipeline(ToneSource(440, 1), bin, "fakesink");
  ASSERT_NE(pipeline, nullptr);
  const RunOutcome out = RunToEnd(pipeline);
  gst_object_unref(pipeline);
  EXPECT_FALSE(out.eos);
  EXPECT_EQ(ReadWholeFile(target), "keep me");
  EXPECT_FALSE(fs::exists(Path("planted.txt")));
  EXPECT_NE(quavix::writer::OutputFileErrorText(Path("link.wma").c_str(), ELOOP)
                .find("symbolic link"),
            std::string::npos);
}

TEST_F(EncoderBin, RefusesPathsThatAreNotPlainFiles) {
  fs::create_directory(Path("folder.wma"));
  ASSERT_EQ(mkfifo(Path("pipe.wma").c_str(), 0600), 0);
  GstElement* bin = CreateEncoderBin("wav-dest");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(AttachOutputFile(bin, Path("folder.wma").c_str()), EISDIR);
  // A FIFO without a reader must neither block nor be accepted.
  EXPECT_NE(AttachOutputFile(bin, Path("pipe.wma").c_str()), 0);
  EXPECT_EQ(AttachOutputFile(bin, ""), ENOENT);
  EXPECT_EQ(AttachOutputFile(bin, nullptr), ENOENT);
  gst_object_unref(gst_object_ref_sink(bin));
}

TEST_F(EncoderBin, KeepsOneDescriptorAndClosesItWithTheBin) {
  const int before = CountOpenFds();
  GstElement* bin = CreateEncoderBin("wav-dest");
  ASSERT_NE(bin, nullptr);
  gst_object_ref_sink(bin);
  ASSERT_EQ(AttachOutputFile(bin, Path("a.wma").c_str()), 0);
  ASSERT_EQ(AttachOutputFile(bin, Path("b.wma").c_str()), 0);
  EXPECT_EQ(CountOpenFds(), before + 1);
  gst_object_unref(bin);
  EXPECT_EQ(CountOpenFds(), before);
}

TEST_F(EncoderBin, WithoutAFileTheBinFailsInsteadOfWritingToStdout) {
  GstElement* bin = CreateEncoderBin("wav-dest");
  ASSERT_NE(bin, nullptr);
  GstElement* pipeline = MakePipeline(ToneSource(440, 1), bin, "fakesink");
  ASSERT_NE(pipeline, nullptr);
  const RunOutcome out = RunToEnd(pipeline);
  gst_object_unref(pipeline);
  EXPECT_FALSE(out.eos);
  EXPECT_EQ(out.errorSource, "wma-file");
}

TEST_F(EncoderBin, PostedOpenErrorReachesTheBus) {
  GstElement* pipeline = gst_pipeline_new(nullptr);
  GstElement* bin = CreateEncoderBin("wav-dest");
  ASSERT_NE(bin, nullptr);
  gst_bin_add(GST_BIN(pipeline), bin);
  quavix::writer::PostOutputFileError(bin, "/x/y.wma", ENOENT);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
  ASSERT_NE(msg, nullptr);
  GError* err = nullptr;
  gst_message_parse_error(msg, &err, nullptr);
  EXPECT_TRUE(g_error_matches(err, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_WRITE));
  EXPECT_NE(std::string(err->message).find("/x/y.wma"), std::string::npos);
  g_error_free(err);
  gst_message_unref(msg);
  gst_object_unref(bus);
  gst_object_unref(pipeline);
}

}  // namespace
