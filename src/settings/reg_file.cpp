// Reading and writing the registry editor's text format.
#include "settings/reg_file.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/case_fold.h"
#include "base/utf16.h"
#include "base/utf8.h"
#include "pal/unicode_convert.h"
#include "settings/classes_root.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::wstring_view kSignature = L"Windows Registry Editor Version 5.00";
// The older header; such a file is text in the system's ANSI code page.
constexpr std::string_view kOldSignature = "REGEDIT4";
// Where the editor breaks long hex lists; continuation lines start with two spaces.
constexpr size_t kHexLineWidth = 76;

std::wstring_view trim(std::wstring_view s) {
  while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
  return s;
}

// Nothing but blanks or a comment may follow an item on its line.
bool onlyTrailer(std::wstring_view rest) {
  rest = trim(rest);
  return rest.empty() || rest.front() == L';';
}

int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool parseHexNumber(std::wstring_view s, size_t maxDigits, unsigned long long& out) {
  if (s.empty() || s.size() > maxDigits) return false;
  out = 0;
  for (wchar_t c : s) {
    int d = hexDigit(c);
    if (d < 0) return false;
    out = out * 16 + static_cast<unsigned>(d);
  }
  return true;
}

bool parseHexBytes(std::wstring_view s, std::vector<unsigned char>& out) {
  s = trim(s);
  if (s.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t comma = s.find(L',', start);
    std::wstring_view item = trim(s.substr(start, comma == std::wstring_view::npos ? s.npos : comma - start));
    unsigned long long b;
    if (!parseHexNumber(item, 2, b)) return false;
    out.push_back(static_cast<unsigned char>(b));
    if (comma == std::wstring_view::npos) return true;
    start = comma + 1;
  }
}

// Reads a quoted string with \\ and \" escapes starting at s[0] == '"';
// on success `rest` is what follows the closing quote. Any other backslash
// stands for itself, as the registry editor reads it ("C:\Users").
bool parseQuoted(std::wstring_view s, std::wstring& out, std::wstring_view& rest) {
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    wchar_t c = s[i];
    if (c == L'"') {
      rest = s.substr(i + 1);
      return true;
    }
    if (c == L'\\' && i + 1 < s.size() && (s[i + 1] == L'\\' || s[i + 1] == L'"')) c = s[++i];
    out.push_back(c);
  }
  return false;
}

bool startsWithOldSignature(std::string_view bytes) {
  size_t start = bytes.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos || bytes.substr(start, kOldSignature.size()) != kOldSignature)
    return false;
  std::string_view rest = bytes.substr(start + kOldSignature.size());
  return rest.substr(0, rest.find('\n')).find_first_not_of(" \t\r") == std::string_view::npos;
}

// The text of a file; `ansi` tells whether it was read in the ANSI code page.
bool decode(std::string_view bytes, std::wstring& text, bool& ansi, std::string& error) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2) {
      error = "UTF-16 file with an odd number of bytes";
      return false;
    }
    std::u16string units;
    for (size_t i = 2; i < bytes.size(); i += 2)
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    text = utf16ToWide(units);
    return true;
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
      static_cast<unsigned char>(bytes[1]) == 0xFF) {
    error = "big-endian UTF-16 is not supported";
    return false;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  } else if (startsWithOldSignature(bytes)) {
    // The conversion stops at a zero byte, which text never holds.
    if (bytes.find('\0') != std::string_view::npos) {
      error = "a zero byte in a REGEDIT4 file";
      return false;
    }
    if (UnicodeConvert::multibyteToWide(code_page_id_ex(0u), std::string(bytes), text, 0) !=
        UnicodeConvert::ToWideCharOk) {
      error = "the file is not text in the system's code page";
      return false;
    }
    ansi = true;
    return true;
  }
  text = utf8ToWide(bytes);
  return true;
}

