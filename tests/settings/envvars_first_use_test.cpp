// What the first envVars() call leaves in TEMP, in a process started with
// the environment its test entry gives. KVPAL_EXPECT_TEMP holds the value
// expected, "<unset>" when TEMP must not be set; KVPAL_TEMP_CASE names the
// entry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pal/settings_environment.h"

TEST(EnvVarsFirstUse, KVPAL_TEMP_CASE) {
  const char* expected = std::getenv("KVPAL_EXPECT_TEMP");
  ASSERT_NE(expected, nullptr) << "run through ctest";
  Halvex::Tessaran::PAL::Settings::envVars();
  const char* temp = std::getenv("TEMP");
  EXPECT_EQ(temp ? std::string(temp) : "<unset>", expected);
}
