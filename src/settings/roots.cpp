// The settings roots, the root list and the product locale.
#include <cwchar>
#include <memory>

#include "pal/settings_roots.h"
#include "settings/registry_key.h"
#include "settings/roots_state.h"

namespace Halvex::Tessaran::PAL {

namespace {

using detail::HKEY_CURRENT_USER;
using detail::HKEY_LOCAL_MACHINE;
using detail::KEY_READ;
using detail::KEY_WRITE;
using detail::rootsState;

// The value's room when Windows reads it: 260 characters, the zero included.
constexpr size_t kBaseProductBytes = 520;

std::wstring text(const wchar_t* s) {
  return s ? s : L"";
}

std::wstring profilePath() {
  const auto& s = rootsState();
  return s.roamingRootName + L"\\Profiles\\" + s.currentProfileName;
}

}  // namespace

namespace detail {

RootsState& rootsState() {
  static RootsState state;
  return state;
}

std::vector<std::wstring> baseProductRoots(const std::wstring& globalRoot) {
  std::vector<std::wstring> roots;
  auto hive = openHive(HKEY_LOCAL_MACHINE);
  SettingsHive::KeyId id = 0;
  StoreValue value;
  if (!hive || hive->openKey(globalRoot, id) != ERROR_SUCCESS ||
      hive->getValue(id, L"BaseProduct", value) != ERROR_SUCCESS)
    return roots;
  if ((value.type != REG_SZ && value.type != REG_EXPAND_SZ) || value.data.size() > kBaseProductBytes)
    return roots;
  const std::wstring list = stringFromData(value.data);
  const size_t slash = globalRoot.rfind(L'\\');
  const std::wstring prefix = slash == std::wstring::npos ? L"" : globalRoot.substr(0, slash + 1);
  size_t start = 0;
  for (size_t semi; (semi = list.find(L';', start)) != std::wstring::npos; start = semi + 1)
    roots.push_back(prefix + list.substr(start, semi - start));
  if (start < list.size()) roots.push_back(prefix + list.substr(start));
  return roots;
}

void rebuildRootList() {
  auto& s = rootsState();
  const std::wstring sdk = Settings::Roots::sdkRootName();
  std::vector<RootEntry> list;
  list.push_back({true, s.roamingRootName});
  if (s.productGlobalRootName != s.roamingRootName) list.push_back({true, s.productGlobalRootName});
  list.push_back({false, s.productCultureSpecificRootName});
  if (s.productGlobalRootName != s.productCultureSpecificRootName)
    list.push_back({false, s.productGlobalRootName});
  for (auto& base : baseProductRoots(s.productGlobalRootName)) list.push_back({false, std::move(base)});
  list.push_back({true, sdk});
  list.push_back({false, sdk});
  s.rootList = std::move(list);
  s.listGlobalRootName = s.productGlobalRootName;
}

}  // namespace detail

namespace Settings {

void Roots::initializeFromRoots(const wchar_t* roamingRoot, const wchar_t* productCultureSpecificRoot,
                                const KvLocale& locale) {
  auto& s = rootsState();
  s.productCultureSpecificRootName = text(productCultureSpecificRoot);
  const size_t colon = s.productCultureSpecificRootName.find(L':');
  s.productGlobalRootName = colon == 0 || colon == std::wstring::npos
                                ? s.productCultureSpecificRootName
                                : s.productCultureSpecificRootName.substr(0, colon);
  s.roamingRootName = text(roamingRoot);
  detail::rebuildRootList();
  if (s.currentLanguageName.empty()) s.currentLanguageName = Locale::getResourceFolderNameFromLocale(locale);
}

const wchar_t* Roots::sdkRootName() {
  static const std::wstring name = [] {
    wchar_t buffer[40];
    std::swprintf(buffer, 40, L"SOFTWARE\\Halvex\\Nexabase\\R%d.%d", 23, 1);
    return std::wstring(buffer);
  }();
  return name.c_str();
}

const wchar_t* Roots::productCultureSpecificRootName() {
  return rootsState().productCultureSpecificRootName.c_str();
}
const wchar_t* Roots::productGlobalRootName() {
  return rootsState().productGlobalRootName.c_str();
}
const wchar_t* Roots::roamingRootName() {
  return rootsState().roamingRootName.c_str();
}
const wchar_t* Roots::currentLanguageName() {
  return rootsState().currentLanguageName.c_str();
}
const wchar_t* Roots::currentProfileName() {
  return rootsState().currentProfileName.c_str();
}

std::wstring Roots::setCurrentProfileName(const wchar_t* name) {
  std::wstring previous = std::move(rootsState().currentProfileName);
  rootsState().currentProfileName = text(name);
  return previous;
}

Container Roots::currentProfile(const wchar_t* subkey) {
  return Container(new RegistryKey(HKEY_CURRENT_USER, profilePath(), text(subkey), KEY_READ | KEY_WRITE));
}

const ReadOnlyContainer Roots::currentProfile(const wchar_t* subkey) const {
  return ReadOnlyContainer(new RegistryKey(HKEY_CURRENT_USER, profilePath(), text(subkey), KEY_READ));
}

Container Roots::roaming(const wchar_t* subkey) {
  return Container(
      new RegistryKey(HKEY_CURRENT_USER, rootsState().roamingRootName, text(subkey), KEY_READ | KEY_WRITE));
}

const ReadOnlyContainer Roots::roaming(const wchar_t* subkey) const {
  return ReadOnlyContainer(
      new RegistryKey(HKEY_CURRENT_USER, rootsState().roamingRootName, text(subkey), KEY_READ));
}

void Roots::getProductSettings(const wchar_t* subkey, std::function<bool(const Container&)> visit,
                               bool includeUserRoots) const {
  // A copy: the visitor may re-initialise the roots.
  const std::vector<detail::RootEntry> list = rootsState().rootList;
  const std::wstring name = text(subkey);
  for (const auto& entry : list) {
    if (entry.isUserHive && !includeUserRoots) continue;
    // RegistryKey takes a machine key it does not find from the user hive.
    auto key = std::make_unique<RegistryKey>(entry.isUserHive ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                             entry.keyPath, name, KEY_READ);
    if (!key->good()) continue;
    const Container container(key.release());
    if (!visit(container)) break;
  }
}

Roots& write() {
  static Roots roots;
  return roots;
}

const Roots& read() {
  return write();
}

bool isUserSettingsReset() {
  return false;
}

}  // namespace Settings

namespace Locale {

const KvLocale& getProductLocale() {
  // Fixed at the first call: an empty language name then gives the system
  // locale's names for the rest of the process.
  static const KvLocale locale = [] {
    KvLocale parsed = getLocaleFromLocaleString(Settings::Roots::currentLanguageName());
    // Spanish of Spain keeps the traditional sort's LCID, not the 3082 its
    // name would give.
    if (parsed == KvLocale(L"es", L"ES")) return KvLocaleService::createLocaleFromWinLCID(1034);
    return parsed;
  }();
  return locale;
}

}  // namespace Locale
}  // namespace Halvex::Tessaran::PAL

void getHKLMBaseProductGlobalRootKeys(std::vector<std::wstring>& keys) {
  for (auto& key : Halvex::Tessaran::PAL::detail::baseProductRoots(
           Halvex::Tessaran::PAL::detail::rootsState().listGlobalRootName))
    keys.push_back(std::move(key));
}
