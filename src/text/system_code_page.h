// The system's default ANSI code page (what code page 0 stands for), taken
// from the POSIX locale environment in place of the Windows system locale.
#pragma once

namespace Halvex::Tessaran::PAL::detail {

// Default ANSI code page of a POSIX locale name such as "ja_JP.UTF-8" (the
// codeset and modifier are ignored: the language and territory decide).
// "C", "POSIX", empty, null or unknown names give 1252.
unsigned ansiCodePageForLocaleName(const char* name);

// ansiCodePageForLocaleName of LC_ALL, else LC_CTYPE, else LANG (the first
// one set and non-empty), read once: like the Windows system locale it
// stays fixed for the process's life.
unsigned systemAnsiCodePage();

}  // namespace Halvex::Tessaran::PAL::detail
