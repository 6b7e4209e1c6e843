// Guards the test harness: every ENV entry of kvpal_add_test reaches the test.
#include <gtest/gtest.h>

#include <cstdlib>

TEST(TestHarness, EveryEnvEntryReachesTheTest) {
  ASSERT_NE(std::getenv("KV_A"), nullptr);
  ASSERT_NE(std::getenv("KV_B"), nullptr);
  EXPECT_STREQ(std::getenv("KV_A"), "1");
  EXPECT_STREQ(std::getenv("KV_B"), "2");
}
