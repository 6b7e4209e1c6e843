// First-use stubs: the library they reach is not loaded before the first
// call, every argument (registers, stack, the vector count of a variadic
// call) survives the binding, racing first calls agree, and a module that
// cannot be opened stops the process with its name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "first_use_fixture.h"

namespace {

bool fixtureLoaded() {
  void* handle = dlopen(FIRST_USE_FIXTURE, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

TEST(FirstUseBinding, TheLibraryLoadsOnTheFirstCallWithEveryArgumentIntact) {
  ASSERT_FALSE(fixtureLoaded());
  const int i[7] = {1, 2, 3, 4, 5, 6, 7};
  const double x[9] = {0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5};
  double expected = 0;
  for (int k = 0; k < 7; ++k) expected += (k + 1) * i[k];
  for (int k = 0; k < 9; ++k) expected += (k + 8) * x[k];
  EXPECT_EQ(callWeigh(i, x), expected);
  EXPECT_TRUE(fixtureLoaded());
  EXPECT_EQ(callWeigh(i, x), expected);  // bound now: straight through
  // Variadic: the vector-register count in al must reach the callee.
  EXPECT_EQ(callSum(1.25, 2.5, 4.0), 1.25 + 2 * 2.5 + 3 * 4.0);
}

TEST(FirstUseBinding, RacingFirstCallsAllArrive) {
  std::atomic<bool> go{false};
  std::atomic<int> right{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      if (callTwice(t + 100) == 2 * (t + 100)) ++right;
    });
  go = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(right.load(), 8);
}

TEST(FirstUseBindingDeathTest, AModuleThatCannotBeOpenedStopsTheProcessNamingIt) {
  EXPECT_DEATH(callUnbound(1), "KvPal: fixture_unbound cannot be called: libKvPalNoSuchModule.so");
}

}  // namespace
