// The program's entry before any window exists: conversions from the
// command line, help and version run here without the window layer.
#pragma once

#include "cli/options.h"

// Runs --convert, --help, --version or reports a usage error, and returns
// the exit status. Not for CommandLineAction::OpenWindow.
int RunWithoutWindow(const CommandLine &commandLine);
