// kvpal identity: what a host starting from an installation's folder would
// get from the product identity start-up.
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "base/utf8.h"
#include "command.h"
#include "options.h"
#include "settings/product_identity.h"
#include "settings/roots_state.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

constexpr const char* kName = "identity";

void row(const char* label, const std::string& value) {
  std::cout << label << value << "\n";
}

std::string join(const std::vector<std::wstring>& items) {
  std::string out;
  for (const auto& i : items) out += (out.empty() ? "" : ", ") + wideToUtf8(i);
  return out;
}

int runIdentity(const kvpal::Args& args) {
  kvpal::Options o;
  if (int rc = kvpal::parseOptionsOnly(kName, args, 0,
                                       {{"--product", "--language", "--roaming", "--install"}, {"--oem"}}, o))
    return rc;
  const std::wstring product = utf8ToWide(o.value("--product"));
  const std::wstring language = utf8ToWide(o.value("--language"));
  const std::wstring roaming = utf8ToWide(o.value("--roaming"));
  std::string install = o.value("--install");
  const bool oem = o.has("--oem");
  std::error_code ec;
  if (install.empty()) install = std::filesystem::current_path(ec).string();
  if (install.empty()) return kvpal::failure(kName, "the current folder cannot be read: " + ec.message());
  if (install.back() != '/') install += '/';

  // The OEM flag decides what the installed-products read does.
  oemFlag() = oem;
  CProductConfigInit record(utf8ToWide(install));
  const CProductInstalledInfo& info = *record.installedInfo;
  row("Installation:        ", install);
  row("Version key:         ", info.productVersionKey.empty()
                                   ? "(none: no identityver.ini or no ProductVersionKey)"
                                   : wideToUtf8(info.productVersionKey));
  row("Configurable:        ", info.configurable ? "yes" : "no");
  std::string products;
  for (const auto& [name, languages] : info.installedProducts)
    products += (products.empty() ? "" : "; ") + wideToUtf8(name) + " (" + join(languages) + ")";
  row("Installed products:  ", products.empty() ? "(none)" : products);
  row("Last launched:       ",
      info.lastLaunchedProduct.empty() && info.lastLaunchedLanguage.empty()
          ? "(none)"
          : wideToUtf8(info.lastLaunchedProduct) + " " + wideToUtf8(info.lastLaunchedLanguage));

  const char* oldPath = std::getenv("PATH");
  const std::string before = oldPath ? oldPath : "";
  const bool ok = initializeFrom(record, product.c_str(), language.c_str(), roaming.c_str());
  const auto& roots = rootsState();
  row("Product:             ", wideToUtf8(record.currentProduct));
  row("Language:            ", wideToUtf8(roots.currentLanguageName));
  row("Identity file:       ", wideToUtf8(record.identityIniPath));
  row("Global root:         ", wideToUtf8(roots.productGlobalRootName));
  row("Culture root:        ", wideToUtf8(roots.productCultureSpecificRootName));
  if (!ok) return kvpal::failure(kName, std::string("the start-up failed ") + record.failedStep);
  row("Roaming root:        ", wideToUtf8(roots.roamingRootName));
  std::cout << "Root list:\n";
  for (const auto& r : roots.rootList)
    std::cout << "  " << (r.isUserHive ? "HKCU\\" : "HKLM\\") << wideToUtf8(r.keyPath) << "\n";
  const char* vertical = std::getenv("KVVERTICALPATH");
  row("KVVERTICALPATH:      ", vertical ? vertical : "(unset)");
  const std::string after = std::getenv("PATH") ? std::getenv("PATH") : "";
  std::string front = after.size() > before.size() ? after.substr(0, after.size() - before.size()) : after;
  if (!before.empty() && !front.empty() && front.back() == ':') front.pop_back();
  row("PATH front:          ", front);
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND(kName, "show the product, language and roots a host starting from an installation gets",
              "usage: kvpal identity [--install DIR] [--product P] [--language L] [--roaming R] [--oem]\n\n"
              "Runs the product identity start-up for the installation in DIR (default: the\n"
              "current folder), as a host whose libKvPal.so lies there would with the given\n"
              "product, language, roaming root and OEM flag, and prints the installed\n"
              "products, the chosen product and language, the identity file, the roots and\n"
              "the root list, KVVERTICALPATH and the folders put in front of PATH. When a\n"
              "step fails it prints what was set so far and which step failed (exit 1).\n"
              "Like a host, it records the chosen product and language as the last launched\n"
              "ones in the user hive.\n",
              runIdentity);
