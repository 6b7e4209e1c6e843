// Readers of the synchronisation clients' own files.
#include "filesystem/cloud/cloud_clients.h"

#include <json/json.h>

#include <cctype>
#include <map>
#include <memory>

#include "base/case_fold.h"
#include "base/utf8.h"
#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

std::string_view trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// A line `key = value` split at its first '='; nothing without one.
std::optional<std::pair<std::string_view, std::string_view>> keyAndValue(std::string_view line) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1)));
}

std::optional<std::wstring> fromUtf8(std::string_view bytes) {
  std::wstring out;
  if (assignUtf8ToUtf32(bytes.data(), bytes.size(), out).replaced) return std::nullopt;
  return out;
}

bool isSurrogate(wchar_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Appends one UTF-16 unit, joining a low surrogate to the high one before it.
void appendUnit(std::wstring& out, unsigned unit) {
  if (unit >= 0xDC00 && unit <= 0xDFFF && !out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF)
    out.back() = static_cast<wchar_t>(0x10000 + ((out.back() - 0xD800) << 10) + (unit - 0xDC00));
  else
    out += static_cast<wchar_t>(unit);
}

int digitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

// A Qt INI string value. Quotes keep ',' and ';' in the text; a backslash
// escapes C-style or gives a UTF-16 unit in hex ("\x41f", which Qt writes
// for non-ASCII text without a codec) or octal. Nothing for a list (an
// unquoted ','), a variant ("@..."), or text that is not Unicode.
std::optional<std::wstring> qtIniString(std::string_view raw) {
  std::wstring out;
  std::string pending;  // raw bytes since the last escape, UTF-8
  auto flush = [&] {
    const std::optional<std::wstring> text = fromUtf8(pending);
    pending.clear();
    if (text) out += *text;
    return text.has_value();
  };
  bool quoted = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      return std::nullopt;
    } else if (!quoted && c == ';') {
      break;
    } else if (c != '\\') {
      pending += c;
    } else {
      if (++i == raw.size() || !flush()) return std::nullopt;
      static constexpr std::string_view kNamed = "abfnrtv\"'?\\";
      static constexpr std::string_view kMeant = "\a\b\f\n\r\t\v\"'?\\";
      if (const std::size_t k = kNamed.find(raw[i]); k != std::string_view::npos) {
        out += static_cast<wchar_t>(kMeant[k]);
        continue;
      }
      const int base = raw[i] == 'x' ? 16 : 8;
      std::size_t j = base == 16 ? i + 1 : i;
      unsigned unit = 0;
      const std::size_t first = j;
      for (int d; j < raw.size() && (d = digitValue(raw[j], base)) >= 0; ++j) {
        unit = unit * base + static_cast<unsigned>(d);
        if (unit > 0xFFFF) return std::nullopt;
      }
      if (j == first) return std::nullopt;
      appendUnit(out, unit);
      i = j - 1;
    }
  }
  if (quoted || !flush()) return std::nullopt;
  for (wchar_t c : out)
    if (c == 0 || isSurrogate(c)) return std::nullopt;
  if (out.starts_with(L"@@")) return out.substr(1);
  if (out.starts_with(L"@")) return std::nullopt;
  return out;
}

std::wstring withoutTrailingSlashes(std::wstring path) {
  while (path.size() > 1 && path.back() == L'/') path.pop_back();
  return path;
}

bool endsWithKey(std::string_view key, std::string_view name) {
  return key == name || (key.ends_with(name) && (key[key.size() - name.size() - 1] == '\\' ||
                                                 key[key.size() - name.size() - 1] == '/'));
}

struct RcloneRemote {
  std::string type, driveType, vendor, remote;
};

void setRemoteValue(RcloneRemote& r,
                    const std::optional<std::pair<std::string_view, std::string_view>>& entry) {
  if (!entry) return;
  const auto [key, value] = *entry;
  if (key == "type") r.type = value;
  if (key == "drive_type") r.driveType = value;
  if (key == "vendor") r.vendor = value;
  if (key == "remote") r.remote = value;
}

