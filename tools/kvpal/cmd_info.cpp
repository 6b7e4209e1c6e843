// kvpal info: what this installation of the library is and where it keeps
// its state; with the roots a host would pass, the root list it would see.
#include <iostream>

#include "base/utf8.h"
#include "command.h"
#include "options.h"
#include "pal/settings_roots.h"
#include "pal/version.h"
#include "settings/roots_state.h"
#include "settings/settings_store.h"

namespace {

namespace PAL = Halvex::Tessaran::PAL;

void printRoots() {
  using Roots = PAL::Settings::Roots;
  std::cout << "Settings roots:\n"
            << "  Roaming root:                  " << PAL::detail::wideToUtf8(Roots::roamingRootName())
            << "\n"
            << "  Product global root:           " << PAL::detail::wideToUtf8(Roots::productGlobalRootName())
            << "\n"
            << "  Product culture-specific root: "
            << PAL::detail::wideToUtf8(Roots::productCultureSpecificRootName()) << "\n"
            << "  SDK root:                      " << PAL::detail::wideToUtf8(Roots::sdkRootName()) << "\n"
            << "  Current language:              " << PAL::detail::wideToUtf8(Roots::currentLanguageName())
            << "\n"
            << "  Current profile:               " << PAL::detail::wideToUtf8(Roots::currentProfileName())
            << "\n"
            << "Root list, in precedence order:\n";
  int n = 0;
  for (const auto& entry : PAL::detail::rootsState().rootList)
    std::cout << "  " << ++n << ". " << (entry.isUserHive ? "HKCU\\" : "HKLM\\")
              << PAL::detail::wideToUtf8(entry.keyPath) << "\n";
}

int runInfo(const kvpal::Args& args) {
  kvpal::Options o;
  if (int rc = kvpal::parseOptionsOnly("info", args, 0, {{"--roaming", "--culture"}, {}}, o)) return rc;
  const bool roaming = o.has("--roaming"), culture = o.has("--culture");
  if (!roaming != !culture) return kvpal::usageError("info", "--roaming and --culture go together");

  using namespace PAL::detail;
  std::cout << "KvPal library version: " << PAL::libraryVersion() << "\n";
  for (auto [root, label] : {std::pair{HKEY_CURRENT_USER, "User settings hive (HKCU):   "},
                             std::pair{HKEY_LOCAL_MACHINE, "Machine settings hive (HKLM): "}}) {
    HiveInfo h = hiveInfo(root);
    std::cout << label << h.path << (h.exists ? " (exists" : " (does not exist yet")
              << (h.readOnly ? ", read-only)" : ")") << "\n";
  }
  if (roaming) {
    PAL::Settings::Roots::initializeFromRoots(PAL::detail::utf8ToWide(o.value("--roaming")).c_str(),
                                              PAL::detail::utf8ToWide(o.value("--culture")).c_str(),
                                              PAL::Locale::getSystemLocale());
    printRoots();
  }
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND("info", "show the library version, where its settings live and the settings roots",
              "usage: kvpal info [--roaming ROOT --culture ROOT]\n\n"
              "Prints the library version, where the user and machine settings hives live\n"
              "and whether they exist. KVPAL_USER_HIVE and KVPAL_MACHINE_HIVE name other hive\n"
              "files; KVPAL_MACHINE_HIVE_READONLY=1 makes the machine hive read-only.\n\n"
              "With --roaming and --culture, sets the settings roots as a host would\n"
              "(roaming root under HKCU, product culture-specific root such as\n"
              "SOFTWARE\\Vendor\\Product:409, language from the system locale) and prints\n"
              "them with the root list that settings reads walk, base products included.\n",
              runInfo);
