// Setting a test process's environment variables from tables where a null
// value means "unset".
#pragma once

#include <cstdlib>

namespace kvpal::test {

inline void setVariable(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

}  // namespace kvpal::test
