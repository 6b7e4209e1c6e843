// The Windows data types that the public interface carries, defined for Linux
// with the sizes and layouts they have on 64-bit Windows.
//
// Differences from Windows: wchar_t is 32 bits here (wide text is UTF-32),
// and DWORD is a fixed 32-bit type rather than `unsigned long` (64 bits on
// Linux x86-64).
#pragma once

#include <cstdint>

// A macro rather than a typedef so that `unsigned __int64` works as it does
// with the Windows compiler's keyword.
#ifndef __int64
#define __int64 long long
#endif
typedef int BOOL;
typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef DWORD LCID;
typedef WORD LANGID;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

static_assert(sizeof(FILETIME) == 8 && sizeof(SYSTEMTIME) == 16);

// Exception records as a structured-exception filter sees them, with the
// 64-bit Windows layout; the guards of pal/seh.h fill them from the signal
// that a fault raises.
typedef void* PVOID;
typedef std::uint64_t DWORD64;
typedef std::uint64_t ULONG_PTR;

#ifndef EXCEPTION_MAXIMUM_PARAMETERS
#define EXCEPTION_MAXIMUM_PARAMETERS 15
#endif

struct EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
  EXCEPTION_RECORD* ExceptionRecord;
  PVOID ExceptionAddress;
  DWORD NumberParameters;
  ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};

struct alignas(16) M128A {
  std::uint64_t Low;
  std::int64_t High;
};

// The FXSAVE image of the x87 and SSE state; ControlWord comes first.
struct XMM_SAVE_AREA32 {
  WORD ControlWord;
  WORD StatusWord;
  BYTE TagWord;
  BYTE Reserved1;
  WORD ErrorOpcode;
  DWORD ErrorOffset;
  WORD ErrorSelector;
  WORD Reserved2;
  DWORD DataOffset;
  WORD DataSelector;
  WORD Reserved3;
  DWORD MxCsr;
  DWORD MxCsr_Mask;
  M128A FloatRegisters[8];
  M128A XmmRegisters[16];
  BYTE Reserved4[96];
};

// The processor context, reduced to the registers the library reads.
struct CONTEXT {
  DWORD ContextFlags;
  DWORD MxCsr;
  DWORD64 Rsp;
  DWORD64 Rip;
  XMM_SAVE_AREA32 FltSave;
};

struct EXCEPTION_POINTERS {
  EXCEPTION_RECORD* ExceptionRecord;
  CONTEXT* ContextRecord;
};

// What a failed delay-loaded import reports; its address is the first
// parameter of the exceptions 0xC06D007E and 0xC06D007F.
struct DelayLoadProc {
  BOOL fImportByName;
  union {
    const char* szProcName;
    DWORD dwOrdinal;
  };
};

struct DelayLoadInfo {
  DWORD cb;
  const void* pidd;
  void** ppfn;
  const char* szDll;
  DelayLoadProc dlp;
  void* hmodCur;
  void* pfnCur;
  DWORD dwLastError;
};

static_assert(sizeof(EXCEPTION_RECORD) == 152 && sizeof(XMM_SAVE_AREA32) == 512);
