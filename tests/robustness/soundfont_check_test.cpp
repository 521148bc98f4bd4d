// The SoundFont check a caller can make when a song is opened, and that the
// element's own start agrees with it.
#include "platform/dshow/midi/midi_source.h"
#include "tests/player/player_test_support.h"

#include <gtest/gtest.h>
#include <gst/gst.h>

#include <filesystem>
#include <fstream>

namespace {

void Write(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The error a pipeline of the element reports when started, or "".
std::string StartError(const std::string &soundFont) {
  gst_init(nullptr, nullptr);
  std::string error;
  std::string bytes = player_test::MakeType1Song(480, {{0, 500000}}, {{0, 480, 60}});
  std::shared_ptr<const MidiSong> song = ReadMidiData(bytes.data(), bytes.size(), &error);
  if (!song) return "song not read: " + error;
  MidiSynthOptions options;
  options.soundFontPath = soundFont;
  GstElement *pipeline = gst_pipeline_new(nullptr);
  GstElement *src = CreateMidiSourceElement(song, options);
  GstElement *sink = gst_element_factory_make("fakesink", nullptr);
  gst_bin_add_many(GST_BIN(pipeline), src, sink, nullptr);
  gst_element_link(src, sink);
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  GstBus *bus = gst_element_get_bus(pipeline);
  GstMessage *m = gst_bus_timed_pop_filtered(
      bus, 10 * GST_SECOND,
      static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE));
  if (m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
    GError *e = nullptr;
    gst_message_parse_error(m, &e, nullptr);
    error = e->message;
    g_error_free(e);
  }
  if (m) gst_message_unref(m);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return error;
}

TEST(SoundFontCheck, NamesWhatIsWrongAndThePackageAndTheElementSaysTheSame) {
  player_test::TempDir dir;
  struct Case {
    std::string name, path, says;
  } cases[] = {
      {"missing", dir.path() + "/none.sf2", "is missing"},
      {"a folder", dir.path(), "cannot be read"},
      {"garbage", dir.path() + "/garbage.sf2", "is damaged"},
      {"cut before its form", dir.path() + "/cut.sf2", "is damaged"},
      {"another RIFF form", dir.path() + "/wave.sf2", "is damaged"},
  };
  Write(dir.path() + "/garbage.sf2", std::string(4096, 'g'));
  Write(dir.path() + "/cut.sf2", "RIFF\x10\0\0");
  Write(dir.path() + "/wave.sf2",
        std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(64, '\0'));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string message;
    EXPECT_FALSE(CheckSoundFont(c.path, &message));
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
    EXPECT_NE(message.find("fluid-soundfont-gm"), std::string::npos) << message;
    EXPECT_NE(message.find(c.path), std::string::npos) << message;
    EXPECT_EQ(StartError(c.path), message) << "the element's start reports the same";
  }
  EXPECT_FALSE(CheckSoundFont(dir.path() + "/none.sf2", nullptr));
}

TEST(SoundFontCheck, TheInstalledSoundFontPasses) {
  if (!std::filesystem::exists(kDefaultSoundFontPath))
    GTEST_SKIP() << "fluid-soundfont-gm is not installed";
  std::string message = "untouched";
  EXPECT_TRUE(CheckSoundFont(kDefaultSoundFontPath, &message));
  EXPECT_EQ(message, "untouched");
  EXPECT_EQ(StartError(kDefaultSoundFontPath), "");
}

}  // namespace
