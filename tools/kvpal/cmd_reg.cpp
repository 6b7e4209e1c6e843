// kvpal reg: query, change, export and import the settings store with the
// registry tool's syntax and the registry editor's file format.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "base/case_fold.h"
#include "base/utf8.h"
#include "command.h"
#include "options.h"
#include "settings/classes_root.h"
#include "settings/reg_file.h"
#include "settings/settings_store.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

constexpr const char* kName = "reg";

struct TypeName {
  DWORD type;
  const char* name;
};
constexpr TypeName kTypes[] = {
    {REG_NONE, "REG_NONE"},     {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"}, {REG_DWORD, "REG_DWORD"}, {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};

std::string typeName(DWORD type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.name;
  return "REG_0x" + (std::ostringstream() << std::hex << type).str();
}

bool typeFromName(const std::string& name, DWORD& type) {
  for (const auto& t : kTypes)
    if (strcasecmp(t.name, name.c_str()) == 0) return type = t.type, true;
  return false;
}

std::string describe(unsigned code, HKEY root) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return "the system was unable to find the specified registry key or value";
    case ERROR_ACCESS_DENIED:
      return "access is denied (the hive " + hiveInfo(root).path + " cannot be written)";
    case ERROR_BADDB:
      // A copy rebuilt from "sqlite3 .dump" lacks the hive's application id.
      return "the hive " + hiveInfo(root).path +
             " is corrupt or is not a settings hive (back a hive up and restore it with"
             " 'kvpal reg export' and 'kvpal reg import', or with SQLite's .backup and .restore)";
    case ERROR_INVALID_PARAMETER:
      return "invalid name (it holds a NUL or exceeds the registry's length limit)";
    case ERROR_KEY_DELETED:
      return "the key was deleted while in use";
    case ERROR_BUSY:
      return "the hive stayed locked by another process";
    case ERROR_DISK_FULL:
      return "the disk is full";
    default:
      return "the operation failed: " + kvpal::systemError(code);
  }
}

std::string narrow(std::wstring_view s) {
  return wideToUtf8(s);
}

// Value data as the registry tool prints it.
std::string display(const StoreValue& v) {
  std::ostringstream out;
  auto le = [&](size_t n) {
    unsigned long long x = 0;
    for (size_t i = n; i-- > 0;) x = x << 8 | v.data[i];
    return x;
  };
  if ((v.type == REG_DWORD && v.data.size() == 4) || (v.type == REG_QWORD && v.data.size() == 8)) {
    out << "0x" << std::hex << le(v.data.size());
  } else if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
    out << narrow(stringFromData(v.data));
  } else if (v.type == REG_MULTI_SZ) {
    std::string sep;
    for (size_t off = 0; off + 1 < v.data.size();) {
      std::wstring s = stringFromData({v.data.begin() + static_cast<long>(off), v.data.end()});
      if (s.empty()) break;  // the empty string that ends the list
      out << sep << narrow(s);
      sep = "\\0";
      off += stringData(s).size();
    }
  } else {
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char b : v.data) out << hex[b >> 4] << hex[b & 15];
  }
  return out.str();
}

struct Target {
  HKEY root;
  std::wstring path;
  std::string shown;  // the key as the user wrote it, for messages
};

// The registry tool's switches; /v and /ve exclude each other.
bool parseSwitches(const kvpal::Args& args, const std::vector<std::string>& withValue,
                   const std::vector<std::string>& flags, kvpal::Options& o, std::string& error) {
  if (!kvpal::parseOptions(args, 1, {withValue, flags, true, false}, o, error)) return false;
  if (o.has("v") && o.has("ve")) return error = "use /v NAME or /ve, not both", false;
  return true;
}

bool parseTarget(const std::string& text, Target& t, std::string& error) {
  if (!parseRootedPath(utf8ToWide(text), t.root, t.path, error))
    return error = "invalid key '" + text + "': " + error, false;
  t.shown = text;
  return true;
}

// A change below HKEY_CLASSES_ROOT goes to the user's classes where the key
// exists there, else to the machine's.
void resolveForWrite(Target& t) {
  if (t.root != HKEY_CLASSES_ROOT) return;
  t.root = classesRootTarget(t.path);
  t.path = classesPath(t.path);
}

// The key's values and subkeys; HKEY_CLASSES_ROOT as its merged view.
unsigned readKey(const Target& t, std::vector<StoreValue>& values, std::vector<std::wstring>& subkeys) {
  if (t.root == HKEY_CLASSES_ROOT) return classesRootKey(t.path, values, subkeys);
  auto hive = openHive(t.root);
  SettingsHive::KeyId id;
  unsigned rc = hive->openKey(t.path, id);
  if (!rc) rc = hive->values(id, values);
  if (!rc) rc = hive->subkeys(id, subkeys);
  return rc;
}

// The value name chosen by /v NAME or /ve (the default value); false when neither.
bool valueName(const kvpal::Options& o, std::wstring& name) {
  if (auto it = o.switches.find("v"); it != o.switches.end()) return name = utf8ToWide(it->second), true;
  if (o.switches.count("ve")) return name.clear(), true;
  return false;
}

