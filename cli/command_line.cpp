#include "cli/command_line.h"

#include <cstdio>

#include "cli/batch.h"

int RunWithoutWindow(const CommandLine &commandLine) {
  switch (commandLine.action) {
    case CommandLineAction::Help: std::fputs(HelpText().c_str(), stdout); return 0;
    case CommandLineAction::Version: std::printf("vorlinta %s\n", QUAVIX_VERSION); return 0;
    case CommandLineAction::UsageError:
      std::fprintf(stderr, "vorlinta: %s\nTry 'vorlinta --help' for more information.\n",
                   commandLine.error.c_str());
      return 2;
    case CommandLineAction::Convert: return RunConversionBatch(commandLine.convert);
    case CommandLineAction::OpenWindow: break;
  }
  return 2;
}
