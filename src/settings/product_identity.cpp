// The product identity start-up.
#include "settings/product_identity.h"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <cstdlib>

#include "base/path_text.h"
#include "base/utf16.h"
#include "base/utf8.h"
#include "pal/package_utils.h"
#include "pal/settings_environment.h"
#include "pal/settings_identity.h"
#include "settings/ini_file.h"
#include "settings/registry_key.h"
#include "settings/roots_state.h"
#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {

// The reads' room, as the Windows start-up sizes its buffers.
constexpr size_t kProfileChars = 260;
constexpr size_t kLastLaunchedBytes = 260;
constexpr size_t kNameChars = 260;
constexpr size_t kLanguageBytes = 260;
constexpr size_t kUILanguageBytes = 520;
constexpr size_t kVerticalPathBytes = 8096;

constexpr wchar_t kSection[] = L"ProductIdentity";

bool openKey(HKEY root, const std::wstring& path, HiveKey& key) {
  key.hive = openHive(root);
  return key.hive && key.hive->openKey(path, key.id) == ERROR_SUCCESS;
}

bool openMachineOrUserKey(const std::wstring& path, HiveKey& key) {
  return openKeyOrUserFallback(HKEY_LOCAL_MACHINE, path, false, key) == ERROR_SUCCESS;
}

// The value as text when its data fits `maxBytes`; only string types unless
// `anyType`.
bool readString(const HiveKey& key, const wchar_t* name, size_t maxBytes, bool anyType, std::wstring& out) {
  StoreValue v;
  if (key.hive->getValue(key.id, name, v) != ERROR_SUCCESS || v.data.size() > maxBytes) return false;
  if (!anyType && v.type != REG_SZ && v.type != REG_EXPAND_SZ) return false;
  out = stringFromData(v.data);
  return true;
}

bool readMachineString(const std::wstring& path, size_t maxBytes, std::wstring& out) {
  HiveKey key;
  return openKey(HKEY_LOCAL_MACHINE, path, key) && readString(key, L"", maxBytes, false, out);
}

bool isBaseProduct(const std::wstring& product) {
  auto equalsAscii = [&](std::wstring_view code) {
    return std::equal(product.begin(), product.end(), code.begin(), code.end(),
                      [](wchar_t a, wchar_t b) { return (a >= L'a' && a <= L'z' ? a - 32 : a) == b; });
  };
  return equalsAscii(L"PYRA") || equalsAscii(L"ZTRM");
}

// Appends `name` to `folder` with one '/' between them.
std::wstring joined(const std::wstring& folder, const std::wstring& name) {
  return folder.empty() || folder.back() == L'/' ? folder + name : folder + L'/' + name;
}

bool setEnvironment(const char* name, const std::wstring& value) {
  return setenv(name, wideToUtf8(value).c_str(), 1) == 0;
}

std::wstring& currentLanguage() {
  return rootsState().currentLanguageName;
}

}  // namespace

bool& oemFlag() {
  static bool oem = false;
  return oem;
}

CProductInstalledInfo::CProductInstalledInfo(std::wstring resourceDir)
    : resourceDirectory(std::move(resourceDir)) {}

CProductInstalledInfo::~CProductInstalledInfo() = default;

void CProductInstalledInfo::readInstalledInfo() {
  // Without a resource directory the name would be taken relative to the
  // current folder.
  if (resourceDirectory.empty()) return;
  const std::wstring ini = resourceDirectory + L"identityver.ini";
  productVersionKey = readProfileString(ini, kSection, L"ProductVersionKey", kProfileChars);
  if (productVersionKey.empty()) return;
  const std::wstring isConfigurable = readProfileString(ini, kSection, L"IsConfigurable", kProfileChars);
  if (isConfigurable.empty()) return;
  if (isConfigurable != L"1") configurable = false;
  if (!readInstalledProducts()) return;
  HiveKey key;
  if (configurable && openKey(HKEY_CURRENT_USER, productVersionKey, key)) {
    readString(key, L"LastLaunchedProduct", kLastLaunchedBytes, true, lastLaunchedProduct);
    readString(key, L"LastLaunchedLanguage", kLastLaunchedBytes, true, lastLaunchedLanguage);
  }
}