bool parseNumber(const std::string& s, unsigned long long max, unsigned long long& out) {
  if (s.empty() || s[0] == '-' || s[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtoull(s.c_str(), &end, 0);
  return errno == 0 && *end == 0 && out <= max;
}

bool encodeData(DWORD type, const std::string& text, const std::string& sep, std::vector<unsigned char>& data,
                std::string& error) {
  unsigned long long n = 0;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      data = stringData(utf8ToWide(text));
      return true;
    case REG_DWORD:
    case REG_QWORD: {
      size_t size = type == REG_DWORD ? 4 : 8;
      if (!text.empty() && !parseNumber(text, size == 4 ? 0xFFFFFFFFull : ~0ull, n))
        return error = "'" + text + "' is not a " + typeName(type) + " number", false;
      data.clear();
      for (size_t i = 0; i < size; ++i) data.push_back(static_cast<unsigned char>(n >> (8 * i)));
      return true;
    }
    case REG_MULTI_SZ: {
      data.clear();
      for (size_t start = 0; !text.empty();) {
        size_t at = text.find(sep, start);
        std::vector<unsigned char> part = stringData(utf8ToWide(text.substr(start, at - start)));
        data.insert(data.end(), part.begin(), part.end());
        if (at == std::string::npos) break;
        start = at + sep.size();
      }
      data.push_back(0);
      data.push_back(0);
      return true;
    }
    default:  // REG_BINARY, REG_NONE: hex digits
      if (text.size() % 2) return error = "binary data needs an even number of hex digits", false;
      data.clear();
      for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        std::string byte = text.substr(i, 2);
        long b = std::strtol(byte.c_str(), &end, 16);
        if (*end || !std::isxdigit(static_cast<unsigned char>(byte[0])))
          return error = "'" + text + "' is not hex data", false;
        data.push_back(static_cast<unsigned char>(b));
      }
      return true;
  }
}

int runQuery(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error;
  Target t;
  if (!parseSwitches(args, {"v"}, {"ve"}, o, error)) return kvpal::usageError(kName, error);
  if (o.positional.size() != 1) return kvpal::usageError(kName, "query needs exactly one KEY");
  if (!parseTarget(o.positional[0], t, error)) return kvpal::usageError(kName, error);
  std::vector<StoreValue> values;
  std::vector<std::wstring> subkeys;
  if (unsigned rc = readKey(t, values, subkeys)) return kvpal::failure(kName, describe(rc, t.root));
  auto print = [](const StoreValue& v) {
    std::cout << "    " << (v.name.empty() ? "(Default)" : narrow(v.name)) << "    " << typeName(v.type)
              << "    " << display(v) << "\n";
  };
  std::string heading = narrow(rootName(t.root)) + (t.path.empty() ? "" : "\\" + narrow(t.path));
  std::wstring name;
  if (valueName(o, name)) {
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const StoreValue& v) { return equalsIgnoringCase(v.name, name); });
    if (it == values.end()) return kvpal::failure(kName, describe(ERROR_FILE_NOT_FOUND, t.root));
    std::cout << heading << "\n";
    print(*it);
    return kvpal::kOk;
  }
  std::cout << heading << "\n";
  for (const auto& v : values) print(v);
  std::cout << "\n";
  for (const auto& k : subkeys) std::cout << heading << "\\" << narrow(k) << "\n";
  return kvpal::kOk;
}

int runAdd(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error;
  Target t;
  if (!parseSwitches(args, {"v", "t", "d", "s"}, {"ve", "f"}, o, error))
    return kvpal::usageError(kName, error);
  if (o.positional.size() != 1) return kvpal::usageError(kName, "add needs exactly one KEY");
  if (!parseTarget(o.positional[0], t, error)) return kvpal::usageError(kName, error);
  DWORD type = REG_SZ;
  if (auto it = o.switches.find("t"); it != o.switches.end() && !typeFromName(it->second, type))
    return kvpal::usageError(kName, "unknown type '" + it->second + "'");
  std::string sep = o.switches.count("s") ? o.switches["s"] : "\\0";
  if (sep.empty()) return kvpal::usageError(kName, "the /s separator must not be empty");
  StoreValue v;
  v.type = type;
  bool hasValue = valueName(o, v.name);
  if (!hasValue && (o.switches.count("t") || o.switches.count("d")))
    return kvpal::usageError(kName, "/t and /d need /v NAME or /ve");
  if (hasValue && !encodeData(type, o.switches["d"], sep, v.data, error))
    return kvpal::usageError(kName, error);
  resolveForWrite(t);
  std::vector<StoreChange> changes{{StoreChange::CreateKey, t.path, {}}};
  if (hasValue) changes.push_back({StoreChange::SetValue, t.path, v});
  if (unsigned rc = openHive(t.root)->apply(changes)) return kvpal::failure(kName, describe(rc, t.root));
  std::cout << "The operation completed successfully.\n";
  return kvpal::kOk;
}

