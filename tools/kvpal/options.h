// The one command-line option parser of the kvpal commands.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "command.h"

namespace kvpal {

struct Syntax {
  std::vector<std::string> withValue;  // options taking the next word as their value
  std::vector<std::string> flags;
  // Registry-tool switches: "/name" or "-name", named without the prefix and
  // matched without regard to case; any other word starting with '/' is a
  // path, as files live there. Otherwise options are written as listed
  // ("--output") and any other word starting with '-' is an error.
  bool slashSwitches = false;
  // "--" ends the options; the words after it go to Options::rest.
  bool restAfterDashDash = false;
};

struct Options {
  std::vector<std::string> positional;
  std::map<std::string, std::string> switches;  // by name as listed; a flag's value is empty
  std::vector<std::string> rest;
  bool restGiven = false;  // a "--" was there

  bool has(const std::string& name) const { return switches.count(name) != 0; }
  // The value given, or `def` when the option is absent.
  std::string value(const std::string& name, const std::string& def = {}) const {
    auto it = switches.find(name);
    return it == switches.end() ? def : it->second;
  }
};

// Splits args[from...]; false with `error` set for an unknown or repeated
// option or one lacking its value.
bool parseOptions(const Args& args, std::size_t from, const Syntax& syntax, Options& o, std::string& error);

// parseOptions for a command that takes options only: kOk, or kUsage after
// printing the usage error for `command`.
int parseOptionsOnly(const char* command, const Args& args, std::size_t from, const Syntax& syntax,
                     Options& o);

}  // namespace kvpal
