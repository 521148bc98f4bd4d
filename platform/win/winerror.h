// Win32 error codes that the media graph reports (as HRESULT_FROM_WIN32)
// for a file that could not be written.
#pragma once

#include "platform/win/windef.h"

constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_DISK_FULL = 112;
