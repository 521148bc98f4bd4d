// The command line's own rules: reading the arguments, naming the outputs of
// a batch, the tags taken from a song, and the report lines.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cli/options.h"
#include "cli/output_names.h"
#include "cli/song_report.h"
#include "cli/song_tags.h"
#include "platform/dshow/midi/midi_song.h"

namespace {

CommandLine Parse(std::vector<const char *> args) {
  args.insert(args.begin(), "vorlinta");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineArguments, TheWindowTakesNoneOrOneSong) {
  EXPECT_EQ(Parse({}).action, CommandLineAction::OpenWindow);
  EXPECT_EQ(Parse({}).startSong, "");
  CommandLine one = Parse({"/music/a b.mid"});
  EXPECT_EQ(one.action, CommandLineAction::OpenWindow);
  EXPECT_EQ(one.startSong, "/music/a b.mid");
  // "--" lets a song's name begin with '-'.
  EXPECT_EQ(Parse({"--", "-odd.mid"}).startSong, "-odd.mid");
  EXPECT_EQ(Parse({"a.mid", "b.mid"}).action, CommandLineAction::UsageError);
  EXPECT_EQ(Parse({"-style=fusion"}).action, CommandLineAction::UsageError);
  EXPECT_EQ(Parse({"--help"}).action, CommandLineAction::Help);
  EXPECT_EQ(Parse({"--version"}).action, CommandLineAction::Version);
}

TEST(CommandLineArguments, ConvertReadsEveryOptionInBothSpellings) {
  CommandLine cl =
      Parse({"--convert", "-o", "out/", "-f", "FLAC", "-j", "3", "--soundfont", "/sf/x.sf2",
             "--force", "--from-list", "-", "--report", "json", "-q", "a.mid", "--", "-b.mid"});
  ASSERT_EQ(cl.action, CommandLineAction::Convert) << cl.error;
  const ConvertOptions &o = cl.convert;
  EXPECT_EQ(o.output, "out/");
  EXPECT_TRUE(o.formatGiven);
  EXPECT_EQ(o.format, OutputFormat::Flac);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_EQ(o.soundFont, "/sf/x.sf2");
  EXPECT_TRUE(o.force);
  EXPECT_EQ(o.fromList, "-");
  EXPECT_TRUE(o.reportJson);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.songs, (std::vector<std::string>{"a.mid", "-b.mid"}));

  CommandLine joined = Parse({"--convert", "--output=x.ogg", "-j2", "--format=mp3", "s.mid"});
  ASSERT_EQ(joined.action, CommandLineAction::Convert) << joined.error;
  EXPECT_EQ(joined.convert.output, "x.ogg");
  EXPECT_EQ(joined.convert.jobs, 2);
  EXPECT_EQ(joined.convert.format, OutputFormat::Mp3);
  EXPECT_FALSE(Parse({"--convert", "s.mid"}).convert.formatGiven);
}

TEST(CommandLineArguments, MistakesAreUsageErrorsThatSayWhat) {
  for (std::vector<const char *> args : std::vector<std::vector<const char *>>{
           {"--convert"},
           {"--convert", "-f", "aiff", "a.mid"},
           {"--convert", "-j", "0", "a.mid"},
           {"--convert", "-j", "many", "a.mid"},
           {"--convert", "--report", "csv", "a.mid"},
           {"--convert", "-o"},
           {"--convert", "--bogus", "a.mid"},
           {"--convert", "-", "a.mid"},
           {"--convert", "--force=yes", "a.mid"},
       }) {
    CommandLine cl = Parse(args);
    EXPECT_EQ(cl.action, CommandLineAction::UsageError) << args.back();
    EXPECT_FALSE(cl.error.empty());
  }
  EXPECT_EQ(Parse({"--convert", "--from-list", "songs.txt"}).action, CommandLineAction::Convert);
}

