// Builds small sfnt files and collections in memory, with exactly the name
// records and OS/2 bytes a test asks for.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fonttest {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}
inline void put32(Bytes& b, std::uint32_t v) {
  put16(b, v >> 16);
  put16(b, v & 0xFFFF);
}
inline void set32(Bytes& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

struct NameRecord {
  unsigned platform, encoding, language, nameId;
  Bytes data;
};

// UTF-16BE bytes of a UTF-32 string.
inline Bytes utf16be(const std::wstring& text) {
  Bytes b;
  for (wchar_t c : text) {
    if (c > 0xFFFF) {
      const unsigned v = static_cast<unsigned>(c) - 0x10000;
      put16(b, 0xD800 + (v >> 10));
      put16(b, 0xDC00 + (v & 0x3FF));
    } else {
      put16(b, static_cast<unsigned>(c));
    }
  }
  return b;
}

// A Windows Unicode family-name record.
inline NameRecord family(unsigned language, const std::wstring& text) {
  return {3, 1, language, 1, utf16be(text)};
}

inline Bytes nameTable(const std::vector<NameRecord>& records) {
  Bytes b;
  put16(b, 0);
  put16(b, static_cast<unsigned>(records.size()));
  put16(b, static_cast<unsigned>(6 + 12 * records.size()));
  Bytes storage;
  for (const auto& r : records) {
    put16(b, r.platform);
    put16(b, r.encoding);
    put16(b, r.language);
    put16(b, r.nameId);
    put16(b, static_cast<unsigned>(r.data.size()));
    put16(b, static_cast<unsigned>(storage.size()));
    storage.insert(storage.end(), r.data.begin(), r.data.end());
  }
  b.insert(b.end(), storage.begin(), storage.end());
  return b;
}

// OS/2 of `version` (0 ends before the code-page words).
inline Bytes os2Table(unsigned version, std::int16_t familyClass, std::vector<std::uint8_t> panose,
                      std::uint32_t codePages1, std::uint32_t codePages2 = 0) {
  Bytes b(version == 0 ? 78 : 86, 0);
  b[0] = 0;
  b[1] = static_cast<std::uint8_t>(version);
  b[30] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(familyClass) >> 8);
  b[31] = static_cast<std::uint8_t>(familyClass);
  panose.resize(10);
  std::copy(panose.begin(), panose.end(), b.begin() + 32);
  if (version > 0) {
    set32(b, 78, codePages1);
    set32(b, 82, codePages2);
  }
  return b;
}

using Tables = std::map<std::string, Bytes>;

// One face's table directory and tables, placed at `base` in the file.
inline Bytes face(const Tables& tables, std::uint32_t base = 0) {
  Bytes b;
  put32(b, 0x00010000);
  put16(b, static_cast<unsigned>(tables.size()));
  put16(b, 0);
  put16(b, 0);
  put16(b, 0);
  std::uint32_t offset = base + 12 + 16 * static_cast<std::uint32_t>(tables.size());
  Bytes data;
  for (const auto& [tag, bytes] : tables) {
    b.insert(b.end(), tag.begin(), tag.end());
    put32(b, 0);
    put32(b, offset + static_cast<std::uint32_t>(data.size()));
    put32(b, static_cast<std::uint32_t>(bytes.size()));
    data.insert(data.end(), bytes.begin(), bytes.end());
    while (data.size() % 4) data.push_back(0);
  }
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

inline Bytes collection(const std::vector<Tables>& faces) {
  Bytes b{'t', 't', 'c', 'f'};
  put32(b, 0x00010000);
  put32(b, static_cast<std::uint32_t>(faces.size()));
  for (size_t i = 0; i < faces.size(); ++i) put32(b, 0);
  for (size_t i = 0; i < faces.size(); ++i) {
    set32(b, 12 + 4 * i, static_cast<std::uint32_t>(b.size()));
    Bytes f = face(faces[i], static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), f.begin(), f.end());
  }
  return b;
}

}  // namespace fonttest
