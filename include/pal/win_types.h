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