TEST(CommandLineArguments, FormatsByNameAndExtension) {
  OutputFormat f = OutputFormat::Wma;
  EXPECT_TRUE(FormatFromExtension("/a/b.c/song.OGG", &f));
  EXPECT_EQ(f, OutputFormat::Ogg);
  EXPECT_FALSE(FormatFromExtension("/a/b.wav/song", &f));
  EXPECT_FALSE(FormatFromExtension("song.aiff", &f));
  EXPECT_STREQ(FormatName(OutputFormat::Mp3), "mp3");
  EXPECT_NE(HelpText().find("--from-list"), std::string::npos);
}

TEST(BatchOutputNames, TheWindowsRuleWithTheFormatsExtension) {
  auto plan =
      PlanOutputs({"/m/My Song.mid", "/m/a.b.rmi", "/m/noext"}, "/out/", "", OutputFormat::Flac);
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].output, "/out/My Song.flac");
  EXPECT_EQ(plan[1].output, "/out/a.b.flac");
  EXPECT_EQ(plan[2].output, "/out/noext.flac");
  EXPECT_EQ(PlanOutputs({"x/a.mid"}, "", "", OutputFormat::Wma)[0].output, "a.wma");
  EXPECT_EQ(PlanOutputs({"x/a.mid"}, "", "/t/named.wav", OutputFormat::Wav)[0].output,
            "/t/named.wav");
}

TEST(BatchOutputNames, ALaterSongWithTheSameNameIsNumbered) {
  auto plan = PlanOutputs({"/one/a.mid", "/two/a.mid", "/three/a.midi", "/one/b.mid"}, "/out/", "",
                          OutputFormat::Wma);
  EXPECT_EQ(plan[0].output, "/out/a.wma");
  EXPECT_FALSE(plan[0].numbered);
  EXPECT_EQ(plan[1].output, "/out/a (2).wma");
  EXPECT_TRUE(plan[1].numbered);
  EXPECT_EQ(plan[1].taken, "/out/a.wma");
  EXPECT_EQ(plan[2].output, "/out/a (3).wma");
  EXPECT_EQ(plan[3].output, "/out/b.wma");
  EXPECT_EQ(NumberedName("/x.y/name", 2), "/x.y/name (2)");
  EXPECT_EQ(NumberedName("/d/.hidden", 4), "/d/.hidden (4)");
}

TEST(BatchOutputNames, TemporaryNamesAreBesideTheFileHiddenAndUnique) {
  const std::string a = TemporaryNameFor("/out/song.wma");
  const std::string b = TemporaryNameFor("/out/song.wma");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind("/out/.song.wma.", 0), 0u) << a;
  EXPECT_EQ(a.substr(a.size() - 5), ".part");
  EXPECT_EQ(TemporaryNameFor("song.wma").rfind(".song.wma.", 0), 0u);
}

// A format 1 song with the given meta events in its first and second track.
std::vector<unsigned char> SongWithMeta(const std::vector<std::vector<unsigned char>> &track0,
                                        const std::vector<std::vector<unsigned char>> &track1) {
  std::vector<unsigned char> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96};
  for (const auto *metas : {&track0, &track1}) {
    std::vector<unsigned char> body;
    for (const auto &m : *metas) {
      body.insert(body.end(), {0x00, 0xFF, m[0], static_cast<unsigned char>(m.size() - 1)});
      body.insert(body.end(), m.begin() + 1, m.end());
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, static_cast<unsigned char>(body.size() >> 8),
                             static_cast<unsigned char>(body.size())});
    file.insert(file.end(), body.begin(), body.end());
  }
  return file;
}

std::vector<unsigned char> Meta(unsigned char type, const char *text) {
  std::vector<unsigned char> m(1, type);
  for (const char *p = text; *p; ++p) m.push_back(static_cast<unsigned char>(*p));
  return m;
}

