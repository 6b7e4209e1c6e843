// random_string's digits and seeding, and the two channel pointers.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pal/input.h"
#include "support/child_process.h"

namespace {

namespace PAL = Halvex::Tessaran::PAL;
using PAL::MessageUtilities::random_string;

bool isCanonicalDecimal(const std::string& s) {
  if (s.empty() || s.size() > 20) return false;
  if (s.find_first_not_of("0123456789") != std::string::npos) return false;
  if (s.size() > 1 && s[0] == '0') return false;
  return s.size() < 20 || s <= "18446744073709551615";
}

TEST(RandomString, DecimalDigitsWithoutLeadingZeros) {
  std::set<std::string> seen;
  std::size_t longest = 0;
  for (int i = 0; i < 1000; ++i) {
    std::string s = random_string();
    ASSERT_TRUE(isCanonicalDecimal(s)) << s;
    seen.insert(s);
    longest = std::max(longest, s.size());
  }
  EXPECT_EQ(seen.size(), 1000u);
  // Drawn from the whole 64-bit range, most values have 19 or 20 digits.
  EXPECT_GE(longest, 19u);
}

TEST(RandomString, ThreadsShareOneSequence) {
  std::vector<std::vector<std::string>> drawn(4);
  std::vector<std::thread> threads;
  for (auto& d : drawn)
    threads.emplace_back([&d] {
      for (int i = 0; i < 500; ++i) d.push_back(random_string());
    });
  for (auto& t : threads) t.join();
  std::set<std::string> all;
  for (const auto& d : drawn) all.insert(d.begin(), d.end());
  EXPECT_EQ(all.size(), 2000u);
}

// A fixed seed would give every process the same numbers.
TEST(RandomString, EachProcessHasItsOwnSeed) {
  auto first = [] {
    std::string out = kvpal::test::runChild({RANDOM_STRING_CHILD_PATH}).output;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  };
  std::string a = first(), b = first();
  ASSERT_TRUE(isCanonicalDecimal(a)) << a;
  ASSERT_TRUE(isCanonicalDecimal(b)) << b;
  EXPECT_NE(a, b);
}

TEST(MessageQueue, KeepsTheTwoChannelsApart) {
  namespace MQ = PAL::MessageQueue;
  EXPECT_EQ(MQ::proxySideChannel(), nullptr);
  EXPECT_EQ(MQ::stubSideChannel(), nullptr);
  auto* proxy = reinterpret_cast<MQ::IChannel*>(0x1000);
  auto* stub = reinterpret_cast<MQ::IChannel*>(0x2000);
  MQ::setProxySideChannel(proxy);
  MQ::setStubSideChannel(stub);
  EXPECT_EQ(MQ::proxySideChannel(), proxy);
  EXPECT_EQ(MQ::stubSideChannel(), stub);
  MQ::setProxySideChannel(nullptr);
  EXPECT_EQ(MQ::proxySideChannel(), nullptr);
  EXPECT_EQ(MQ::stubSideChannel(), stub);
  MQ::setStubSideChannel(nullptr);
  EXPECT_FALSE(PAL::Input::setCurrentEvent(nullptr));
}

}  // namespace
