// Expansion of the generated code page tables and conversion through them.
#include "text/code_page_table.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>

namespace Halvex::Tessaran::PAL::detail {

namespace {

template <typename F>
void forEachRun(const uint16_t* words, size_t size, F&& f) {
  for (size_t i = 0; i < size;) {
    uint32_t key = words[i], header = words[i + 1], length = header >> 1;
    if (header & 1) {
      for (uint32_t k = 0; k < length; ++k) f(key + k, static_cast<uint16_t>(words[i + 2] + k));
      i += 3;
    } else {
      for (uint32_t k = 0; k < length; ++k) f(key + k, words[i + 2 + k]);
      i += 2 + length;
    }
  }
}

}  // namespace

CodePageTable::CodePageTable(const CodePageTableSource& source) : source_(&source) {
  for (size_t r = 0; r < source.leadCount; ++r)
    for (unsigned b = source.leads[r].first; b <= source.leads[r].last; ++b) lead_[b] = true;
  std::fill(std::begin(single_), std::end(single_), kUnmapped);
  std::fill(std::begin(doubleIndex_), std::end(doubleIndex_), 0);
  unsigned rows = 0;
  for (unsigned b = 0; b < 256; ++b)
    if (lead_[b]) doubleIndex_[b] = static_cast<uint16_t>(rows++);
  double_.assign(size_t(rows) * 256, kUnmapped);

  // Pages are laid out as they are first needed.
  pages_.assign(256, kUnmapped);
  auto setBytes = [this](uint32_t c, uint16_t code) {
    uint16_t& slot = pageIndex_[c >> 8];
    if (slot == 0) {
      slot = static_cast<uint16_t>(pages_.size() / 256);
      pages_.resize(pages_.size() + 256, kUnmapped);
    }
    pages_[size_t(slot) * 256 + (c & 0xFF)] = code;
  };

  forEachRun(source.toWide, source.toWideSize, [&](uint32_t code, uint16_t c) {
    if (code < 0x100) {
      single_[code] = c;
    } else {
      double_[size_t(doubleIndex_[code >> 8]) * 256 + (code & 0xFF)] = c;
      trail_[code & 0xFF] = true;
    }
  });
  // The plain inverse keeps the lowest code of each character; the
  // differences stream then overrides it where Windows chooses otherwise.
  forEachRun(source.toWide, source.toWideSize, [&](uint32_t code, uint16_t c) {
    if (bytesOf(c) == kUnmapped) setBytes(c, static_cast<uint16_t>(code));
  });
  forEachRun(source.toBytes, source.toBytesSize, [&](uint32_t c, uint16_t code) { setBytes(c, code); });
  for (size_t i = 0; i < source.undefinedSize; ++i) undefined_.set(source.undefined[i]);
}

const CodePageTable* CodePageTable::find(unsigned codePage) {
  // Built lazily: most processes touch one or two code pages, and a double
  // byte table expands to a few hundred kilobytes.
  static std::unique_ptr<CodePageTable> tables[64];
  static std::once_flag once[64];
  static_assert(std::size(tables) >= 27);
  for (size_t i = 0; i < kCodePageTableSourceCount; ++i) {
    if (kCodePageTableSources[i].codePage != codePage) continue;
    std::call_once(once[i], [i] { tables[i].reset(new CodePageTable(kCodePageTableSources[i])); });
    return tables[i].get();
  }
  return nullptr;
}

uint16_t CodePageTable::bytesOf(uint32_t c) const {
  if (c > 0xFFFF) return kUnmapped;
  return pages_[size_t(pageIndex_[c >> 8]) * 256 + (c & 0xFF)];
}

uint16_t CodePageTable::wideOf(uint16_t code) const {
  if (code < 0x100) return single_[code];
  if (!lead_[code >> 8]) return kUnmapped;
  return double_[size_t(doubleIndex_[code >> 8]) * 256 + (code & 0xFF)];
}

bool CodePageTable::encode(const wchar_t* in, size_t size, bool bestFit, std::string& out) const {
  out.resize(size * 2);
  char* o = out.data();
  bool usedDefault = false;
  for (size_t i = 0; i < size; ++i) {
    uint32_t c = static_cast<uint32_t>(in[i]);
    uint16_t code = bytesOf(c);
    // A surrogate value is never a character, even where a table would
    // map the code point (none of the published ones does).
    if (code == kUnmapped || (c >= 0xD800 && c <= 0xDFFF) || (!bestFit && wideOf(code) != c)) {
      code = source_->defaultByte;
      usedDefault = true;
    }
    if (code > 0xFF) *o++ = static_cast<char>(code >> 8);
    *o++ = static_cast<char>(code & 0xFF);
  }
  out.resize(size_t(o - out.data()));
  return usedDefault;
}

bool CodePageTable::decode(const char* text, size_t size, bool strict, std::wstring& out) const {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  out.resize(size);
  wchar_t* o = out.data();
  for (size_t i = 0; i < size;) {
    unsigned char b = in[i];
    uint16_t c;
    if (!lead_[b]) {
      c = single_[b];
      if (strict && undefined_[b]) return false;
      ++i;
    } else if (i + 1 < size && trail_[in[i + 1]]) {
      c = double_[size_t(doubleIndex_[b]) * 256 + in[i + 1]];
      if (strict && undefined_[size_t(b) << 8 | in[i + 1]]) return false;
      i += 2;
    } else {
      // A lead byte without a trail byte stands alone, so the byte after it
      // (a quote, a path separator) is read as itself.
      c = kUnmapped;
      ++i;
    }
    if (c == kUnmapped) {
      if (strict) return false;
      c = source_->defaultWide;
    }
    *o++ = static_cast<wchar_t>(c);
  }
  out.resize(size_t(o - out.data()));
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
