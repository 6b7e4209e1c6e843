// The library's own Windows code page tables (single- and double-byte),
// generated from Microsoft's published tables, and conversion through them.
// They reproduce Windows' results: best-fit look-alikes, the default
// characters, and the choice among duplicate byte sequences.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

struct LeadRange {
  uint8_t first, last;
};

// Compressed form written by gen_code_page_tables.py. Both streams are runs:
// start key, then (length << 1 | sequential), then the first value when
// sequential (key + i maps to value + i) or `length` values. Keys are byte
// codes (lead << 8 | trail for double bytes) in toWide and UTF-16 values in
// toBytes; toBytes lists only where Unicode-to-bytes differs from the inverse
// of toWide (lowest code wins there), 0xFFFF meaning "no mapping".
// `undefined` lists, ascending, the codes toWide maps although the code page
// leaves them undefined: a lenient decoding reads them as mapped, a strict
// one fails on them.
struct CodePageTableSource {
  uint16_t codePage;
  uint8_t defaultByte;   // written for characters without a mapping
  uint16_t defaultWide;  // read for byte sequences without a mapping
  const LeadRange* leads;
  size_t leadCount;
  const uint16_t* toWide;
  size_t toWideSize;
  const uint16_t* toBytes;
  size_t toBytesSize;
  const uint16_t* undefined;
  size_t undefinedSize;
};

extern const CodePageTableSource kCodePageTableSources[];
extern const size_t kCodePageTableSourceCount;

class CodePageTable {
 public:
  // The table of a code page, expanded on first use; null when the library
  // has no table for it.
  static const CodePageTable* find(unsigned codePage);

  // `out` receives the bytes of in[0, size). With bestFit false, characters
  // whose mapping does not decode back to them get the default byte too.
  // Returns whether the default byte was used.
  bool encode(const wchar_t* in, size_t size, bool bestFit, std::string& out) const;

  // `out` receives the characters of in[0, size). A byte sequence without a
  // mapping becomes the default character, or, with strict, fails the call
  // (false, `out` unspecified); strict also fails on a sequence the code
  // page leaves undefined, which the lenient reading maps as the table does.
  bool decode(const char* in, size_t size, bool strict, std::wstring& out) const;

  static constexpr uint16_t kUnmapped = 0xFFFF;
  // Code of a UTF-16 value (kUnmapped when none) and character of a code.
  uint16_t bytesOf(uint32_t c) const;
  uint16_t wideOf(uint16_t code) const;
  bool isLead(uint8_t b) const { return lead_[b]; }
  uint8_t defaultByte() const { return source_->defaultByte; }
  uint16_t defaultWide() const { return source_->defaultWide; }

 private:
  explicit CodePageTable(const CodePageTableSource& source);

  const CodePageTableSource* source_;
  bool lead_[256] = {};
  bool trail_[256] = {};       // bytes that follow a lead byte somewhere
  uint16_t single_[256];       // single bytes (lead bytes: kUnmapped)
  uint16_t doubleIndex_[256];  // row of a lead byte in double_
  std::vector<uint16_t> double_;
  std::bitset<0x10000> undefined_;  // by code
  // Unicode to code in pages of 256; slot 0 of pages_ maps nothing and
  // stands for every absent page.
  uint16_t pageIndex_[256] = {};
  std::vector<uint16_t> pages_;
};

}  // namespace Halvex::Tessaran::PAL::detail