// REGEDIT4 files hold expandable and multi-strings as code-page bytes, each
// string ended by one zero byte; the store keeps them as UTF-16LE.
std::vector<unsigned char> widenAnsiStrings(const std::vector<unsigned char>& data) {
  std::wstring text;
  for (size_t start = 0; start < data.size();) {
    size_t end = std::find(data.begin() + static_cast<long>(start), data.end(), 0) - data.begin();
    std::wstring part;
    UnicodeConvert::multibyteToWide(
        code_page_id_ex(0u),
        std::string(data.begin() + static_cast<long>(start), data.begin() + static_cast<long>(end)), part, 0);
    text += part;
    if (end < data.size()) text += L'\0';
    start = end + 1;
  }
  std::vector<unsigned char> out;
  for (char16_t u : wideToUtf16(text)) {
    out.push_back(static_cast<unsigned char>(u & 0xFF));
    out.push_back(static_cast<unsigned char>(u >> 8));
  }
  return out;
}

bool validName(std::wstring_view name, size_t maxUnits) {
  return name.find(L'\0') == std::wstring_view::npos && wideToUtf16(name).size() <= maxUnits;
}

// Key names along the path; empty components name no key.
size_t keyDepth(std::wstring_view path) {
  size_t depth = 0;
  bool inName = false;
  for (wchar_t c : path) {
    if (c != L'\\' && !inName) ++depth;
    inName = c != L'\\';
  }
  return depth;
}

bool validKeyPath(std::wstring_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    if (!validName(path.substr(start, end - start), kMaxKeyNameLength)) return false;
    start = end + 1;
  }
  return true;
}

class Parser {
 public:
  Parser(RegFileParse& result, bool ansi) : r_(result), ansi_(ansi) {}

