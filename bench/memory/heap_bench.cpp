// Allocate/free pairs on a private heap against glibc malloc/free, from one
// and from two threads sharing the heap.
#include <cstdlib>
#include <thread>

#include "pal/memory.h"
#include "ratio_reporter.h"

namespace {

void* sharedHeap() {
  static void* heap = kvHeapCreate(0);
  return heap;
}

void BM_PrivateHeap(benchmark::State& state) {
  void* heap = sharedHeap();
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = kvHeapAlloc(heap, size);
    benchmark::DoNotOptimize(p);
    kvHeapFree(heap, p);
  }
}

void BM_GlibcMalloc(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::malloc(size);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}

BENCHMARK(BM_PrivateHeap)->Arg(16)->Arg(256)->Arg(4096)->Threads(1)->Threads(2);
BENCHMARK(BM_GlibcMalloc)->Arg(16)->Arg(256)->Arg(4096)->Threads(1)->Threads(2);

}  // namespace

int main(int argc, char** argv) {
  // glibc skips its atomics until a process first starts a thread; the host
  // application always has, so measure both sides in that state.
  std::thread([] {}).join();
  std::vector<kvpal::bench::Ratio> ratios;
  for (const char* size : {"16", "256", "4096"})
    for (const char* threads : {"1", "2"}) {
      const std::string suffix = std::string("/") + size + "/threads:" + threads;
      ratios.push_back({std::string("heap alloc/free ") + size + " B, " + threads + " thread(s)",
                        "BM_PrivateHeap" + suffix, "BM_GlibcMalloc" + suffix});
    }
  return kvpal::bench::runWithRatios(argc, argv, ratios);
}
