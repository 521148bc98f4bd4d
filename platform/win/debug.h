// The debugger output: written to standard error when the environment
// variable QUAVIX_DEBUG is set (to anything but "" or "0"); silent otherwise.
#pragma once

#include "platform/win/windef.h"

void OutputDebugStringA(LPCSTR lpOutputString);
