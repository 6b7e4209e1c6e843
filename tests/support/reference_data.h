// Tests that compare with the reference data under ../shared/data: without
// it a developer's run skips them, but a CI run (CI set) fails, since a skip
// there would leave the comparison unmade without anyone noticing.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

// Use at the top of a test body; `available` says whether the data was found.
#define KVPAL_REQUIRE_REFERENCE_DATA(available)                                                      \
  do {                                                                                               \
    if (!(available)) {                                                                              \
      const char* ci = std::getenv("CI");                                                            \
      if (ci && *ci) FAIL() << "reference data missing under " KVPAL_SHARED_DATA_DIR " in a CI run"; \
      GTEST_SKIP() << "reference data not found under " KVPAL_SHARED_DATA_DIR;                       \
    }                                                                                                \
  } while (false)
