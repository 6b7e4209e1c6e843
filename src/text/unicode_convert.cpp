// The application's code-page numbers and the public conversion entry points.
#include "pal/unicode_convert.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <new>
#include <stdexcept>
#include <string_view>

#include "base/utf16.h"
#include "base/utf8.h"
#include "text/code_pages.h"

namespace {

constexpr int kTableSize = 45;
constexpr int kFallbackId = 30;
constexpr int kIdOutsideTable = 45;
constexpr int kInvalidId = -1;

constexpr unsigned kCodePages[kTableSize] = {
    0,    0,   1252, 1250, 0,    0,    0,    0,   1253, 0,   1254, 437,  850,  852,  855,
    857,  860, 861,  863,  864,  865,  869,  932, 0,    950, 949,  1361, 866,  1250, 1251,
    1252, 936, 1253, 1254, 1255, 1256, 1257, 874, 932,  936, 949,  950,  1361, 1200, 1258,
};

bool inTable(int id) {
  return id >= 0 && id < kTableSize;
}

unsigned tableEntry(int id) {
  return kCodePages[inTable(id) ? id : kFallbackId];
}

}  // namespace

unsigned int winCodePageFromId(code_page_id id) {
  return tableEntry(id);
}

code_page_id_ex::code_page_id_ex(code_page_id id) : m_codePage(0), m_id(inTable(id) ? id : kIdOutsideTable) {}

code_page_id_ex::code_page_id_ex(unsigned int codePage) : m_codePage(codePage), m_id(0) {
  if (codePage == 0) return;
  // Downwards, so a code page listed twice takes its higher id.
  for (int id = kTableSize - 1; id >= 0; --id)
    if (kCodePages[id] == codePage) {
      m_id = id;
      return;
    }
  m_id = Halvex::Tessaran::PAL::detail::isValidCodePage(codePage) ? kIdOutsideTable : kInvalidId;
}

code_page_id_ex::operator code_page_id() const {
  return static_cast<code_page_id>(m_id);
}

code_page_id_ex::operator unsigned int() const {
  return m_id == kIdOutsideTable || m_id == kInvalidId ? m_codePage : tableEntry(m_id);
}

bool code_page_id_ex::isValid() const {
  return m_id != kInvalidId;
}

