// What `vorlinta` was asked to do on its command line: open the window
// (with or without a song), or convert songs without it.
#pragma once

#include <string>
#include <vector>

enum class OutputFormat { Wma, Wav, Flac, Ogg, Mp3 };

// "wma", "wav", ...; the extension the format's files carry.
const char *FormatName(OutputFormat format);
// The format of a name ("wma", "WAV") or of a file name's extension; false
// when it names none.
bool FormatFromName(const std::string &name, OutputFormat *format);
bool FormatFromExtension(const std::string &path, OutputFormat *format);

struct ConvertOptions {
  std::vector<std::string> songs;  // in the order given, the list's after the arguments'
  std::string output;              // -o: a folder or, for one song, a file; "" = current folder
  bool formatGiven = false;
  OutputFormat format = OutputFormat::Wma;
  int jobs = 0;           // 0: the number of cores
  std::string soundFont;  // "" = the one the window uses
  bool force = false;
  std::string fromList;  // "-" = standard input
  bool reportJson = false;
  bool quiet = false;
};

enum class CommandLineAction {
  OpenWindow,  // no song, or startSong
  Convert,
  Help,
  Version,
  UsageError,
};

struct CommandLine {
  CommandLineAction action = CommandLineAction::OpenWindow;
  std::string startSong;  // OpenWindow: the song to open at once, if any
  ConvertOptions convert;
  std::string error;  // UsageError: what was wrong, one line
};

// Reads argv. Nothing is opened or checked on the disk except what the
// arguments themselves say.
CommandLine ParseCommandLine(int argc, const char *const *argv);

// The text of --help.
std::string HelpText();
