// The product identity start-up: the installation's products and languages,
// the choice among them, the identity file and the search-path additions.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

// What "identityver.ini" and the settings store say about the installation.
class CProductInstalledInfo {
 public:
  // The process record passes PackageUtils::resDir(); the kvpal tool passes
  // the installation it examines.
  explicit CProductInstalledInfo(std::wstring resourceDir);
  virtual ~CProductInstalledInfo();
  virtual void readInstalledInfo();

  std::wstring productVersionKey;
  std::wstring resourceDirectory;  // ends in '/'
  std::wstring lastLaunchedProduct;
  std::wstring lastLaunchedLanguage;
  bool configurable = true;
  std::map<std::wstring, std::vector<std::wstring>> installedProducts;

 private:
  bool readInstalledProducts();
};

class CProductConfigInit {
 public:
  // Creates the installed info and reads it at once.
  explicit CProductConfigInit(std::wstring resourceDir);
  virtual ~CProductConfigInit();
  virtual bool locateIdentityIni();
  virtual bool appendResourcePath();
  virtual bool applyVerticalPath();
  virtual bool readRegistryRoots();

  // Runs the start-up unless it was attempted; false when this call ran it
  // and a step failed (named by failedStep).
  bool startUp(const std::wstring& product, const std::wstring& language);

  bool attempted = false;
  // A report of what a host would get (kvpal info) leaves the hive alone.
  bool recordLastLaunched = true;
  std::wstring currentProduct;
  std::wstring identityIniPath;
  std::wstring verticalPath;
  std::unique_ptr<CProductInstalledInfo> installedInfo;
  // For diagnostics: the step that failed the start-up, or null.
  const char* failedStep = nullptr;

 private:
  bool fail(const char* step);
  bool chooseProduct(const std::wstring& product);
  bool chooseLanguage(const std::wstring& language);
  bool writeLastLaunched();
  bool readInstalledUILanguage();
  // The OEM flag is set, or the installation lets the user choose.
  bool choosing() const;
};

// Runs `record`'s start-up, then sets the roaming root (the culture-specific
// root when `roamingRoot` is null or empty) and rebuilds the root list;
// false, with nothing more done, when this call's start-up failed.
bool initializeFrom(CProductConfigInit& record, const wchar_t* product, const wchar_t* language,
                    const wchar_t* roamingRoot);

// The process's record, created on first use.
CProductConfigInit& productConfig();

// The process-wide OEM flag.
bool& oemFlag();

}  // namespace Halvex::Tessaran::PAL::detail
