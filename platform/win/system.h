// Process and system information: the private temporary folder, the Windows
// version the program is told it runs on, the executable's path, and modules.
#pragma once

#include "platform/win/windef.h"

// The temporary folder, with a trailing '/': <$XDG_CACHE_HOME or
// ~/.cache>/quavix/, on disk, made 0700 (with its missing parents) and
// refused unless it is a real folder (not a link) owned by this user that
// nobody else may enter; when it is refused or cannot be made,
// <$TMPDIR or /tmp>/quavix-<uid>/ under the same rules. Returns the length
// without the terminator, or the size needed (terminator included) when
// nBufferLength is too small, or 0 when no private folder can be had.
DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA *;
static_assert(sizeof(OSVERSIONINFOA) == 148);
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// Reports Windows 10.0 (build 19045). The environment variable
// QUAVIX_WINDOWS_MAJOR (decimal) reports another major version, for tests of
// the older-system branches. Fails unless dwOSVersionInfoSize is 148.
BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);

// hModule null (or GetModuleHandleA(nullptr)): the executable's real path,
// from /proc/self/exe. A module from LoadLibraryA: its file. A buffer too
// small receives the path cut to nSize - 1 characters, and the call returns
// nSize with ERROR_INSUFFICIENT_BUFFER, as on Windows.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
// Only the executable itself (null name) is known.
HMODULE GetModuleHandleA(LPCSTR lpModuleName);

// void (*)() rather than Windows' INT_PTR (*)(): GCC lets it be cast to any
// function pointer type without a -Wcast-function-type warning.
using FARPROC = void (*)();
// "shell32.dll" (any case) is built in and exports "SHGetFolderPathA". A name
// with a '/' is loaded as a shared object; any other name fails with
// ERROR_MOD_NOT_FOUND.
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