bool CProductInstalledInfo::readInstalledProducts() {
  if (!oemFlag() && !configurable) return true;
  const std::wstring productsPath = productVersionKey + L"\\InstalledProducts";
  HiveKey products;
  std::vector<std::wstring> names;
  if (!openMachineOrUserKey(productsPath, products) ||
      products.hive->subkeys(products.id, names) != ERROR_SUCCESS)
    return false;
  for (const auto& name : names) {
    HiveKey product;
    std::vector<StoreValue> values;
    if (!openMachineOrUserKey(productsPath + L"\\" + name, product) ||
        product.hive->values(product.id, values) != ERROR_SUCCESS)
      return false;
    std::vector<std::wstring> languages;
    for (const auto& v : values) {
      // A name or data that does not fit the enumeration's buffers fails it.
      if (wideToUtf16(v.name).size() >= kNameChars || v.data.size() > kLanguageBytes) return false;
      languages.push_back(stringFromData(v.data));
    }
    installedProducts[name] = std::move(languages);
  }
  return true;
}

CProductConfigInit::CProductConfigInit(std::wstring resourceDir)
    : installedInfo(std::make_unique<CProductInstalledInfo>(std::move(resourceDir))) {
  installedInfo->readInstalledInfo();
}

CProductConfigInit::~CProductConfigInit() = default;

bool CProductConfigInit::choosing() const {
  return oemFlag() || installedInfo->configurable;
}

bool CProductConfigInit::fail(const char* step) {
  failedStep = step;
  return false;
}

bool CProductConfigInit::chooseProduct(const std::wstring& product) {
  if (!choosing()) return true;
  const auto& installed = installedInfo->installedProducts;
  std::wstring candidate = product;
  if (candidate.empty() || !installed.count(candidate)) {
    if (installed.count(installedInfo->lastLaunchedProduct))
      candidate = installedInfo->lastLaunchedProduct;
    else if (!installed.empty())
      candidate = installed.begin()->first;
  }
  if (candidate.empty()) return false;
  currentProduct = candidate;
  return true;
}

bool CProductConfigInit::chooseLanguage(const std::wstring& language) {
  if (!choosing()) return true;
  const auto& products = installedInfo->installedProducts;
  const auto it = products.find(currentProduct);
  const std::vector<std::wstring> none;
  const auto& languages = it == products.end() ? none : it->second;
  auto installed = [&](const std::wstring& name) {
    return !name.empty() && std::find(languages.begin(), languages.end(), name) != languages.end();
  };
  std::wstring candidate = language;
  // A product that lists no languages keeps the argument.
  if (!installed(candidate) && !languages.empty()) {
    if (installed(installedInfo->lastLaunchedLanguage))
      candidate = installedInfo->lastLaunchedLanguage;
    else if (installed(L"en-US"))
      candidate = L"en-US";
    else
      candidate = languages.front();
  }
  if (candidate.empty()) return false;
  currentLanguage() = candidate;
  return true;
}

bool CProductConfigInit::writeLastLaunched() {
  HiveKey key;
  // The key is never created; without a version key there is none to open.
  if (installedInfo->productVersionKey.empty() ||
      !openKey(HKEY_CURRENT_USER, installedInfo->productVersionKey, key))
    return true;
  return key.hive->setValue(key.id, {L"LastLaunchedProduct", REG_SZ, stringData(currentProduct)}) ==
             ERROR_SUCCESS &&
         key.hive->setValue(key.id, {L"LastLaunchedLanguage", REG_SZ, stringData(currentLanguage())}) ==
             ERROR_SUCCESS;
}

bool CProductConfigInit::locateIdentityIni() {
  std::wstring folder = installedInfo->resourceDirectory;
  if (folder.empty()) return false;
  if (oemFlag()) {
    folder = joined(folder, currentLanguage());
  } else if (installedInfo->configurable) {
    if (!isBaseProduct(currentProduct)) folder = joined(folder, currentProduct);
    folder = joined(folder, currentLanguage());
  }
  const std::wstring path = joined(folder, L"identity.ini");
  const auto native = pathFromWide(path.c_str());
  boost::system::error_code ec;
  if (!native || !boost::filesystem::exists(*native, ec)) return false;
  identityIniPath = path;
  return true;
}

bool CProductConfigInit::readRegistryRoots() {
  if (identityIniPath.empty()) return false;
  const std::wstring global =
      readProfileString(identityIniPath, kSection, L"GlobalRegistryRootKey", kProfileChars);
  const std::wstring culture =
      readProfileString(identityIniPath, kSection, L"ProductRegistryRootKey", kProfileChars);
  if (global.empty() || culture.empty()) return false;
  auto& roots = rootsState();
  roots.productCultureSpecificRootName = culture;
  roots.productGlobalRootName = global;
  return true;
}

