// kvpal info: what this installation of the library is and where it keeps
// its state.
#include <iostream>

#include "command.h"
#include "pal/version.h"

namespace {

int runInfo(const kvpal::Args& args) {
  if (!args.empty()) return kvpal::usageError("info", "unexpected argument '" + args[0] + "'");
  std::cout << "KvPal library version: " << Halvex::Tessaran::PAL::libraryVersion() << "\n";
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND("info", "show the library version and where its settings live",
              "usage: kvpal info\n\n"
              "Prints the library version and the location of the settings hives.\n",
              runInfo);
