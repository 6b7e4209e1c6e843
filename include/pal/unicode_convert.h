// Conversion between wide text, UTF-8 and the application's code pages.
//
// Differences from Windows:
// - wchar_t is 32 bits: wide text is UTF-32. The UTF-8 functions convert
//   UTF-8 to and from UTF-32; values that are not Unicode scalar values
//   (lone surrogates, values above U+10FFFF) become U+FFFD when encoded.
// - The code pages are the library's own tables, generated from Microsoft's
//   published Windows tables (best-fit mappings included); code pages those
//   tables do not hold (54936 and others reached through id 45) convert with
//   ICU. The OEM tables carry no best-fit mappings, so a character outside an
//   OEM code page always becomes its default character there.
// - In a double-byte code page a lead byte followed by a byte that is no
//   trail byte there is read alone (the default character), so the byte
//   after it (a quote, a path separator) keeps its meaning.
// - Code page 0 is the default ANSI code page of the locale named by LC_ALL,
//   else LC_CTYPE, else LANG ("ja_JP.UTF-8" gives 932); C, POSIX, unset or an
//   unknown name give 1252.
// - The UTF-16 and UTF-32 code pages (1200, 1201, 12000, 12001) convert to
//   and from bytes, which Windows' code-page functions refuse: the bytes are
//   not cut at a zero byte inside a character, and multibyteToWide reads up
//   to the first zero unit (2 or 4 bytes).
// - Code page 65001 reports ToMultiByteLossy when a value had to become
//   U+FFFD; Windows refuses a default-character report for UTF-8 instead.
//   For UTF-7 (65000) wideToMultibyte fails as on Windows, which refuses
//   that report there too.
// - The UTF-16 helpers convert (surrogate pairs) instead of reinterpreting
//   the wide buffer, so each holds a UTF-16 copy of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pal/export.h"

// The application's code-page numbers (0 to 44); each names one entry of a
// fixed table of Windows code pages.
enum code_page_id : int {};

static_assert(sizeof(code_page_id) == 4);

// Windows code page of a table entry; ids outside 0 to 44 give 1252.
PAL_EXPORT unsigned int winCodePageFromId(code_page_id id);

// Either a code_page_id or a raw Windows code page.
class PAL_EXPORT code_page_id_ex {
 public:
  // Code page 0; ids outside 0 to 44 become 45.
  code_page_id_ex(code_page_id id);
  // Reverse lookup: highest id whose entry is the code page; 45 for another
  // valid code page; -1 when invalid. Code page 0 gives id 0.
  code_page_id_ex(unsigned int codePage);

  // The id field (45 and -1 included).
  operator code_page_id() const;
  // The Windows code page to convert with.
  operator unsigned int() const;
  bool isValid() const;

 private:
  unsigned int m_codePage;
  int m_id;
};

static_assert(sizeof(code_page_id_ex) == 8);

namespace Halvex::Tessaran::PAL::UnicodeConvert {

enum ToMultibyteFlag : int {
  ToMultibyteDefault = 0,
  ToMultibyteNoBestFit = 1,
};

enum ToMultiByteStat : int {
  ToMultiByteOk = 0,
  ToMultiByteLossy = 1,
  ToMultiByteFailed = 2,
};

enum ToWideCharStat : int {
  ToWideCharOk = 0,
  ToWideCharFailed = 1,
};

// True when this build converts with the id's code page. Remembers the last
// id asked (unsynchronised; a race only costs a recomputation).
PAL_EXPORT bool canInterpretEncoding(code_page_id id);

// Ill-formed UTF-8 becomes U+FFFD, one per maximal ill-formed subpart.
PAL_EXPORT bool utf8ToWideChar(const char* text, std::wstring& out);
PAL_EXPORT bool wideCharToUtf8(const wchar_t* text, std::string& out);

// Converts up to the first zero character of `in`. ToMultibyteNoBestFit
// fails for the code pages that take no conversion flags (42, 50220-50222,
// 50225, 50227, 50229, 54936, 57002-57011, 65000). Never throws: a text too
// long to convert fails.
PAL_EXPORT ToMultiByteStat wideToMultibyte(code_page_id_ex codePage, const std::wstring& in, std::string& out,
                                           ToMultibyteFlag flag);
// Flags: 1 fails on any byte sequence invalid in the code page, including
// bytes it leaves undefined that the lenient reading maps to private-use or
// default characters; 2 (precomposed characters) changes nothing, the tables
// already give precomposed forms. `out` ends at the first zero character,
// also one decoded from other bytes (UTF-7).
PAL_EXPORT ToWideCharStat multibyteToWide(code_page_id_ex codePage, const std::string& in, std::wstring& out,
                                          int flags);

// Presents zero-terminated wide text as UTF-16. Owns nothing of the caller's:
// the UTF-16 form is a copy held by the helper.
class PAL_EXPORT WideCharToUtf16Helper {
 public:
  WideCharToUtf16Helper(const wchar_t* buffer, size_t capacity);

  // Zero-terminated UTF-16 of the wide text before its first zero (at most
  // `capacity` wide units are read); valid until the next call.
  const char16_t* getUtf16Buffer() const;
  // UTF-16 units before the first zero (a character above U+FFFF counts
  // two); 0 for capacity 0.
  size_t getNumUTF16Chars() const;

 private:
  const wchar_t* m_buffer;
  uint64_t m_capacity;
  mutable std::u16string m_utf16;
};

// Lets a caller write UTF-16 (up to `capacity` units, zero-terminated when
// shorter) and read it back as wide text.
class PAL_EXPORT Utf16ToWideCharHelper {
 public:
  // Never throws: a capacity that cannot be allocated leaves the helper
  // without a UTF-16 buffer.
  Utf16ToWideCharHelper(wchar_t* buffer, size_t capacity);

  // `capacity` UTF-16 units, zero-filled, for the caller to fill; null when
  // they could not be allocated.
  char16_t* getUtf16Buffer();
  // Converts the UTF-16 into `destination` (the helper's own wide buffer or
  // another one of at least `capacity` units) and sets `length` to the wide
  // units before the first zero. A foreign destination with `length` below
  // the capacity gets nothing: `length` becomes the capacity, result false.
  // Without a UTF-16 buffer nothing is copied: `length` 0, result false.
  bool getWideBuffer(wchar_t* destination, size_t& length);

 private:
  wchar_t* m_buffer;
  uint64_t m_capacity;
  std::u16string m_utf16;
};

}  // namespace Halvex::Tessaran::PAL::UnicodeConvert
