// The application's name: the executable's file name without folder and
// extension. It names the profile key, so a renamed executable has a profile
// of its own; the registry ignores case, so "vorlinta" and "VORLINTA" share one.
#pragma once

#include "platform/win/windef.h"

#include <string>

// "/usr/bin/vorlinta" -> "vorlinta"; "VORLINTA.EXE" -> "VORLINTA";
// "a.b.c" -> "a.b".
std::string AppNameFromExecutablePath(LPCSTR exePath);
// The name of the running executable (from its real path); "" when unknown.
// Take it once at start: the file may be renamed while the program runs.
std::string AppNameOfThisProcess();
