// kvpal: inspect and operate the platform layer from the command line.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "command.h"
#include "pal/version.h"
#include "platform/win_error.h"

namespace kvpal {

namespace {
std::vector<Command>& registry() {
  static std::vector<Command> cmds;
  return cmds;
}

void printHelp() {
  std::cout << "usage: kvpal COMMAND [ARGS...]\n\n"
               "Commands:\n";
  auto cmds = commands();
  std::sort(cmds.begin(), cmds.end(),
            [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
  for (const auto& c : cmds) std::printf("  %-10s %s\n", c.name, c.summary);
  std::cout << "\nRun 'kvpal COMMAND --help' for a command's usage.\n";
}
}  // namespace

void registerCommand(const Command& cmd) {
  registry().push_back(cmd);
}
const std::vector<Command>& commands() {
  return registry();
}

int usageError(const char* name, const std::string& message) {
  std::cerr << "kvpal " << name << ": " << message << "\n"
            << "Run 'kvpal " << name << " --help' for usage.\n";
  return kUsage;
}

int failure(const char* name, const std::string& message) {
  std::cerr << "kvpal " << name << ": " << message << "\n";
  return kFailed;
}

std::string systemError(unsigned code) {
  const char* text = Halvex::Tessaran::PAL::detail::winErrorText(code);
  return (text ? std::string(text) + " " : std::string()) + "(system error " + std::to_string(code) + ")";
}

// Arguments after "--" belong to a command the subcommand runs.
bool wantsHelp(const Args& args) {
  return std::any_of(args.begin(), std::find(args.begin(), args.end(), "--"),
                     [](const std::string& a) { return a == "-h" || a == "--help"; });
}

}  // namespace kvpal

int main(int argc, char** argv) {
  using namespace kvpal;
  if (argc < 2) {
    printHelp();
    return kUsage;
  }
  std::string name = argv[1];
  if (name == "-h" || name == "--help" || name == "help") {
    printHelp();
    return kOk;
  }
  if (name == "--version") {
    std::cout << "kvpal " << Halvex::Tessaran::PAL::libraryVersion() << "\n";
    return kOk;
  }
  for (const auto& c : commands()) {
    if (name == c.name) {
      Args args(argv + 2, argv + argc);
      if (wantsHelp(args)) {
        std::cout << c.usage;
        return kOk;
      }
      return c.run(args);
    }
  }
  std::cerr << "kvpal: unknown command '" << name << "'\nRun 'kvpal --help' for the list of commands.\n";
  return kUsage;
}
