// The logging facade: log lines go to the back end that the host installs;
// without one, logging is off.
//
// No difference from Windows: the facade involves no operating-system facility.
#pragma once

#include <memory>
#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::Log {

enum LogLevel : int {
  LevelDebug = 1,
  LevelInfo = 2,
  LevelWarn = 3,
  LevelError = 4,
};

static_assert(sizeof(LogLevel) == 4);

// Implemented by the host; must accept calls from any thread.
class ILoggerHost {
 public:
  virtual ~ILoggerHost() = default;
  virtual void log(const std::string& first, const std::string& second, LogLevel level) = 0;
};

// Takes ownership and destroys the previous back end; null turns logging off.
PAL_EXPORT void setLoggerHost(std::unique_ptr<ILoggerHost> host);
PAL_EXPORT bool isLogEnabled();
PAL_EXPORT void log(const std::string& first, const std::string& second, LogLevel level);
// "DEBUG", "INFO", "WARN", "ERROR" for 1 to 4, else "".
PAL_EXPORT std::string logLevelToString(LogLevel level);

}  // namespace Halvex::Tessaran::PAL::Log