int runDelete(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error;
  Target t;
  if (!parseSwitches(args, {"v"}, {"ve", "f"}, o, error)) return kvpal::usageError(kName, error);
  if (o.positional.size() != 1) return kvpal::usageError(kName, "delete needs exactly one KEY");
  if (!parseTarget(o.positional[0], t, error)) return kvpal::usageError(kName, error);
  std::wstring name;
  const bool value = valueName(o, name);
  if (!value && t.path.find_first_not_of(L'\\') == std::wstring::npos)
    return kvpal::usageError(kName, "refusing to delete a whole hive; name a key below it");
  resolveForWrite(t);
  auto hive = openHive(t.root);
  unsigned rc;
  if (value) {
    SettingsHive::KeyId id;
    rc = hive->openKey(t.path, id);
    if (!rc) rc = hive->deleteValue(id, name);
  } else {
    rc = hive->deleteTree(t.path);
  }
  if (rc) return kvpal::failure(kName, describe(rc, t.root));
  std::cout << "The operation completed successfully.\n";
  return kvpal::kOk;
}

int runExport(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error;
  Target t;
  if (!parseSwitches(args, {}, {"y"}, o, error)) return kvpal::usageError(kName, error);
  if (o.positional.size() != 2) return kvpal::usageError(kName, "export needs KEY and FILE");
  if (!parseTarget(o.positional[0], t, error)) return kvpal::usageError(kName, error);
  std::wstring text = regFileHeader();
  if (unsigned rc = exportKeyTree(t.root, t.path, text)) return kvpal::failure(kName, describe(rc, t.root));
  std::ofstream out(o.positional[1], std::ios::binary | std::ios::trunc);
  std::string bytes = encodeRegFile(text);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return kvpal::failure(kName, "cannot write '" + o.positional[1] + "': " + std::strerror(errno));
  std::cout << "The operation completed successfully.\n";
  return kvpal::kOk;
}

int runImport(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error;
  if (!parseSwitches(args, {}, {}, o, error)) return kvpal::usageError(kName, error);
  if (o.positional.size() != 1) return kvpal::usageError(kName, "import needs exactly one FILE");
  const std::string& file = o.positional[0];
  std::ifstream in(file, std::ios::binary);
  if (!in) return kvpal::failure(kName, "cannot read '" + file + "': " + std::strerror(errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RegFileParse parsed = parseRegFile(bytes);
  if (!parsed.error.empty())
    return kvpal::failure(kName, file + ": " + parsed.error + "; nothing was imported");
  HKEY failed = HKEY_CURRENT_USER;
  if (unsigned rc = applyRegFile(parsed.changes, failed))
    return kvpal::failure(kName, file + ": " + describe(rc, failed) + "; nothing was imported into " +
                                     narrow(rootName(failed)));
  std::cout << "The operation completed successfully.\n";
  return kvpal::kOk;
}

int runReg(const kvpal::Args& args) {
  if (args.empty()) return kvpal::usageError(kName, "missing operation (query, add, delete, export, import)");
  const std::string& op = args[0];
  if (op == "query") return runQuery(args);
  if (op == "add") return runAdd(args);
  if (op == "delete") return runDelete(args);
  if (op == "export") return runExport(args);
  if (op == "import") return runImport(args);
  return kvpal::usageError(kName, "unknown operation '" + op + "'");
}

}  // namespace

KVPAL_COMMAND("reg", "query and change the settings store, export and import .reg files",
              "usage: kvpal reg query KEY [/v NAME | /ve]\n"
              "       kvpal reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEP] [/f]\n"
              "       kvpal reg delete KEY [/v NAME | /ve] [/f]\n"
              "       kvpal reg export KEY FILE [/y]\n"
              "       kvpal reg import FILE\n\n"
              "KEY is HKCU\\PATH, HKLM\\PATH or HKCR\\PATH (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,\n"
              "HKEY_CLASSES_ROOT also work). HKCR is the user's Software\\Classes over the machine's:\n"
              "reads see both, changes go to the user's key where it exists, else the machine's.\n"
              "/ve names the key's default value. TYPE is REG_SZ (default), REG_EXPAND_SZ, REG_BINARY,\n"
              "REG_DWORD, REG_QWORD, REG_MULTI_SZ or REG_NONE. DATA: text for strings; a decimal or 0x\n"
              "number for REG_DWORD and REG_QWORD; hex digits for REG_BINARY; REG_MULTI_SZ strings\n"
              "separated by SEP (default \\0). Nothing asks for confirmation, so /f and /y are accepted\n"
              "and change nothing. delete without /v removes the key with its subtree.\n\n"
              "export writes the key and its subtree in the registry editor's format (\"Windows\n"
              "Registry Editor Version 5.00\", UTF-16LE with a byte-order mark); import reads that\n"
              "format in UTF-16LE or UTF-8, and \"REGEDIT4\" files in the system's ANSI code page.\n"
              "A file with an error changes nothing.\n\n"
              "The hives are the files named by KVPAL_USER_HIVE and KVPAL_MACHINE_HIVE (see kvpal info).\n",
              runReg);
