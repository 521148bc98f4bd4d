// Character conversion and formatting. The "ANSI code page" is UTF-8 here and
// WCHAR strings are UTF-16, so CP_ACP and CP_UTF8 mean the same.
#pragma once

#include "platform/win/windef.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// Win32 rules: a length of -1 means zero-terminated and the terminator is
// converted and counted; an output size of 0 asks for the size needed; too
// small a buffer returns 0 with ERROR_INSUFFICIENT_BUFFER. Ill-formed input
// becomes U+FFFD (UTF-16) or EF BF BD (UTF-8) unless the *_ERR_INVALID_CHARS
// flag is given, which fails with ERROR_NO_UNICODE_TRANSLATION instead.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL *lpUsedDefaultChar);

// printf formatting into lpOut. As on Windows, at most 1024 bytes are written
// (1023 characters and the terminator), whatever the output, so lpOut must
// hold 1024 bytes or the caller must know the result is shorter. Returns the
// number of characters stored.
int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) __attribute__((format(printf, 2, 3)));
