// The per-user registry (HKEY_CURRENT_USER only) with the Win32 calls the
// program makes. Keys and values live in one text file per user,
// $XDG_CONFIG_HOME/quavix/registry (~/.config/quavix/registry when
// XDG_CONFIG_HOME is unset or not absolute). Every call reads the latest file;
// every change re-reads it and replaces it atomically under a lock, so several
// running copies never lose each other's values. Key and value names compare
// without regard to ASCII case and keep the case they were created with.
#pragma once

#include "platform/win/windef.h"

#include <string>

using REGSAM = DWORD;
using PHKEY = HKEY *;
using LSTATUS = LONG;
using PLONG = LONG *;
// Security attributes are never used by the program; callers pass null.
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES *;

// Only HKEY_CURRENT_USER exists here. A macro, as on Windows, so it can be
// used wherever the Windows headers allow it.
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0000;
constexpr DWORD REG_CREATED_NEW_KEY = 0x0001;
constexpr DWORD REG_OPENED_EXISTING_KEY = 0x0002;

// Registry error codes not in windef.h.
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                        PHKEY phkResult, LPDWORD lpdwDisposition);
// Creates or opens with full access.
LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegCloseKey(HKEY hKey);
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE *lpData, DWORD cbData);
// lpData null: *lpcbData receives the size. Too small a buffer: ERROR_MORE_DATA
// and *lpcbData receives the size needed.
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
// Writes lpData (REG_SZ only, with its terminating zero; cbData is ignored as
// on Windows) as the default value of the subkey, creating the subkey.
LSTATUS RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD cbData);
// Reads the default value of the subkey; "" when the subkey has none.
LSTATUS RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, PLONG lpcbData);
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes a subkey that has no subkeys of its own.
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

namespace quavix::reg {
// The file that holds the registry of this user, as the calls above resolve it
// now (it follows XDG_CONFIG_HOME at every call).
std::string RegistryFilePath();
// Handles currently open (for leak checks in tests).
size_t OpenKeyHandleCount();
}  // namespace quavix::reg
