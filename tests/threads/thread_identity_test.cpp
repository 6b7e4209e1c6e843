// Main/UI thread records, stack addresses and the floating-point set-up.
#include <fenv.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "pal/thread.h"

namespace Thread = Halvex::Tessaran::PAL::Thread;

namespace {

unsigned long long myId() {
  return static_cast<unsigned long long>(gettid());
}

template <typename F>
auto onOtherThread(F f) {
  decltype(f()) r{};
  std::thread([&] { r = f(); }).join();
  return r;
}

TEST(ThreadIdentity, NothingRecordedAtStart) {
  // The records are process-wide: look at them in a freshly started child
  // (a forked one would inherit what earlier tests recorded).
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool ok = !Thread::isMainThread() && !Thread::isUiThread() && Thread::isMainThreadId(0) &&
                  !Thread::isMainThreadId(myId()) && !onOtherThread([] { return Thread::isMainThread(); });
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ThreadIdentity, RecordsFollowTheLastCaller) {
  struct Case {
    const char* what;
    void (*record)();
    bool (*query)();
  };
  const Case cases[] = {{"main", &Thread::initializeMainThread, &Thread::isMainThread},
                        {"ui", &Thread::initializeUiThread, &Thread::isUiThread}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.record();
    EXPECT_TRUE(c.query());
    EXPECT_FALSE(onOtherThread([&] { return c.query(); }));
    const unsigned long long other = onOtherThread([&] {
      c.record();
      return myId();
    });
    EXPECT_FALSE(c.query());
    if (c.record == &Thread::initializeMainThread) {
      EXPECT_TRUE(Thread::isMainThreadId(other));
      EXPECT_FALSE(Thread::isMainThreadId(myId()));
    }
    c.record();
    EXPECT_TRUE(c.query());
  }
  Thread::initializeMainThread();
  EXPECT_TRUE(Thread::isMainThreadId(myId()));
  EXPECT_FALSE(Thread::isMainThreadId(myId() | (1ull << 32)));  // all 64 bits count
  EXPECT_FALSE(Thread::isMainThreadId(myId() | (1ull << 63)));
}

int g_global = 0;

TEST(ThreadIdentity, StackAddresses) {
  int local = 0;
  auto heap = std::make_unique<int>(0);
  EXPECT_TRUE(Thread::isStackAddress(&local));
  EXPECT_FALSE(Thread::isStackAddress(heap.get()));
  EXPECT_FALSE(Thread::isStackAddress(&g_global));
  EXPECT_FALSE(Thread::isStackAddress(nullptr));

  // A local of another, still running thread is on that thread's stack.
  std::atomic<const int*> theirs{nullptr};
  std::atomic<bool> done{false};
  std::atomic<bool> sawOwn{false};
  std::thread t([&] {
    int other = 0;
    sawOwn = Thread::isStackAddress(&other);
    theirs = &other;
    while (!done.load()) std::this_thread::yield();
  });
  while (!theirs.load()) std::this_thread::yield();
  EXPECT_FALSE(Thread::isStackAddress(theirs.load()));
  done = true;
  t.join();
  EXPECT_TRUE(sawOwn.load());
}

uint16_t x87ControlWord() {
  uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
}

TEST(InitFpu, MasksEveryExceptionAndKeepsRounding) {
  fenv_t saved;
  fegetenv(&saved);
  fesetround(FE_UPWARD);
  feenableexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
  _mm_setcsr(_mm_getcsr() & ~0x0100u);  // unmask denormal too
  ASSERT_NE(fegetexcept(), 0);

  Thread::initFPU();
  EXPECT_EQ(fegetexcept(), 0);
  EXPECT_EQ(_mm_getcsr() & 0x1F80u, 0x1F80u);
  EXPECT_EQ(x87ControlWord() & 0x3Fu, 0x3Fu);
  EXPECT_EQ(fegetround(), FE_UPWARD);
  volatile double zero = 0.0;
  EXPECT_TRUE(__builtin_isinf(1.0 / zero));  // would trap if still unmasked
  fesetenv(&saved);
}

}  // namespace
