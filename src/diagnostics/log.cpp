// The logging facade over the host's back end.
#include "pal/log.h"

namespace Halvex::Tessaran::PAL::Log {

namespace {
std::unique_ptr<ILoggerHost> gHost;
}

void setLoggerHost(std::unique_ptr<ILoggerHost> host) {
  gHost = std::move(host);
}

bool isLogEnabled() {
  return gHost != nullptr;
}

void log(const std::string& first, const std::string& second, LogLevel level) {
  if (gHost) gHost->log(first, second, level);
}

std::string logLevelToString(LogLevel level) {
  switch (level) {
    case LevelDebug:
      return "DEBUG";
    case LevelInfo:
      return "INFO";
    case LevelWarn:
      return "WARN";
    case LevelError:
      return "ERROR";
  }
  return {};
}

}  // namespace Halvex::Tessaran::PAL::Log
