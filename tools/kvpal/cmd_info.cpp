// kvpal info: what this installation of the library is and where it keeps
// its state; with the roots a host would pass, the root list it would see.
#include <iostream>

#include "command.h"
#include "pal/settings_roots.h"
#include "pal/version.h"
#include "settings/roots_state.h"
#include "settings/settings_store.h"

namespace {

namespace PAL = Halvex::Tessaran::PAL;

std::string narrow(const std::wstring& text) {
  std::string out;
  PAL::UnicodeConvert::wideCharToUtf8(text.c_str(), out);
  return out;
}

std::wstring widen(const std::string& text) {
  std::wstring out;
  PAL::UnicodeConvert::utf8ToWideChar(text.c_str(), out);
  return out;
}

void printRoots() {
  using Roots = PAL::Settings::Roots;
  std::cout << "Settings roots:\n"
            << "  Roaming root:                  " << narrow(Roots::roamingRootName()) << "\n"
            << "  Product global root:           " << narrow(Roots::productGlobalRootName()) << "\n"
            << "  Product culture-specific root: " << narrow(Roots::productCultureSpecificRootName()) << "\n"
            << "  SDK root:                      " << narrow(Roots::sdkRootName()) << "\n"
            << "  Current language:              " << narrow(Roots::currentLanguageName()) << "\n"
            << "  Current profile:               " << narrow(Roots::currentProfileName()) << "\n"
            << "Root list, in precedence order:\n";
  int n = 0;
  for (const auto& entry : PAL::detail::rootsState().rootList)
    std::cout << "  " << ++n << ". " << (entry.isUserHive ? "HKCU\\" : "HKLM\\") << narrow(entry.keyPath)
              << "\n";
}

int runInfo(const kvpal::Args& args) {
  const std::string* roaming = nullptr;
  const std::string* culture = nullptr;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool isRoaming = args[i] == "--roaming";
    if (!isRoaming && args[i] != "--culture")
      return kvpal::usageError("info", "unexpected argument '" + args[i] + "'");
    if (i + 1 == args.size()) return kvpal::usageError("info", args[i] + " needs a root");
    (isRoaming ? roaming : culture) = &args[++i];
  }
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
    PAL::Settings::Roots::initializeFromRoots(widen(*roaming).c_str(), widen(*culture).c_str(),
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
