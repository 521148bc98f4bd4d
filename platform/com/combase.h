// COM run-time functions: apartment initialisation, object creation through
// the class table, task memory, BSTR and VARIANT.
#pragma once

#include <cstddef>

#include "platform/com/unknown.h"

// ---- initialisation -------------------------------------------------------
// Counted per thread: the first call on a thread returns S_OK, later ones
// S_FALSE; a different concurrency model than the thread's first call gets
// RPC_E_CHANGED_MODE. Every successful call needs one CoUninitialize.
// CoCreateInstance on a thread that did not initialise returns
// CO_E_NOTINITIALIZED, as the program's callers expect.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(LPVOID pvReserved);
void CoUninitialize();

// ---- creation -------------------------------------------------------------
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// Looks the class up in the built-in table first, then in the module table
// (see RegisterModuleClass). Only in-process contexts are served; a context
// without CLSCTX_INPROC_SERVER or CLSCTX_INPROC_HANDLER gets
// REGDB_E_CLASSNOTREG. Unknown classes and missing modules give
// REGDB_E_CLASSNOTREG; *ppv is null on every failure.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID *ppv);

// Creates an object of a built-in class (aggregation is not supported by
// any class here; pass the outer object on so the class can refuse it with
// CLASS_E_NOAGGREGATION).
using BuiltInClassFactoryFn = HRESULT (*)(IUnknown *pUnkOuter, REFIID riid, void **ppv);

// Registers (or replaces) a class implemented inside the program. Thread safe.
void RegisterBuiltInClass(REFCLSID rclsid, BuiltInClassFactoryFn factory);
// Removes a built-in class; returns whether it was registered. For tests.
bool UnregisterBuiltInClass(REFCLSID rclsid);

// Registers (or replaces) a class implemented in a module file (a shared
// library exporting
//     extern "C" HRESULT DllGetClassObject(REFCLSID, REFIID, void **);
// ). The module is looked for, in order, in $QUAVIX_MODULE_DIR when that is
// set, in the executable's own folder, and in ../lib/vorlinta relative to it
// (the installed layout). It is loaded at the first creation and stays
// loaded. moduleFile is a plain file name, never a path.
// The writer filter's class is registered from the start:
//   {3C78B8E2-6C4D-11D1-ADE2-0000F875A888} -> "vorlinta-wmawriter.so"
void RegisterModuleClass(REFCLSID rclsid, const char *moduleFile);
bool UnregisterModuleClass(REFCLSID rclsid);

// Signature of the entry point a module exports.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID *ppv);

// ---- task memory ----------------------------------------------------------
LPVOID CoTaskMemAlloc(std::size_t cb);
LPVOID CoTaskMemRealloc(LPVOID pv, std::size_t cb);
void CoTaskMemFree(LPVOID pv);

// ---- strings --------------------------------------------------------------
using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR *;
using LPCOLESTR = const OLECHAR *;
// A BSTR points at the first character of a UTF-16 string that is
// zero-terminated and preceded by its length in bytes (32 bits).
using BSTR = OLECHAR *;

BSTR SysAllocString(const OLECHAR *psz);                // null in, null out
BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui);  // strIn may be null: zeroed
BSTR SysAllocStringUtf8(const char *utf8);              // convenience: UTF-8 in
void SysFreeString(BSTR bstr);                          // null is fine
UINT SysStringLen(BSTR bstr);                           // characters; 0 for null
UINT SysStringByteLen(BSTR bstr);

// ---- VARIANT --------------------------------------------------------------
using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_UI4 = 19,
  VT_I8 = 20,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    SHORT iVal;
    ULONG ulVal;
    LONGLONG llVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    IUnknown *punkVal;
  };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT *pvarg);
// Frees what the variant owns (the BSTR, the reference of VT_UNKNOWN) and
// leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT *pvarg);
