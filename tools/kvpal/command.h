// Subcommands of the kvpal tool register themselves with KVPAL_COMMAND, so a
// new subcommand is one new file.
#pragma once

#include <string>
#include <vector>

namespace kvpal {

// Exit codes shared by every subcommand.
enum Exit : int { kOk = 0, kFailed = 1, kUsage = 2 };

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* summary;
  const char* usage;  // full --help text
  int (*run)(const Args& args);
};

void registerCommand(const Command& cmd);
const std::vector<Command>& commands();

// Prints "kvpal NAME: MESSAGE" and the hint to use --help; returns kUsage.
int usageError(const char* name, const std::string& message);
// Prints "kvpal NAME: MESSAGE"; returns kFailed.
int failure(const char* name, const std::string& message);
// A Windows system error code as the system words it, with its number:
// "The data is invalid. (system error 13)".
std::string systemError(unsigned code);
// True when args hold -h or --help before any "--".
bool wantsHelp(const Args& args);

struct Registrar {
  explicit Registrar(const Command& cmd) { registerCommand(cmd); }
};

}  // namespace kvpal

#define KVPAL_CONCAT2(a, b) a##b
#define KVPAL_CONCAT(a, b) KVPAL_CONCAT2(a, b)
#define KVPAL_COMMAND(...) \
  static const ::kvpal::Registrar KVPAL_CONCAT(kvpalRegistrar, __LINE__)(::kvpal::Command{__VA_ARGS__})
