// The shell: the user's music folder, starting programs and opening files.
// Programs are started directly with an argument vector, never through a
// shell, and detached (no zombie is left behind); the desktop's opener is
// `xdg-open`, looked up on PATH so tests can put a stand-in first.
#pragma once

#include "platform/win/windef.h"

constexpr int CSIDL_MYMUSIC = 0x000d;
constexpr int CSIDL_FLAG_CREATE = 0x8000;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;

// CSIDL_MYMUSIC: the XDG music folder (XDG_MUSIC_DIR of
// $XDG_CONFIG_HOME/user-dirs.dirs with $HOME expanded, else $HOME/Music),
// without a trailing '/', into pszPath (MAX_PATH bytes). E_FAIL when that
// folder does not exist or does not fit; E_INVALIDARG for other folder ids.
HRESULT SHGetFolderPathA(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath);

// "hh.exe <folder>help.chm::/<page>" opens <folder>help/<page> with the
// desktop's opener. Any other command line: the first blank-separated word is
// the program (looked up on PATH when it has no '/'), and everything after
// the blank that follows it is ONE argument, blanks included. Returns 33 when
// the program started, ERROR_FILE_NOT_FOUND when it could not be found, 0 on
// other failures.
UINT WinExec(LPCSTR lpCmdLine, UINT uCmdShow);

// Verb "open" (or null): `xdg-open <file>`, the file one argument; started in
// lpDirectory when given. lpParameters is not passed on. Returns a value above
// 32 on success, ERROR_FILE_NOT_FOUND (2) for a missing file or opener,
// SE_ERR_NOASSOC (31) for other verbs.
constexpr INT_PTR SE_ERR_NOASSOC = 31;
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                        LPCSTR lpDirectory, INT nShowCmd);
