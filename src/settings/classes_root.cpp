// The merged HKEY_CLASSES_ROOT view over the user and machine hives.
#include "settings/classes_root.h"

#include <map>

#include "base/case_fold.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::wstring_view kClasses = L"Software\\Classes";

std::wstring folded(std::wstring_view name) {
  std::wstring out(name);
  for (auto& c : out) c = foldCase(c);
  return out;
}

bool keyExists(HKEY root, std::wstring_view path) {
  auto hive = openHive(root);
  SettingsHive::KeyId id;
  return hive && hive->openKey(classesPath(path), id) == ERROR_SUCCESS;
}

}  // namespace

std::wstring classesPath(std::wstring_view path) {
  std::wstring out(kClasses);
  if (!path.empty()) (out += L'\\') += path;
  return out;
}

HKEY classesRootTarget(std::wstring_view path) {
  return keyExists(HKEY_CURRENT_USER, path) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

unsigned classesRootKey(std::wstring_view path, std::vector<StoreValue>& values,
                        std::vector<std::wstring>& subkeys) {
  values.clear();
  subkeys.clear();
  bool found = false;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    auto hive = openHive(root);
    SettingsHive::KeyId id;
    unsigned rc = hive->openKey(classesPath(path), id);
    if (rc == ERROR_FILE_NOT_FOUND) continue;
    std::vector<StoreValue> v;
    std::vector<std::wstring> k;
    if (!rc) rc = hive->values(id, v);
    if (!rc) rc = hive->subkeys(id, k);
    if (rc) return rc;
    found = true;
    mergeValues(values, std::move(v));
    mergeNames(subkeys, k);
  }
  return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

void mergeValues(std::vector<StoreValue>& into, std::vector<StoreValue> over) {
  std::map<std::wstring, StoreValue> byName;
  for (auto& v : into) byName.emplace(folded(v.name), std::move(v));
  for (auto& v : over) byName.insert_or_assign(folded(v.name), std::move(v));
  into.clear();
  for (auto& [key, v] : byName) into.push_back(std::move(v));
}

void mergeNames(std::vector<std::wstring>& into, const std::vector<std::wstring>& over) {
  std::map<std::wstring, std::wstring> byName;
  for (auto& n : into) byName.emplace(folded(n), std::move(n));
  for (const auto& n : over) byName.insert_or_assign(folded(n), n);
  into.clear();
  for (auto& [key, n] : byName) into.push_back(std::move(n));
}

}  // namespace Halvex::Tessaran::PAL::detail
