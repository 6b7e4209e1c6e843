// Option parsing shared by the kvpal commands.
#include "options.h"

#include <algorithm>

#include "base/case_fold.h"

namespace kvpal {

bool parseOptions(const Args& args, std::size_t from, const Syntax& syntax, Options& o, std::string& error) {
  auto listed = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  const char* kind = syntax.slashSwitches ? "switch" : "option";
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (syntax.restAfterDashDash && a == "--") {
      o.restGiven = true;
      o.rest.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      return true;
    }
    std::string name = a;
    if (syntax.slashSwitches) {
      name = a.size() > 1 ? a.substr(1) : "";
      for (auto& c : name)
        c = static_cast<char>(Halvex::Tessaran::PAL::detail::lowerCase(static_cast<unsigned char>(c)));
    }
    const bool takes = listed(syntax.withValue, name);
    const bool flag = listed(syntax.flags, name);
    const bool looksLikeOption = syntax.slashSwitches ? (a.size() > 0 && a[0] == '-') ||
                                                            (a.size() > 0 && a[0] == '/' && (takes || flag))
                                                      : a.size() > 1 && a[0] == '-';
    if (!looksLikeOption) {
      o.positional.push_back(a);
      continue;
    }
    if (!takes && !flag) return error = std::string("unknown ") + kind + " '" + a + "'", false;
    if (o.has(name)) return error = std::string(kind) + " '" + a + "' given twice", false;
    if (takes) {
      if (i + 1 >= args.size()) return error = std::string(kind) + " '" + a + "' needs a value", false;
      o.switches[name] = args[++i];
    } else {
      o.switches[name] = "";
    }
  }
  return true;
}

int parseOptionsOnly(const char* command, const Args& args, std::size_t from, const Syntax& syntax,
                     Options& o) {
  std::string error;
  if (!parseOptions(args, from, syntax, o, error)) return usageError(command, error);
  if (!o.positional.empty()) return usageError(command, "unexpected argument '" + o.positional.front() + "'");
  return kOk;
}

}  // namespace kvpal