bool CProductConfigInit::readInstalledUILanguage() {
  const std::wstring& culture = rootsState().productCultureSpecificRootName;
  std::wstring language;
  if (culture.empty() || !readMachineString(culture + L"\\InstalledUILanguages", kUILanguageBytes, language))
    return false;
  currentLanguage() = language;
  return !language.empty();
}

bool CProductConfigInit::applyVerticalPath() {
  setEnvironment("KVVERTICALPATH", L"");
  const std::wstring& culture = rootsState().productCultureSpecificRootName;
  const std::wstring& language = currentLanguage();
  std::wstring list;
  if (culture.empty() || language.empty() ||
      !readMachineString(culture + L"\\VerticalEnvPath", kVerticalPathBytes, list))
    return false;
  setEnvironment("KVVERTICALPATH", list);
  verticalPath = list;
  // PATH entries are ':'-separated here, and an empty one would name the
  // current folder, so the list's empty items are left out.
  std::vector<std::wstring> folders;
  for (size_t start = 0; start <= list.size();) {
    size_t semi = std::min(list.find(L';', start), list.size());
    if (semi > start) folders.push_back(list.substr(start, semi - start));
    start = semi + 1;
  }
  std::wstring addition;
  for (const auto& f : folders) addition += (addition.empty() ? L"" : L":") + f;
  for (const auto& f : folders) addition += (addition.empty() ? L"" : L":") + joined(f, language);
  return AppendEnvironmentPath(addition.c_str()) != 0;
}

bool CProductConfigInit::appendResourcePath() {
  const std::wstring& dir = installedInfo->resourceDirectory;
  const std::wstring& language = currentLanguage();
  if (dir.empty() || language.empty()) return false;
  return AppendEnvironmentPath(joined(dir, language).c_str()) != 0;
}

bool CProductConfigInit::startUp(const std::wstring& product, const std::wstring& language) {
  if (attempted) return true;
  attempted = true;
  if (!chooseProduct(product)) return fail("choosing the product");
  if (!chooseLanguage(language)) return fail("choosing the language");
  if (installedInfo->configurable && recordLastLaunched && !writeLastLaunched())
    return fail("writing the last-launched values");
  if (!locateIdentityIni()) return fail("locating identity.ini");
  if (!readRegistryRoots()) return fail("reading the registry roots from identity.ini");
  if (!oemFlag()) {
    if (!installedInfo->configurable) {
      currentProduct = L"PYRA";
      if (!readInstalledUILanguage()) return fail("reading InstalledUILanguages");
    }
    if (!isBaseProduct(currentProduct) && !applyVerticalPath()) return fail("reading VerticalEnvPath");
  }
  if (!appendResourcePath()) return fail("putting the language folder in front of PATH");
  return true;
}

bool initializeFrom(CProductConfigInit& record, const wchar_t* product, const wchar_t* language,
                    const wchar_t* roamingRoot) {
  if (!record.startUp(product ? product : L"", language ? language : L"")) return false;
  auto& roots = rootsState();
  roots.roamingRootName = roamingRoot && *roamingRoot ? roamingRoot : roots.productCultureSpecificRootName;
  rebuildRootList();
  return true;
}

CProductConfigInit& productConfig() {
  static CProductConfigInit record(wideFromPath(PackageUtils::resDir()).value_or(L""));
  return record;
}

}  // namespace detail

namespace Settings {

namespace {

detail::CProductConfigInit& attemptedRecord() {
  auto& record = detail::productConfig();
  record.startUp(L"", L"");
  return record;
}

}  // namespace

bool isOem() {
  return detail::oemFlag();
}

const wchar_t* getCurrentProduct() {
  return attemptedRecord().currentProduct.c_str();
}

const wchar_t* getCurrentProductIdentityIniPath() {
  return attemptedRecord().identityIniPath.c_str();
}

const wchar_t* getVerticalPath() {
  return attemptedRecord().verticalPath.c_str();
}

bool Roots::initializeByConvention(const wchar_t* product, const wchar_t* language,
                                   const wchar_t* roamingRoot, bool oem) {
  detail::oemFlag() = oem;
  return detail::initializeFrom(detail::productConfig(), product, language, roamingRoot);
}

}  // namespace Settings

}  // namespace Halvex::Tessaran::PAL
