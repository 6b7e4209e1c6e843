// KvCrit against std::mutex / std::shared_mutex uncontended, and KvEventObj
// ping-pong between two threads against a condition-variable pair.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "pal/thread.h"
#include "ratio_reporter.h"

namespace {
using Halvex::Tessaran::PAL::Thread::KvCrit;
using Halvex::Tessaran::PAL::Thread::KvEventObj;

void BM_KvCritLock(benchmark::State& state) {
  KvCrit* c = KvCrit::newClass();
  for (auto _ : state) {
    c->lock();
    c->unlock();
  }
  KvCrit::deleteClass(c);
}

void BM_StdMutexLock(benchmark::State& state) {
  std::mutex m;
  for (auto _ : state) {
    m.lock();
    m.unlock();
  }
}

void BM_KvCritLockRead(benchmark::State& state) {
  KvCrit* c = KvCrit::newClass();
  for (auto _ : state) {
    c->lockRead();
    c->unlockRead();
  }
  KvCrit::deleteClass(c);
}

void BM_StdSharedMutexLockShared(benchmark::State& state) {
  std::shared_mutex m;
  for (auto _ : state) {
    m.lock_shared();
    m.unlock_shared();
  }
}

// One iteration is one round trip: signal the partner, wait for its answer.
void BM_KvEventPingPong(benchmark::State& state) {
  KvEventObj* ping = KvEventObj::newClass();
  KvEventObj* pong = KvEventObj::newClass();
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    for (;;) {
      ping->waitForSignal();
      if (stop.load()) return;
      pong->signal();
    }
  });
  for (auto _ : state) {
    ping->signal();
    pong->waitForSignal();
  }
  stop = true;
  ping->signal();
  partner.join();
  KvEventObj::deleteClass(ping);
  KvEventObj::deleteClass(pong);
}

// The usual hand-made auto-reset event.
struct CvEvent {
  std::mutex m;
  std::condition_variable cv;
  bool set = false;
  void signal() {
    {
      std::lock_guard<std::mutex> g(m);
      set = true;
    }
    cv.notify_one();
  }
  void wait() {
    std::unique_lock<std::mutex> g(m);
    cv.wait(g, [&] { return set; });
    set = false;
  }
};

void BM_CondVarPingPong(benchmark::State& state) {
  CvEvent ping, pong;
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    for (;;) {
      ping.wait();
      if (stop.load()) return;
      pong.signal();
    }
  });
  for (auto _ : state) {
    ping.signal();
    pong.wait();
  }
  stop = true;
  ping.signal();
  partner.join();
}

BENCHMARK(BM_KvCritLock);
BENCHMARK(BM_StdMutexLock);
BENCHMARK(BM_KvCritLockRead);
BENCHMARK(BM_StdSharedMutexLockShared);
BENCHMARK(BM_KvEventPingPong)->UseRealTime();
BENCHMARK(BM_CondVarPingPong)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // glibc skips its atomics until a process first starts a thread; the host
  // application always has, so measure both sides in that state.
  std::thread([] {}).join();
  return kvpal::bench::runWithRatios(
      argc, argv,
      {{"KvCrit lock/unlock vs std::mutex", "BM_KvCritLock", "BM_StdMutexLock"},
       {"KvCrit lockRead/unlockRead vs std::shared_mutex", "BM_KvCritLockRead",
        "BM_StdSharedMutexLockShared"},
       {"KvEventObj ping-pong vs condition_variable pair", "BM_KvEventPingPong/real_time",
        "BM_CondVarPingPong/real_time"}});
}
