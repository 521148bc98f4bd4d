// The calling thread's last error code, as the Win32 stand-ins report it.
#pragma once

#include "platform/win/windef.h"

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// Error codes of the stand-ins that windef.h does not define.
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
