// Readers of the synchronisation clients' own files.
#include "filesystem/cloud/cloud_clients.h"

#include <json/json.h>

#include <memory>

#include "base/case_fold.h"
#include "base/utf8.h"
#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

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

std::wstring lowerCased(std::wstring text) {
  for (wchar_t& c : text) c = lowerCase(c);
  return text;
}

bool inFolder(std::wstring_view path, std::wstring_view folder) {
  if (folder.empty()) return false;
  return lowerCased(std::wstring(path)).find(lowerCased(std::wstring(folder))) != std::wstring::npos;
}

}  // namespace Halvex::Tessaran::PAL::detail
