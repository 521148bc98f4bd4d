#include "cli/options.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char *kFormatNames[] = {"wma", "wav", "flac", "ogg", "mp3"};

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

CommandLine Usage(const std::string &error) {
  CommandLine cl;
  cl.action = CommandLineAction::UsageError;
  cl.error = error;
  return cl;
}

bool ParseJobs(const std::string &text, int *jobs) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  *jobs = std::atoi(text.c_str());
  return *jobs >= 1;
}

}  // namespace

const char *FormatName(OutputFormat format) { return kFormatNames[static_cast<int>(format)]; }

bool FormatFromName(const std::string &name, OutputFormat *format) {
  const std::string n = Lower(name);
  for (int i = 0; i < 5; ++i)
    if (n == kFormatNames[i]) {
      *format = static_cast<OutputFormat>(i);
      return true;
    }
  return false;
}

bool FormatFromExtension(const std::string &path, OutputFormat *format) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return FormatFromName(path.substr(dot + 1), format);
}

CommandLine ParseCommandLine(int argc, const char *const *argv) {
  CommandLine cl;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");

  const bool convert = !args.empty() && args[0] == "--convert";
  if (!convert) {
    // The window takes one song at most; "--" lets a song's name begin with '-'.
    bool endOfOptions = false;
    for (const std::string &a : args) {
      if (!endOfOptions && a == "--") {
        endOfOptions = true;
      } else if (!endOfOptions && (a == "-h" || a == "--help")) {
        cl.action = CommandLineAction::Help;
        return cl;
      } else if (!endOfOptions && a == "--version") {
        cl.action = CommandLineAction::Version;
        return cl;
      } else if (!endOfOptions && a.size() > 1 && a[0] == '-') {
        return Usage("unknown option '" + a + "' (songs are converted with --convert)");
      } else if (!cl.startSong.empty()) {
        return Usage("the window opens one song; convert several with --convert");
      } else if (a.empty()) {
        return Usage("an empty song name");
      } else {
        cl.startSong = a;
      }
    }
    return cl;
  }

  cl.action = CommandLineAction::Convert;
  ConvertOptions &o = cl.convert;
  bool endOfOptions = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (endOfOptions || a == "-" || a.empty() || a[0] != '-') {
      if (a.empty()) return Usage("an empty song name");
      o.songs.push_back(a);
      continue;
    }
    if (a == "--") {
      endOfOptions = true;
      continue;
    }
    // "--name=value" and "--name value", "-o value" and "-ovalue".
    std::string name = a, value;
    bool inlineValue = false;
    if (a.rfind("--", 0) == 0) {
      const auto eq = a.find('=');
      if (eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
        inlineValue = true;
      }
    } else if (a.size() > 2) {
      name = a.substr(0, 2);
      value = a.substr(2);
      inlineValue = true;
    }
    auto takesValue = [&](const char *shortName, const char *longName) {
      return name == longName || (shortName && name == shortName);
    };
    auto needValue = [&]() -> bool {
      if (inlineValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    auto flag = [&](const char *shortName, const char *longName) {
      return !inlineValue && (name == longName || (shortName && name == shortName));
    };

    if (flag("-h", "--help")) {
      cl.action = CommandLineAction::Help;
      return cl;
    } else if (flag(nullptr, "--version")) {
      cl.action = CommandLineAction::Version;
      return cl;
    } else if (flag("-q", "--quiet")) {
      o.quiet = true;
    } else if (flag(nullptr, "--force")) {
      o.force = true;
    } else if (takesValue("-o", "--output")) {
      if (!needValue() || value.empty()) return Usage(name + " needs a folder or file name");
      o.output = value;
    } else if (takesValue("-f", "--format")) {
      if (!needValue()) return Usage(name + " needs a format: wma, wav, flac, ogg or mp3");
      if (!FormatFromName(value, &o.format))
        return Usage("unknown format '" + value + "': wma, wav, flac, ogg or mp3");
      o.formatGiven = true;
    } else if (takesValue("-j", "--jobs")) {
      if (!needValue() || !ParseJobs(value, &o.jobs))
        return Usage(name + " needs a number of songs at once, 1 or more");
    } else if (takesValue(nullptr, "--soundfont")) {
      if (!needValue() || value.empty()) return Usage("--soundfont needs a SoundFont file");
      o.soundFont = value;
    } else if (takesValue(nullptr, "--from-list")) {
      if (!needValue() || value.empty())
        return Usage("--from-list needs a file of song names, or - for standard input");
      o.fromList = value;
    } else if (takesValue(nullptr, "--report")) {
      if (!needValue() || value != "json") return Usage("--report takes one kind: json");
      o.reportJson = true;
    } else {
      return Usage("unknown option '" + a + "'");
    }
  }
  if (o.songs.empty() && o.fromList.empty()) return Usage("no song to convert");
  for (const std::string &s : o.songs)
    if (s == "-")
      return Usage("'-' is not a song; use --from-list - to read names from standard input");
  return cl;
}

std::string HelpText() {
  return R"(Usage: vorlinta [SONG]
       vorlinta --convert [OPTION]... SONG...

Without --convert, opens the window; with a SONG (a .mid, .midi or .rmi
file) the window opens it as if chosen with Open.

With --convert, turns MIDI songs into audio files without a window or a
sound server: each song is played by the FluidSynth synthesiser as fast as
the computer allows and written as WMA (Windows Media Audio 2, 44.1 kHz
stereo, 128 kbit/s) or another format.

Options:
  -o, --output PATH     the folder to write into (one file per song, named
                        after the song with the format's extension), or for
                        a single song the output file; default: the current
                        folder
  -f, --format FORMAT   wma, wav, flac, ogg (Vorbis) or mp3; default: the
                        extension of the output file, else wma
  -j, --jobs N          songs converted at once; default: the number of cores
      --soundfont FILE  the SoundFont to play with; default:
                        /usr/share/sounds/sf2/default-GM.sf2
      --force           replace existing output files (without it an
                        existing file is reported and left untouched)
      --from-list FILE  read song names from FILE, one a line; - reads them
                        from standard input
      --report json     print one JSON line per song on standard output:
                        input, output, status, reason, song_seconds,
                        cpu_seconds, numbered
  -q, --quiet           print nothing but errors (and the report)
  -h, --help            show this help and exit
      --version         show the version and exit

Two songs of one batch that would get the same output name do not
overwrite each other: the later one is named "NAME (2).wma", and so on.
Each file is written under a temporary name beside it and renamed when it
is complete. Files carry the song's title, its copyright and a comment
naming the SoundFont, where the format holds tags.

Exit status: 0 when every song was converted, 1 when some failed, 2 for a
usage error.

Examples:
  vorlinta --convert song.mid
  vorlinta --convert -o ~/Music/converted -j 2 *.mid
  vorlinta --convert -f flac -o song.flac song.mid
  find . -name '*.mid' | vorlinta --convert --from-list - -o out/
  parallel -X vorlinta --convert --report json -j 1 -o out/ ::: *.mid > report.jsonl
)";
}
