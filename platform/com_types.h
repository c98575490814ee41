// Result codes, Win32 error numbers and the thread's last error.
//
// Every operation that can fail returns an HRESULT. System failures are
// reported as HRESULT_FROM_WIN32 of a Win32 error number; on POSIX the errno
// values are mapped to the same Win32 numbers (Win32ErrorFromErrno), so a
// given failure has one HRESULT on every platform.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include "platform/win32/sdk_types.h"
#else
// COM's calling convention for interface methods and entry points: stdcall
// on 32-bit Windows, nothing to say elsewhere.
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE

using HRESULT = int32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using DWORD = uint32_t;
using LCID = uint32_t;
using VARIANT_BOOL = int16_t;
using UINT = uint32_t;
using OLECHAR = char16_t;
using BOOL = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
// The class is not registered (no CLSID key or no InprocServer32 path).
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
// The ProgID is not registered or names no valid CLSID.
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

// Win32 error numbers used by this code base.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD ERROR_ABANDONED_WAIT_0 = 735;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ERROR_BADDB = 1009;   // The registry file cannot be read as one.
constexpr DWORD ERROR_BADKEY = 1010;  // A registry key beyond the limits.
constexpr DWORD ERROR_IO_DEVICE = 1117;

// HRESULT_FROM_WIN32: 0x80070000 | (e & 0xFFFF) for e > 0; S_OK for 0.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD e) {
  return e == 0 ? S_OK : static_cast<HRESULT>((e & 0xFFFFu) | 0x80070000u);
}
#endif  // _WIN32

namespace plat {

// The calling thread's last error, as Win32 would keep it.
DWORD GetLastError();
void SetLastError(DWORD error);

#ifndef _WIN32
// Maps a POSIX errno value to the Win32 error number with the same meaning
// (ENOENT -> 2, EACCES -> 5, ENOMEM -> 8, EEXIST -> 80, ENOSPC -> 112,
// EIO -> 1117, ...). Unknown values map to ERROR_INVALID_FUNCTION, never 0.
DWORD Win32ErrorFromErrno(int err);

// Sets the last error from errno (mapped) and returns the mapped number.
DWORD SetLastErrorFromErrno(int err);
#endif

// HRESULT for a failed system call: HRESULT_FROM_WIN32 of the last error, or
// E_FAIL when the last error is 0, so that a failure is never reported as S_OK.
HRESULT HResultFromLastError();

}  // namespace plat
