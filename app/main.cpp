// vorlinta: the program's entry. Conversions from the command line, help and
// version run before any window exists (no display or sound server needed);
// otherwise the framework creates the window system's application, finds the
// application object and runs its InitInstance, with the song given, if any.
#include "app/converter_app.h"
#include "cli/command_line.h"
#include "cli/options.h"

#include <filesystem>
#include <string>

int main(int argc, char **argv) {
  // Naming the application object keeps it in the program: it lives in a
  // static library, and the framework only finds it through its registration.
  if (ConverterApp() == nullptr) return 1;
  const CommandLine commandLine = ParseCommandLine(argc, argv);
  if (commandLine.action != CommandLineAction::OpenWindow) return RunWithoutWindow(commandLine);
  std::string song = commandLine.startSong;
  // The window remembers the song's folder for the next Open: a whole path.
  std::error_code error;
  if (!song.empty() && song[0] != '/') {
    std::filesystem::path whole = std::filesystem::absolute(song, error);
    if (!error) song = whole.lexically_normal().string();
  }
  ConverterApp()->SetStartSong(song);
  // The song is the program's; the toolkit sees no argument it could take
  // for an option of its own.
  char *programOnly[] = {argv[0], nullptr};
  return AfxWinMain(1, programOnly);
}