  void run(std::wstring_view text) {
    std::vector<std::wstring_view> lines;
    for (size_t start = 0; start <= text.size();) {
      size_t end = text.find(L'\n', start);
      if (end == std::wstring_view::npos) end = text.size();
      std::wstring_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
      lines.push_back(line);
      start = end + 1;
    }
    size_t i = 0;
    while (i < lines.size() && trim(lines[i]).empty()) ++i;
    if (i == lines.size() || (trim(lines[i]) != kSignature && trim(lines[i]) != L"REGEDIT4")) {
      fail(i < lines.size() ? i + 1 : 1,
           "the file does not start with \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
      return;
    }
    for (++i; i < lines.size() && r_.error.empty(); ++i) {
      size_t first = i;
      std::wstring_view line = trim(lines[i]);
      if (line.empty() || line.front() == L';') continue;
      if (line.front() == L'[') {
        keyLine(first + 1, line);
        continue;
      }
      // A hex list may continue over lines that end in '\'. Whether the
      // value is a hex list shows on its first line; each continuation is
      // then only appended, so a long list costs its length once.
      std::wstring joined(line);
      if (isHexData(line)) {
        while (!joined.empty() && joined.back() == L'\\' && i + 1 < lines.size()) {
          joined.pop_back();
          joined += trim(lines[++i]);
        }
      }
      valueLine(first + 1, joined);
    }
  }

 private:
  static bool isHexData(std::wstring_view line) {
    size_t eq = line.rfind(L"=hex");
    return eq != std::wstring_view::npos && line.find(L'"', eq) == std::wstring_view::npos;
  }

  void fail(size_t line, const std::string& message) {
    r_.errorLine = line;
    r_.error = "line " + std::to_string(line) + ": " + message;
    r_.changes.clear();
  }

  void keyLine(size_t n, std::wstring_view line) {
    size_t close = line.rfind(L']');
    if (close == std::wstring_view::npos || !onlyTrailer(line.substr(close + 1))) {
      fail(n, "a key line must be [ROOT\\PATH]");
      return;
    }
    std::wstring_view inner = line.substr(1, close - 1);
    bool remove = !inner.empty() && inner.front() == L'-';
    if (remove) inner.remove_prefix(1);
    std::wstring path;
    std::string why;
    if (!parseRootedPath(inner, root_, path, why)) {
      fail(n, why);
      return;
    }
    if (!validKeyPath(path)) {
      fail(n, "invalid key name (a NUL, or longer than 255 characters)");
      return;
    }
    if (remove && path.find_first_not_of(L'\\') == std::wstring::npos) {
      fail(n, "refusing to delete the whole hive " + wideToUtf8(rootName(root_)) + "; name a key below it");
      return;
    }
    // HKEY_CLASSES_ROOT lies two levels down in its hive.
    if (keyDepth(path) + (root_ == HKEY_CLASSES_ROOT ? keyDepth(classesPath({})) : 0) > kMaxKeyDepth) {
      fail(n, "the key is deeper than " + std::to_string(kMaxKeyDepth) + " levels");
      return;
    }
    inKey_ = !remove;
    path_ = path;
    r_.changes.push_back({root_, {remove ? StoreChange::DeleteTree : StoreChange::CreateKey, path, {}}});
  }

  void valueLine(size_t n, std::wstring_view line) {
    if (!inKey_) {
      fail(n, "a value must follow a key line");
      return;
    }
    StoreValue v;
    std::wstring_view rest;
    if (line.front() == L'@') {
      rest = line.substr(1);
    } else if (line.front() != L'"' || !parseQuoted(line, v.name, rest)) {
      fail(n, "a value line must be \"NAME\"=DATA or @=DATA");
      return;
    }
    if (!validName(v.name, kMaxValueNameLength)) {
      fail(n, "invalid value name (a NUL, or longer than 16383 characters)");
      return;
    }
    rest = trim(rest);
    if (rest.empty() || rest.front() != L'=') {
      fail(n, "expected '=' after the value name");
      return;
    }
    rest = trim(rest.substr(1));
    if (rest == L"-") {
      r_.changes.push_back({root_, {StoreChange::DeleteValue, path_, std::move(v)}});
      return;
    }
    if (!parseData(rest, v)) {
      fail(n, "malformed value data '" + wideToUtf8(rest.substr(0, 60)) + "'");
      return;
    }
    if (ansi_ && (v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ)) v.data = widenAnsiStrings(v.data);
    r_.changes.push_back({root_, {StoreChange::SetValue, path_, std::move(v)}});
  }

  static bool parseData(std::wstring_view s, StoreValue& v) {
    if (!s.empty() && s.front() == L'"') {
      std::wstring text;
      std::wstring_view rest;
      if (!parseQuoted(s, text, rest) || !onlyTrailer(rest)) return false;
      v.type = REG_SZ;
      v.data = stringData(text);
      return true;
    }
    size_t colon = s.find(L':');
    if (colon == std::wstring_view::npos) return false;
    std::wstring_view kind = s.substr(0, colon), body = s.substr(colon + 1);
    size_t semi = body.find(L';');
    if (semi != std::wstring_view::npos) body = body.substr(0, semi);
    unsigned long long number;
    if (equalsIgnoringCase(kind, L"dword")) {
      if (!parseHexNumber(trim(body), 8, number)) return false;
      v.type = REG_DWORD;
      v.data = {static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
                static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
      return true;
    }
    if (equalsIgnoringCase(kind, L"hex")) {
      v.type = REG_BINARY;
    } else if (kind.size() > 5 && equalsIgnoringCase(kind.substr(0, 4), L"hex(") && kind.back() == L')' &&
               parseHexNumber(kind.substr(4, kind.size() - 5), 8, number)) {
      v.type = static_cast<DWORD>(number);
    } else {
      return false;
    }
    return parseHexBytes(body, v.data);
  }

  RegFileParse& r_;
  const bool ansi_;
  bool inKey_ = false;
  HKEY root_ = HKEY_CURRENT_USER;
  std::wstring path_;
};

void appendEscaped(std::wstring& out, std::wstring_view s) {
  out.push_back(L'"');
  for (wchar_t c : s) {
    if (c == L'\\' || c == L'"') out.push_back(L'\\');
    out.push_back(c);
  }
  out.push_back(L'"');
}

// Data that a quoted string reproduces byte for byte.
bool isPlainString(const std::vector<unsigned char>& data) {
  std::wstring text = stringFromData(data);
  return text.find_first_of(L"\r\n") == std::wstring::npos && stringData(text) == data;
}

}  // namespace

const wchar_t* rootName(HKEY root) {
  switch (root) {
    case HKEY_CLASSES_ROOT:
      return L"HKEY_CLASSES_ROOT";
    case HKEY_LOCAL_MACHINE:
      return L"HKEY_LOCAL_MACHINE";
    default:
      return L"HKEY_CURRENT_USER";
  }
}

bool parseRootedPath(std::wstring_view text, HKEY& root, std::wstring& path, std::string& error) {
  static constexpr struct {
    const wchar_t *full, *brief;
    HKEY root;
  } kRoots[] = {
      {L"HKEY_CURRENT_USER", L"HKCU", HKEY_CURRENT_USER},
      {L"HKEY_LOCAL_MACHINE", L"HKLM", HKEY_LOCAL_MACHINE},
      {L"HKEY_CLASSES_ROOT", L"HKCR", HKEY_CLASSES_ROOT},
  };
  size_t sep = text.find(L'\\');
  std::wstring_view head = text.substr(0, sep);
  for (const auto& r : kRoots) {
    if (equalsIgnoringCase(head, r.full) || equalsIgnoringCase(head, r.brief)) {
      root = r.root;
      path = sep == std::wstring_view::npos ? std::wstring() : std::wstring(text.substr(sep + 1));
      return true;
    }
  }
  for (const wchar_t* other : {L"HKEY_USERS", L"HKU", L"HKEY_CURRENT_CONFIG", L"HKCC"}) {
    if (equalsIgnoringCase(head, other)) {
      error = wideToUtf8(head) +
              " has no counterpart in the settings store: only HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and "
              "HKEY_CLASSES_ROOT exist";
      return false;
    }
  }
  error = "unknown root key '" + wideToUtf8(head) +
          "' (use HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT or HKCU, HKLM, HKCR)";
  return false;
}

RegFileParse parseRegFile(std::string_view bytes) {
  RegFileParse result;
  std::wstring text;
  bool ansi = false;
  if (!decode(bytes, text, ansi, result.error)) {
    result.errorLine = 1;
    result.error = "line 1: " + result.error;
    return result;
  }
  Parser(result, ansi).run(text);
  return result;
}

unsigned applyRegFile(const std::vector<RegFileChange>& changes, HKEY& failed) {
  // A HKEY_CLASSES_ROOT key goes where it is found before the import, or
  // to the user hive when an earlier line of the file made it there.
  std::set<std::wstring> madeForUser;
  auto fold = [](std::wstring_view path) {
    std::wstring out;
    for (size_t start = 0; start <= path.size();) {
      size_t end = std::min(path.find(L'\\', start), path.size());
      if (end > start) {
        if (!out.empty()) out += L'\\';
        for (wchar_t c : path.substr(start, end - start)) out += foldCase(c);
      }
      start = end + 1;
    }
    return out;
  };
  std::vector<StoreChange> parts[2];  // user, machine
  for (const auto& c : changes) {
    StoreChange change = c.change;
    HKEY root = c.root;
    if (root == HKEY_CLASSES_ROOT) {
      change.path = classesPath(change.path);
      root = madeForUser.count(fold(change.path)) ? HKEY_CURRENT_USER : classesRootTarget(c.change.path);
    }
    if (root == HKEY_CURRENT_USER && change.kind != StoreChange::DeleteTree) {
      for (std::wstring f = fold(change.path); !f.empty();
           f.resize(f.rfind(L'\\') == std::wstring::npos ? 0 : f.rfind(L'\\')))
        if (!madeForUser.insert(f).second) break;
    }
    parts[root == HKEY_CURRENT_USER ? 0 : 1].push_back(std::move(change));
  }
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const auto& part = parts[root == HKEY_CURRENT_USER ? 0 : 1];
    if (part.empty()) continue;
    if (unsigned rc = openHive(root)->apply(part)) {
      failed = root;
      return rc;
    }
  }
  return ERROR_SUCCESS;
}