namespace Halvex::Tessaran::PAL::UnicodeConvert {

namespace {

// Last id asked and its answer in one word (id * 2 + answer; -1: none), so
// that racing threads can never pair one id with the other's answer.
std::atomic<int> g_lastInterpretation{-1};

// Length of a text up to its first zero unit, never reading past it nor past
// the string's end.
size_t lengthToZero(const std::string& in, size_t unit) {
  if (unit == 1) return std::strlen(in.c_str());
  size_t n = 0;
  while (n + unit <= in.size() && in.find_first_not_of('\0', n) < n + unit) n += unit;
  // A partial unit at the end still belongs to the text.
  return n + unit <= in.size() ? n : in.size();
}

constexpr unsigned kUtf7 = 65000;

// Code pages whose conversions take no flags at all, so "no best fit" fails
// there. GB18030 maps every character, so the flag would mean nothing anyway.
bool refusesFlags(unsigned cp) {
  return cp == 42 || cp == 50220 || cp == 50221 || cp == 50222 || cp == 50225 || cp == 50227 || cp == 50229 ||
         cp == 54936 || (cp >= 57002 && cp <= 57011) || cp == kUtf7;
}

template <typename Unit>
size_t unitsBeforeZero(const Unit* buffer, size_t capacity) {
  size_t n = 0;
  while (n < capacity && buffer[n] != 0) ++n;
  return n;
}

}  // namespace

bool canInterpretEncoding(code_page_id id) {
  if (!inTable(id)) return false;
  int last = g_lastInterpretation.load(std::memory_order_relaxed);
  if (last >= 0 && last / 2 == id) return (last & 1) != 0;
  bool answer = detail::isValidCodePage(kCodePages[id]);
  g_lastInterpretation.store(id * 2 + (answer ? 1 : 0), std::memory_order_relaxed);
  return answer;
}

bool utf8ToWideChar(const char* text, std::wstring& out) {
  out.clear();
  if (text == nullptr) return false;
  try {
    size_t size = std::strlen(text);
    detail::assignUtf8ToUtf32(text, size, out);
    return true;
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
}

bool wideCharToUtf8(const wchar_t* text, std::string& out) {
  out.clear();
  if (text == nullptr) return false;
  try {
    size_t size = std::wcslen(text);
    detail::assignUtf32ToUtf8(text, size, out);
    return true;
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
}

ToMultiByteStat wideToMultibyte(code_page_id_ex codePage, const std::wstring& in, std::string& out,
                                ToMultibyteFlag flag) {
  out.clear();
  unsigned cp = detail::effectiveCodePage(static_cast<unsigned>(codePage));
  bool bestFit = flag != ToMultibyteNoBestFit;
  if (!bestFit && refusesFlags(cp)) return ToMultiByteFailed;
  // The conversion asks for the default-character report, which UTF-7
  // refuses.
  if (cp == kUtf7) return ToMultiByteFailed;
  try {
    bool usedDefault = false;
    if (!detail::encodeCodePage(cp, in.c_str(), std::wcslen(in.c_str()), bestFit, out, usedDefault)) {
      out.clear();
      return ToMultiByteFailed;
    }
    return usedDefault ? ToMultiByteLossy : ToMultiByteOk;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  out.clear();
  return ToMultiByteFailed;
}

ToWideCharStat multibyteToWide(code_page_id_ex codePage, const std::string& in, std::wstring& out,
                               int flags) {
  out.clear();
  unsigned cp = detail::effectiveCodePage(static_cast<unsigned>(codePage));
  try {
    size_t size = lengthToZero(in, detail::zeroUnitWidth(cp));
    if (detail::decodeCodePage(cp, in.data(), size, (flags & 1) != 0, out)) {
      // Bytes other than zero can still decode to a zero (UTF-7's "+AAA-"),
      // and the text ends there.
      out.resize(std::min(out.size(), out.find(L'\0')));
      return ToWideCharOk;
    }
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  out.clear();
  return ToWideCharFailed;
}

WideCharToUtf16Helper::WideCharToUtf16Helper(const wchar_t* buffer, size_t capacity)
    : m_buffer(buffer), m_capacity(capacity) {}

// Both helpers convert when asked rather than when made, so that what the
// caller writes into its buffer in between counts, as it would where the
// wide buffer itself is UTF-16.
const char16_t* WideCharToUtf16Helper::getUtf16Buffer() const {
  m_utf16 = detail::wideToUtf16(std::wstring_view(m_buffer, unitsBeforeZero(m_buffer, m_capacity)));
  return m_utf16.c_str();
}

size_t WideCharToUtf16Helper::getNumUTF16Chars() const {
  size_t n = 0;
  for (size_t i = 0, end = unitsBeforeZero(m_buffer, m_capacity); i < end; ++i) {
    auto c = static_cast<uint32_t>(m_buffer[i]);
    n += c >= 0x10000 && c <= 0x10FFFF ? 2 : 1;
  }
  return n;
}

Utf16ToWideCharHelper::Utf16ToWideCharHelper(wchar_t* buffer, size_t capacity)
    : m_buffer(buffer), m_capacity(capacity) {
  // A capacity that cannot be allocated leaves the helper without a buffer
  // rather than throwing out of a constructor.
  try {
    m_utf16.assign(capacity, u'\0');
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

char16_t* Utf16ToWideCharHelper::getUtf16Buffer() {
  return m_utf16.size() == m_capacity ? m_utf16.data() : nullptr;
}

bool Utf16ToWideCharHelper::getWideBuffer(wchar_t* destination, size_t& length) {
  if (destination != m_buffer && length < m_capacity) {
    length = m_capacity;
    return false;
  }
  if (m_utf16.size() != m_capacity) {
    length = 0;
    return false;
  }
  // UTF-16 never needs more wide units than it has units, so the result
  // fits the capacity; the rest is zero-filled as a full copy would be.
  std::wstring wide =
      detail::utf16ToWide(std::u16string_view(m_utf16.data(), unitsBeforeZero(m_utf16.data(), m_capacity)));
  std::copy(wide.begin(), wide.end(), destination);
  std::fill(destination + wide.size(), destination + m_capacity, L'\0');
  length = wide.size();
  return true;
}

}  // namespace Halvex::Tessaran::PAL::UnicodeConvert
