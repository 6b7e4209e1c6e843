// View timers driven by a poll(2) loop on the thread that set them, as a
// host's event loop would drive them.
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>

#include <thread>
#include <vector>

#include "pal/input.h"
#include "pal/windowing.h"
#include "windowing/timer_queue.h"

namespace {

namespace PAL = Halvex::Tessaran::PAL;
namespace detail = PAL::Timer::detail;
using PAL::View;

struct Call {
  View* view;
  unsigned int message;
  unsigned long long id;
  unsigned int timeMs;
  std::thread::id thread;
};
std::vector<Call> allCalls;

void record(View* view, unsigned int message, unsigned long long id, unsigned int timeMs) {
  allCalls.push_back({view, message, id, timeMs, std::this_thread::get_id()});
}

unsigned int bootMs() {
  timespec t{};
  clock_gettime(CLOCK_BOOTTIME, &t);
  return static_cast<unsigned int>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// Stand-ins for the host's views and windows: the registry only keeps and
// hands back these addresses.
View* fakeView(int n) {
  return reinterpret_cast<View*>(0x1000 + 16 * n);
}
void* fakeWindow(int n) {
  return reinterpret_cast<void*>(0x9000 + 16 * n);
}

// The host's loop: waits until the descriptor is readable, then dispatches.
int pollAndDispatch(int timeoutMs = 5000) {
  pollfd p{PAL::Timer::getTimerDescriptor(), POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1) return -1;
  return PAL::Timer::dispatchTimers();
}

class Timers : public testing::Test {
 public:
  void SetUp() override { allCalls.clear(); }
  void TearDown() override {
    for (auto [window, id] : started_) detail::killTimer(window, id);
  }
  unsigned long long set(void* window, View* view, unsigned long long id, unsigned int ms,
                         PAL::Timer::TimerCallback callback = record) {
    unsigned long long r = detail::setTimer(window, view, id, ms, callback);
    if (r) started_.push_back({window, r});
    return r;
  }

 private:
  std::vector<std::pair<void*, unsigned long long>> started_;
};

TEST_F(Timers, FireThroughThePollLoopOnTheOwningThread) {
  unsigned int before = bootMs();
  ASSERT_EQ(set(fakeWindow(1), fakeView(1), 7, 10), 7u);
  ASSERT_EQ(pollAndDispatch(), 1);
  unsigned int after = bootMs();
  ASSERT_EQ(allCalls.size(), 1u);
  EXPECT_EQ(allCalls[0].view, fakeView(1));
  EXPECT_EQ(allCalls[0].message, 0x0113u);
  EXPECT_EQ(allCalls[0].id, 7u);
  EXPECT_EQ(allCalls[0].thread, std::this_thread::get_id());
  EXPECT_GE(allCalls[0].timeMs, before);
  EXPECT_LE(allCalls[0].timeMs, after);
  // Periodic: the timer is re-armed after each dispatch.
  ASSERT_EQ(pollAndDispatch(), 1);
  EXPECT_EQ(allCalls.size(), 2u);
}

TEST_F(Timers, OtherThreadsNeitherSeeNorRunThem) {
  ASSERT_NE(set(fakeWindow(1), fakeView(1), 1, 10), 0u);
  pollfd p{PAL::Timer::getTimerDescriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);  // due now
  int otherFd = -2, otherRan = -2;
  short otherReadable = -1;
  std::thread([&] {
    otherFd = PAL::Timer::getTimerDescriptor();
    pollfd q{otherFd, POLLIN, 0};
    poll(&q, 1, 0);
    otherReadable = q.revents;
    otherRan = PAL::Timer::dispatchTimers();
    // Not this thread's timer, so it cannot be killed from here.
    detail::killTimer(fakeWindow(1), 1);
  }).join();
  EXPECT_NE(otherFd, PAL::Timer::getTimerDescriptor());
  EXPECT_GE(otherFd, 0);
  EXPECT_EQ(otherReadable, 0);
  EXPECT_EQ(otherRan, 0);
  EXPECT_TRUE(allCalls.empty());
  EXPECT_EQ(PAL::Timer::dispatchTimers(), 1);
  ASSERT_EQ(allCalls.size(), 1u);
  EXPECT_EQ(allCalls[0].thread, std::this_thread::get_id());
}

TEST_F(Timers, WithoutAViewTheSystemPicksTheIdentifier) {
  unsigned long long a = set(nullptr, nullptr, 555, 10);
  ASSERT_NE(a, 0u);
  unsigned long long b = set(nullptr, nullptr, 555, 10);
  EXPECT_NE(b, a);
  // Naming an existing windowless timer restarts it under its identifier.
  EXPECT_EQ(set(nullptr, nullptr, a, 10), a);
  while (allCalls.size() < 2) ASSERT_GT(pollAndDispatch(), 0);
  for (const Call& c : allCalls) {
    EXPECT_EQ(c.view, nullptr);
    EXPECT_TRUE(c.id == a || c.id == b) << c.id;
  }
}

TEST_F(Timers, WithoutACallbackNothingRuns) {
  unsigned long long id = set(nullptr, nullptr, 0, 10, nullptr);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(pollAndDispatch(), 1);
  // Registered, with no callback: the dispatcher has nothing to run.
  detail::dispatchToRegistry(nullptr, 0x0113, id, 0);
  EXPECT_TRUE(allCalls.empty());
}

TEST_F(Timers, AWindowsEntryKeepsItsFirstViewUntilItsLastTimerGoes) {
  ASSERT_EQ(set(fakeWindow(2), fakeView(1), 1, 10), 1u);
  ASSERT_EQ(set(fakeWindow(2), fakeView(2), 2, 10), 2u);
  detail::dispatchToRegistry(fakeWindow(2), 0x0113, 2, 0);
  ASSERT_EQ(allCalls.size(), 1u);
  EXPECT_EQ(allCalls[0].view, fakeView(1));

  detail::killTimer(fakeWindow(2), 1);
  detail::killTimer(fakeWindow(2), 2);
  detail::dispatchToRegistry(fakeWindow(2), 0x0113, 2, 0);
  EXPECT_EQ(allCalls.size(), 1u) << "a killed timer still reached its callback";

  ASSERT_EQ(set(fakeWindow(2), fakeView(2), 3, 10), 3u);
  detail::dispatchToRegistry(fakeWindow(2), 0x0113, 3, 0);
  ASSERT_EQ(allCalls.size(), 2u);
  EXPECT_EQ(allCalls[1].view, fakeView(2));
}

TEST_F(Timers, SettingAgainReplacesTheCallback) {
  static int otherCalls;
  otherCalls = 0;
  ASSERT_EQ(set(fakeWindow(3), fakeView(3), 4, 10), 4u);
  ASSERT_EQ(set(fakeWindow(3), fakeView(3), 4, 10,
                [](View*, unsigned, unsigned long long, unsigned) { ++otherCalls; }),
            4u);
  EXPECT_EQ(pollAndDispatch(), 1) << "the second SetTimer made a second timer";
  EXPECT_TRUE(allCalls.empty());
  EXPECT_EQ(otherCalls, 1);
}

TEST_F(Timers, KillingAnUnknownTimerLeavesTheOthers) {
  ASSERT_EQ(set(fakeWindow(4), fakeView(4), 5, 10), 5u);
  detail::killTimer(fakeWindow(4), 6);
  detail::killTimer(fakeWindow(5), 5);
  EXPECT_EQ(pollAndDispatch(), 1);
  EXPECT_EQ(allCalls.size(), 1u);
}

TEST_F(Timers, ACallbackMayKillAndSetTimers) {
  static Timers* self;
  self = this;
  ASSERT_EQ(set(fakeWindow(6), fakeView(6), 1, 10,
                [](View*, unsigned, unsigned long long, unsigned) {
                  detail::killTimer(fakeWindow(6), 1);
                  self->set(fakeWindow(6), fakeView(6), 2, 10);
                }),
            1u);
  EXPECT_EQ(pollAndDispatch(), 1);
  EXPECT_EQ(pollAndDispatch(), 1);
  ASSERT_EQ(allCalls.size(), 1u);
  EXPECT_EQ(allCalls[0].id, 2u);
}

TEST_F(Timers, IdentifierZeroOnAWindowFails) {
  EXPECT_EQ(set(fakeWindow(7), fakeView(7), 0, 10), 0u);
  detail::dispatchToRegistry(fakeWindow(7), 0x0113, 0, 0);
  EXPECT_TRUE(allCalls.empty());
}

TEST_F(Timers, TheViewsWindowKeysItsTimers) {
  PAL::View view(PAL::WindowingSystem::WindowHandle(fakeWindow(8)));
  ASSERT_EQ(PAL::Timer::SetTimer(&view, 9, 10, record), 9u);
  ASSERT_EQ(pollAndDispatch(), 1);
  ASSERT_EQ(allCalls.size(), 1u);
  EXPECT_EQ(allCalls[0].view, &view);
  EXPECT_EQ(allCalls[0].id, 9u);
  // The same window's timer, reached without the view.
  detail::dispatchToRegistry(fakeWindow(8), 0x0113, 9, 0);
  EXPECT_EQ(allCalls.size(), 2u);
  PAL::Timer::KillTimer(&view, 9);
  detail::dispatchToRegistry(fakeWindow(8), 0x0113, 9, 0);
  EXPECT_EQ(allCalls.size(), 2u);
  EXPECT_FALSE(detail::hasDueTimer());
}

}  // namespace