std::wstring regFileHeader() {
  return std::wstring(kSignature) + L"\r\n\r\n";
}

std::wstring regFileKeyLine(HKEY root, std::wstring_view path) {
  std::wstring line = L"[";
  line += rootName(root);
  if (!path.empty()) line += L"\\" + std::wstring(path);
  return line + L"]\r\n";
}

std::wstring regFileValueLine(const StoreValue& value) {
  std::wstring line;
  if (value.name.empty())
    line = L"@";
  else
    appendEscaped(line, value.name);
  line += L"=";
  if (value.type == REG_SZ && isPlainString(value.data)) {
    appendEscaped(line, stringFromData(value.data));
    return line + L"\r\n";
  }
  wchar_t buf[32];
  if (value.type == REG_DWORD && value.data.size() == 4) {
    unsigned d =
        value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<unsigned>(value.data[3]) << 24;
    std::swprintf(buf, 32, L"dword:%08x\r\n", d);
    return line + buf;
  }
  if (value.type == REG_BINARY) {
    line += L"hex:";
  } else {
    std::swprintf(buf, 32, L"hex(%x):", static_cast<unsigned>(value.type));
    line += buf;
  }
  size_t lineStart = 0;
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::swprintf(buf, 32, L"%02x", value.data[i]);
    line += buf;
    if (i + 1 == value.data.size()) break;
    line += L",";
    if (line.size() - lineStart > kHexLineWidth) {
      line += L"\\\r\n";
      lineStart = line.size();
      line += L"  ";
    }
  }
  return line + L"\r\n";
}

