// The shell's logical comparison: digit runs by value, the rest without
// regard to case.
#include <unicode/uchar.h>

#include "pal/string_operations.h"
#include "text/unicode_scalar.h"

namespace Halvex::Tessaran::PAL::String {

namespace {

bool isDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

UChar32 folded(wchar_t c) {
  return u_foldCase(static_cast<UChar32>(detail::unicodeScalar(c)), U_FOLD_CASE_DEFAULT);
}

}  // namespace

int compareNatural(const wchar_t* a, const wchar_t* b) {
  if (!a) a = L"";
  if (!b) b = L"";
  // Equal numbers written with different leading zeros decide only when
  // nothing else does.
  int zeros = 0;
  while (*a && *b) {
    if (isDigit(*a) && isDigit(*b)) {
      const wchar_t* aStart = a;
      const wchar_t* bStart = b;
      while (*a == L'0') ++a;
      while (*b == L'0') ++b;
      const wchar_t* aDigits = a;
      const wchar_t* bDigits = b;
      while (isDigit(*a)) ++a;
      while (isDigit(*b)) ++b;
      // Compared as digit strings: a run of any length never overflows.
      if (a - aDigits != b - bDigits) return a - aDigits < b - bDigits ? -1 : 1;
      for (const wchar_t *p = aDigits, *q = bDigits; p < a; ++p, ++q)
        if (*p != *q) return *p < *q ? -1 : 1;
      if (!zeros && aDigits - aStart != bDigits - bStart)
        zeros = aDigits - aStart > bDigits - bStart ? -1 : 1;
      continue;
    }
    UChar32 x = folded(*a), y = folded(*b);
    if (x != y) return x < y ? -1 : 1;
    ++a;
    ++b;
  }
  if (*a) return 1;
  if (*b) return -1;
  return zeros;
}

}  // namespace Halvex::Tessaran::PAL::String