TEST(SongTagsFromTheSong, TitleAndCopyrightFromItsEventsElseTheFileName) {
  std::string error;
  auto bytes =
      SongWithMeta({Meta(0x02, "(c) Someone"), Meta(0x03, "Main Title")}, {Meta(0x03, "Piano")});
  auto song = ReadMidiData(bytes.data(), bytes.size(), &error);
  ASSERT_TRUE(song) << error;
  SongTags tags = ReadSongTags(*song, "/m/file.mid", "/usr/share/sounds/sf2/default-GM.sf2");
  EXPECT_EQ(tags.title, "Main Title");
  EXPECT_EQ(tags.copyright, "(c) Someone");
  EXPECT_NE(tags.comment.find("default-GM.sf2"), std::string::npos);

  // Only a later track is named: that name is the title.
  bytes = SongWithMeta({}, {Meta(0x03, "Strings")});
  song = ReadMidiData(bytes.data(), bytes.size(), &error);
  ASSERT_TRUE(song) << error;
  EXPECT_EQ(ReadSongTags(*song, "/m/file.mid", "x.sf2").title, "Strings");

  // No name (or only blanks): the file's name without its extension.
  bytes = SongWithMeta({Meta(0x03, "   ")}, {});
  song = ReadMidiData(bytes.data(), bytes.size(), &error);
  ASSERT_TRUE(song) << error;
  tags = ReadSongTags(*song, "/m/Le Café.v2.mid", "x.sf2");
  EXPECT_EQ(tags.title, "Le Café.v2");
  EXPECT_EQ(tags.copyright, "");
}

TEST(SongTagsFromTheSong, TextInAnyEncodingBecomesValidUtf8) {
  const unsigned char latin1[] = {'C', 'a', 'f', 0xE9, 0};
  EXPECT_EQ(MidiTextToUtf8(latin1, sizeof latin1), "Caf\xC3\xA9");
  const unsigned char utf8[] = {'C', 'a', 'f', 0xC3, 0xA9};
  EXPECT_EQ(MidiTextToUtf8(utf8, sizeof utf8), "Caf\xC3\xA9");
  const unsigned char controls[] = {' ', 'a', '\n', 'b', '\t', ' '};
  EXPECT_EQ(MidiTextToUtf8(controls, sizeof controls), "a b");
}

TEST(SongReportLines, JsonLinesStayValidForAnyName) {
  SongOutcome o;
  o.input = "dir/\"odd\"\\name\n\xff.mid";
  o.output = "out/a (2).wma";
  o.converted = true;
  o.numbered = true;
  o.note = "numbered";
  o.songSeconds = 139.5;
  o.cpuSeconds = 4.25;
  const std::string line = JsonReportLine(o);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_NE(line.find(R"("input":"dir/\"odd\"\\name\u000a\u00ff.mid")"), std::string::npos) << line;
  EXPECT_NE(line.find(R"("status":"converted")"), std::string::npos);
  EXPECT_NE(line.find(R"("reason":null)"), std::string::npos);
  EXPECT_NE(line.find(R"("numbered":true)"), std::string::npos);
  EXPECT_NE(line.find(R"("song_seconds":139.500)"), std::string::npos);
  EXPECT_NE(line.find(R"("cpu_seconds":4.250)"), std::string::npos);

  SongOutcome failed;
  failed.input = "bad.mid";
  failed.reason = "track 2 is truncated";
  failed.songSeconds = -1;
  const std::string bad = JsonReportLine(failed);
  EXPECT_NE(bad.find(R"("status":"failed","reason":"track 2 is truncated")"), std::string::npos)
      << bad;
  EXPECT_NE(bad.find(R"("song_seconds":null)"), std::string::npos);
  EXPECT_EQ(HumanReportLine(failed), "failed: bad.mid: track 2 is truncated");
}

TEST(SongReportLines, ProgressBarShowsSongsPercentAndTimeLeft) {
  const std::string line = ProgressBarLine(3, 31, 0.42, 65, 20);
  EXPECT_EQ(line.substr(0, 22), "[########............]");
  EXPECT_NE(line.find("3/31 songs"), std::string::npos) << line;
  EXPECT_NE(line.find("42%"), std::string::npos);
  EXPECT_NE(line.find("1:05 left"), std::string::npos);
  EXPECT_NE(ProgressBarLine(0, 1, 0, -1, 10).find("--:-- left"), std::string::npos);
}

}  // namespace