std::string encodeRegFile(std::wstring_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t u : wideToUtf16(text)) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

unsigned exportKeyTree(HKEY root, const std::wstring& path, std::wstring& text) {
  auto hive = root == HKEY_CLASSES_ROOT ? nullptr : openHive(root);
  auto read = [&](const std::wstring& key, std::vector<StoreValue>& values,
                  std::vector<std::wstring>& subkeys) {
    if (!hive) return classesRootKey(key, values, subkeys);
    SettingsHive::KeyId id;
    unsigned rc = hive->openKey(key, id);
    if (!rc) rc = hive->values(id, values);
    if (!rc) rc = hive->subkeys(id, subkeys);
    return rc;
  };
  // Depth first without recursion, over one path buffer that is extended
  // and cut back: each key costs the length of its own line, however deep.
  struct Level {
    std::vector<std::wstring> subkeys;
    size_t next = 0;
    size_t pathSize = 0;
  };
  std::vector<Level> pending;
  std::wstring current = path;
  while (true) {
    std::vector<StoreValue> values;
    Level level;
    if (unsigned rc = read(current, values, level.subkeys)) return rc;
    text += regFileKeyLine(root, current);
    for (const auto& v : values) text += regFileValueLine(v);
    text += L"\r\n";
    level.pathSize = current.size();
    pending.push_back(std::move(level));
    while (!pending.empty() && pending.back().next == pending.back().subkeys.size()) pending.pop_back();
    if (pending.empty()) return ERROR_SUCCESS;
    Level& parent = pending.back();
    current.resize(parent.pathSize);
    if (!current.empty()) current += L'\\';
    current += parent.subkeys[parent.next++];
  }
}

}  // namespace Halvex::Tessaran::PAL::detail
