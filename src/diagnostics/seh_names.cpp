// Readable names and messages of caught exceptions.
#include <cfenv>
#include <cwchar>

#include "pal/seh.h"
#include "pal/unicode_convert.h"

namespace Halvex::Tessaran::PAL::SEH {

namespace {

struct NamedCode {
  DWORD code;
  const wchar_t* name;
  bool clearFloatStatus;
};

constexpr NamedCode kNames[] = {
    {0x80000003, L"BreakPoint", false},
    {0xC000008D, L"Float Denormal", true},
    {0xC000008E, L"Float Divide by Zero", true},
    {0xC0000090, L"Float Invalid Operation", true},
    {0xC0000093, L"Float Underflow", true},
    {0xC0000091, L"Float Overflow", true},
    {0xC0000094, L"Integer Divide By Zero", false},
    {0xC000001D, L"Illegal Instruction", false},
    {0xC00000FD, L"Stack Overflow", false},
};

std::wstring format(const wchar_t* fmt, auto... args) {
  wchar_t buf[64];
  int n = std::swprintf(buf, sizeof buf / sizeof buf[0], fmt, args...);
  return n < 0 ? std::wstring() : std::wstring(buf, static_cast<size_t>(n));
}

void clearFloatStatus() {
  std::feclearexcept(FE_ALL_EXCEPT);
}

std::wstring delayLoadName(const EXCEPTION_RECORD& rec) {
  auto* info = reinterpret_cast<const DelayLoadInfo*>(rec.ExceptionInformation[0]);
  std::wstring module;
  if (info && info->szDll) UnicodeConvert::multibyteToWide(code_page_id_ex(0u), info->szDll, module, 0);
  return L"Delayload \"" + module + L"\" " + (rec.ExceptionCode == 0xC06D007E ? L"Module" : L"Procedure") +
         L" Not Found";
}

}  // namespace

std::wstring getExceptionName(const EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& rec = *pointers->ExceptionRecord;
  switch (rec.ExceptionCode) {
    case 0xC0000005:
      return format(L"Access Violation %ls 0x%04x", rec.ExceptionInformation[0] ? L"Writing" : L"Reading",
                    static_cast<unsigned>(rec.ExceptionInformation[1]));
    case 0xC06D007E:
    case 0xC06D007F:
      return delayLoadName(rec);
    case 0xC0000092:
      clearFloatStatus();
      return pointers->ContextRecord->FltSave.ControlWord & 0x200 ? L"Floating Point Stack Overflow"
                                                                  : L"Floating Point Stack Underflow";
    default:
      for (const auto& n : kNames) {
        if (n.code != rec.ExceptionCode) continue;
        if (n.clearFloatStatus) clearFloatStatus();
        return n.name;
      }
      return format(L"%xh", static_cast<unsigned>(rec.ExceptionCode));
  }
}

std::wstring getExceptionMessage(const ExceptionInformation& info) {
  // The address is printed in full: %x would keep only its low 32 bits.
  return format(L"Unhandled Exception %x (", static_cast<unsigned>(info.code)) + info.name +
         format(L") at address %lxh", reinterpret_cast<unsigned long>(info.address));
}

}  // namespace Halvex::Tessaran::PAL::SEH
