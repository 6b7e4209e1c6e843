// kvpal info: what this installation of the library is and where it keeps
// its state.
#include <iostream>

#include "command.h"
#include "pal/version.h"
#include "settings/settings_store.h"

namespace {

int runInfo(const kvpal::Args& args) {
  if (!args.empty()) return kvpal::usageError("info", "unexpected argument '" + args[0] + "'");
  using namespace Halvex::Tessaran::PAL::detail;
  std::cout << "KvPal library version: " << Halvex::Tessaran::PAL::libraryVersion() << "\n";
  for (auto [root, label] : {std::pair{HKEY_CURRENT_USER, "User settings hive (HKCU):   "},
                             std::pair{HKEY_LOCAL_MACHINE, "Machine settings hive (HKLM): "}}) {
    HiveInfo h = hiveInfo(root);
    std::cout << label << h.path << (h.exists ? " (exists" : " (does not exist yet")
              << (h.readOnly ? ", read-only)" : ")") << "\n";
  }
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND("info", "show the library version and where its settings live",
              "usage: kvpal info\n\n"
              "Prints the library version, where the user and machine settings hives live\n"
              "and whether they exist. KVPAL_USER_HIVE and KVPAL_MACHINE_HIVE name other hive\n"
              "files; KVPAL_MACHINE_HIVE_READONLY=1 makes the machine hive read-only.\n",
              runInfo);