// The remotes of an rclone configuration file by name. An encrypted file
// has no readable section and gives none.
std::map<std::string, RcloneRemote, std::less<>> rcloneRemotes(std::string_view config) {
  std::map<std::string, RcloneRemote, std::less<>> remotes;
  RcloneRemote* current = nullptr;
  for (std::string_view line : linesOf(config)) {
    line = trimmed(line);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = &remotes[std::string(line.substr(1, line.size() - 2))];
      continue;
    }
    if (current && !line.starts_with('#') && !line.starts_with(';'))
      setRemoteValue(*current, keyAndValue(line));
  }
  return remotes;
}

// Remotes that keep their files in another remote.
bool isWrappingRemote(std::string_view type) {
  for (std::string_view wrapper : {"alias", "crypt", "chunker", "compress", "hasher", "cache"})
    if (type == wrapper) return true;
  return false;
}

std::optional<CloudKind> rcloneServiceKind(const RcloneRemote& r) {
  static constexpr std::pair<std::string_view, const wchar_t*> kServices[] = {
      {"drive", L"Google Drive"}, {"onedrive", L"OneDrive"}, {"dropbox", L"Dropbox"}, {"box", L"Box"},
      {"pcloud", L"pCloud"},      {"mega", L"MEGA"},
  };
  for (const auto& [type, name] : kServices) {
    if (r.type != type) continue;
    CloudKind kind{name};
    // "business" and "documentLibrary" (SharePoint) accounts are business
    // ones; no drive type counts as personal, as in the settings.
    if (type == "onedrive")
      kind.accountType = r.driveType.empty() || r.driveType == "personal" ? L"Personal" : L"Business";
    return kind;
  }
  if (r.type == "webdav" && r.vendor == "nextcloud") return CloudKind{L"Nextcloud"};
  if (r.type == "webdav" && r.vendor == "owncloud") return CloudKind{L"ownCloud"};
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<DropboxAccount>> parseDropboxInfo(std::string_view json) {
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  if (!reader->parse(json.data(), json.data() + json.size(), &root, nullptr)) return std::nullopt;
  // Other roots would make the member lookups throw.
  if (!root.isObject()) return std::nullopt;
  std::vector<DropboxAccount> accounts;
  for (const std::string& name : root.getMemberNames()) {
    const Json::Value& member = root[name];
    DropboxAccount account;
    if (member.isObject() && member["path"].isString() && member["subscription_type"].isString()) {
      account.wellFormed = true;
      account.path = utf8ToWide(member["path"].asString());
      account.subscriptionType = utf8ToWide(member["subscription_type"].asString());
    }
    accounts.push_back(std::move(account));
  }
  return accounts;
}

FirstLine firstLineOf(std::string_view bytes) {
  constexpr std::size_t kMaxLineBytes = 259;
  std::string_view line = bytes.substr(0, kMaxLineBytes);
  line = line.substr(0, line.find('\n'));
  FirstLine out;
  out.hadText = !line.empty();
  if (assignUtf8ToUtf32(line.data(), line.size(), out.text).replaced) out.text.clear();
  return out;
}

std::vector<std::wstring> multiStrings(const std::vector<unsigned char>& data) {
  std::vector<std::wstring> out;
  std::size_t start = 0;
  while (start + 1 < data.size()) {
    std::size_t end = start;
    while (end + 1 < data.size() && (data[end] != 0 || data[end + 1] != 0)) end += 2;
    if (end == start) break;
    out.push_back(stringFromData(std::vector<unsigned char>(data.begin() + start, data.begin() + end)));
    start = end + 2;
  }
  return out;
}

std::optional<std::vector<std::wstring>> parseSyncClientFolders(std::string_view cfg) {
  std::vector<std::wstring> folders;
  for (std::string_view line : linesOf(cfg)) {
    const auto entry = keyAndValue(trimmed(line));
    if (!entry || !endsWithKey(entry->first, "localPath")) continue;
    const std::optional<std::wstring> folder = qtIniString(entry->second);
    if (!folder || folder->empty() || folder->front() != L'/') return std::nullopt;
    folders.push_back(withoutTrailingSlashes(*folder));
  }
  return folders;
}

std::optional<OneDriveClientConfig> parseOneDriveClientConfig(std::string_view text, std::wstring_view home) {
  OneDriveClientConfig config;
  std::string_view syncDir = "~/OneDrive";
  for (std::string_view line : linesOf(text)) {
    line = trimmed(line);
    if (line.empty() || line.starts_with('#')) continue;
    const auto entry = keyAndValue(line);
    // The client itself refuses such lines.
    if (!entry || entry->first.empty() || entry->second.size() < 2 || !entry->second.starts_with('"') ||
        !entry->second.ends_with('"'))
      return std::nullopt;
    for (char c : entry->first)
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return std::nullopt;
    const auto [key, quoted] = *entry;
    const std::string_view value = quoted.substr(1, quoted.size() - 2);
    if (key == "sync_dir") syncDir = value;
    if ((key == "drive_id" || key == "azure_tenant_id") && !value.empty()) config.business = true;
    if ((key == "sync_business_shared_items" || key == "sync_business_shared_folders") && value == "true")
      config.business = true;
  }
  std::optional<std::wstring> folder = fromUtf8(syncDir);
  if (!folder) return std::nullopt;
  if (*folder == L"~" || folder->starts_with(L"~/")) {
    std::wstring base = withoutTrailingSlashes(std::wstring(home));
    if (base.empty()) return std::nullopt;
    if (base == L"/") base.clear();
    *folder = base + folder->substr(1);
  }
  if (folder->empty() || folder->front() != L'/' || folder->find(L'\0') != std::wstring::npos)
    return std::nullopt;
  config.syncDir = withoutTrailingSlashes(*folder);
  return config;
}

CloudKind rcloneMountKind(std::string_view config, std::string_view source) {
  const auto remotes = rcloneRemotes(config);
  const std::string_view mounted = source.substr(0, source.find(':'));
  std::string_view spec = source;
  // A bounded walk: wrapping remotes may name each other in a circle.
  for (int depth = 0; depth < 8; ++depth) {
    if (spec.starts_with(':')) {
      // Made on the fly: ":backend:" or ":backend,option=value,...:".
      RcloneRemote onTheFly;
      std::string_view parameters = spec.substr(1, spec.find(':', 1) - 1);
      onTheFly.type = parameters.substr(0, parameters.find(','));
      while (parameters.find(',') != std::string_view::npos) {
        parameters.remove_prefix(parameters.find(',') + 1);
        setRemoteValue(onTheFly, keyAndValue(parameters.substr(0, parameters.find(','))));
      }
      if (std::optional<CloudKind> kind = rcloneServiceKind(onTheFly)) return *kind;
      if (mounted.empty()) return CloudKind{utf8ToWide(onTheFly.type)};
      break;
    }
    const auto it = remotes.find(spec.substr(0, spec.find(':')));
    if (it == remotes.end()) break;
    if (std::optional<CloudKind> kind = rcloneServiceKind(it->second)) return *kind;
    if (!isWrappingRemote(it->second.type)) break;
    spec = it->second.remote;
  }
  return CloudKind{utf8ToWide(mounted)};
}

std::optional<CloudKind> gvfsMountKind(std::string_view folderName) {
  const std::string_view backend = folderName.substr(0, folderName.find(':'));
  if (backend == "google-drive") return CloudKind{L"Google Drive"};
  // The backend does not tell business accounts apart.
  if (backend == "onedrive") return CloudKind{L"OneDrive", L"Personal"};
  return std::nullopt;
}

std::wstring lowerCased(std::wstring text) {
  for (wchar_t& c : text) c = lowerCase(c);
  return text;
}

bool inFolder(std::wstring_view path, std::wstring_view folder) {
  if (folder.empty()) return false;
  return lowerCased(std::wstring(path)).find(lowerCased(std::wstring(folder))) != std::wstring::npos;
}

}  // namespace Halvex::Tessaran::PAL::detail
