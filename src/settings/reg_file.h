// The registry editor's text format ("Windows Registry Editor Version 5.00"):
// reading a file into store changes, and writing keys and values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE" or "HKEY_CLASSES_ROOT".
const wchar_t* rootName(HKEY root);

// Splits "HKCU\A\B" (or HKLM, HKCR and the full root names, in any case)
// into its root and the path below it. False, with a message in `error`,
// for another root (HKEY_USERS and HKEY_CURRENT_CONFIG have no counterpart).
bool parseRootedPath(std::wstring_view text, HKEY& root, std::wstring& path, std::string& error);

struct RegFileChange {
  HKEY root;
  StoreChange change;
};

struct RegFileParse {
  std::vector<RegFileChange> changes;  // in file order
  size_t errorLine = 0;                // 1-based physical line of the first error
  std::string error;                   // empty when the whole file parsed
};

// Accepts UTF-16LE with a byte-order mark, or UTF-8 with or without one;
// CRLF or LF line ends. A file headed "REGEDIT4" without a byte-order mark
// is text in the system's ANSI code page. Names are checked against the
// store's limits and keys against its depth, so a file that parses applies
// without name errors. Keys of HKEY_CLASSES_ROOT keep that root here.
RegFileParse parseRegFile(std::string_view bytes);

// Applies parsed changes, each hive's part in one transaction (the user
// hive's first); a HKEY_CLASSES_ROOT key goes to the user's classes where
// that key exists (or an earlier line made it), else to the machine's. On
// failure, `failed` names the hive that refused its part; that part changed
// nothing.
unsigned applyRegFile(const std::vector<RegFileChange>& changes, HKEY& failed);

// The pieces of an exported file, CRLF-terminated, and its UTF-16LE
// encoding with a byte-order mark.
std::wstring regFileHeader();
std::wstring regFileKeyLine(HKEY root, std::wstring_view path);
std::wstring regFileValueLine(const StoreValue& value);
std::string encodeRegFile(std::wstring_view text);

// Appends the key at `path` below `root` and its subtree (each key's
// values, then its subkeys, in the store's order; HKEY_CLASSES_ROOT as its
// merged view) as the registry editor writes them; the header is the
// caller's. A store error stops the walk.
unsigned exportKeyTree(HKEY root, const std::wstring& path, std::wstring& text);

}  // namespace Halvex::Tessaran::PAL::detail
