// Status codes of COM and of the media graph beyond the basic ones in
// platform/win/windef.h.
#pragma once

#include "platform/win/windef.h"

constexpr HRESULT MakeHr(std::uint32_t v) { return static_cast<HRESULT>(v); }

// COM
constexpr HRESULT E_HANDLE = MakeHr(0x80070006u);
constexpr HRESULT E_PENDING = MakeHr(0x8000000Au);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHr(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHr(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHr(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHr(0x800401F0u);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHr(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = MakeHr(0x800401F9u);
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHr(0x80010106u);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHr(0x80020005u);
constexpr HRESULT E_BOUNDS = MakeHr(0x8000000Bu);

// Win32 errors as HRESULTs (HRESULT_FROM_WIN32).
constexpr HRESULT HRESULT_FROM_WIN32(LONG err) {
  return err <= 0 ? static_cast<HRESULT>(err)
                  : static_cast<HRESULT>((static_cast<std::uint32_t>(err) & 0xFFFFu) | 0x80070000u);
}

// Media graph (vfwmsgs)
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MakeHr(0x80040200u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeHr(0x80040204u);
constexpr HRESULT VFW_E_FILTER_ACTIVE = MakeHr(0x80040205u);
constexpr HRESULT VFW_E_NO_TYPES = MakeHr(0x80040206u);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeHr(0x80040207u);
constexpr HRESULT VFW_E_INVALID_DIRECTION = MakeHr(0x80040208u);
constexpr HRESULT VFW_E_NOT_CONNECTED = MakeHr(0x80040209u);
constexpr HRESULT VFW_E_RUNTIME_ERROR = MakeHr(0x8004020Bu);
constexpr HRESULT VFW_E_NOT_FOUND = MakeHr(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeHr(0x80040217u);
constexpr HRESULT VFW_E_CANNOT_RENDER = MakeHr(0x80040218u);
constexpr HRESULT VFW_E_NOT_STOPPED = MakeHr(0x80040224u);
constexpr HRESULT VFW_E_WRONG_STATE = MakeHr(0x80040227u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeHr(0x8004022Au);
constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = MakeHr(0x8004022Fu);
constexpr HRESULT VFW_E_DUPLICATE_NAME = MakeHr(0x8004023Du);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = MakeHr(0x80040240u);
constexpr HRESULT VFW_E_CANNOT_LOAD_SOURCE_FILTER = MakeHr(0x80040241u);
constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = MakeHr(0x80040256u);
constexpr HRESULT VFW_E_TIME_NOT_SET = MakeHr(0x80040258u);
constexpr HRESULT VFW_E_NO_TIME_FORMAT = MakeHr(0x80040263u);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = MakeHr(0x80040265u);
constexpr HRESULT VFW_E_TIMEOUT = MakeHr(0x8004026Eu);

constexpr HRESULT VFW_S_NO_MORE_ITEMS = MakeHr(0x00040103u);
constexpr HRESULT VFW_S_DUPLICATE_NAME = MakeHr(0x0004022Du);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = MakeHr(0x00040237u);
constexpr HRESULT VFW_S_PARTIAL_RENDER = MakeHr(0x00040242u);
