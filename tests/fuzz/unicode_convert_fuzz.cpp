// Arbitrary bytes as UTF-8 and as code page text: no crash, no read past
// the first zero, and valid UTF-8 comes back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pal/unicode_convert.h"

using namespace Halvex::Tessaran::PAL::UnicodeConvert;

namespace {

// Independent of the decoder under test: Unicode's well-formed byte table.
bool isWellFormedUtf8(const std::string& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  for (size_t i = 0, n = s.size(); i < n;) {
    unsigned char b = p[i];
    size_t len = b < 0x80                 ? 1
                 : b >= 0xC2 && b <= 0xDF ? 2
                 : b >= 0xE0 && b <= 0xEF ? 3
                 : b >= 0xF0 && b <= 0xF4 ? 4
                                          : 0;
    if (len == 0 || i + len > n) return false;
    unsigned char lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    unsigned char hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    if (len > 1 && (p[i + 1] < lo || p[i + 1] > hi)) return false;
    for (size_t k = 2; k < len; ++k)
      if ((p[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Copied with its own terminator so that reading past the first zero is
  // a heap overflow the sanitizer reports.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string text = bytes.substr(0, bytes.find('\0'));

  std::wstring wide;
  check(utf8ToWideChar(bytes.c_str(), wide));
  std::string utf8;
  check(wideCharToUtf8(wide.c_str(), utf8));
  if (isWellFormedUtf8(text)) check(utf8 == text);
  // Decoding replaced ill-formed parts, so the result is well formed and
  // survives a second round unchanged.
  check(isWellFormedUtf8(utf8));
  std::wstring again;
  check(utf8ToWideChar(utf8.c_str(), again) && again == wide);

  // The tables, then ICU (GB18030, UTF-7's shifts, KOI8-R). UTF-7 refuses
  // every encoding.
  for (unsigned cp : {932u, 936u, 949u, 950u, 1252u, 54936u, 65000u, 20866u}) {
    std::wstring decoded;
    check(multibyteToWide(code_page_id_ex(cp), bytes, decoded, 0) == ToWideCharOk);
    check(decoded.find(L'\0') == std::wstring::npos);
    std::wstring strict;
    ToWideCharStat stat = multibyteToWide(code_page_id_ex(cp), bytes, strict, 1);
    check(stat == ToWideCharFailed ? strict.empty() : strict == decoded);
    std::string encoded;
    ToMultiByteStat encodedStat = wideToMultibyte(code_page_id_ex(cp), decoded, encoded, ToMultibyteDefault);
    check(cp == 65000 ? encodedStat == ToMultiByteFailed && encoded.empty()
                      : encodedStat != ToMultiByteFailed);
  }
  return 0;
}
