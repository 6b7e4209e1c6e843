// Runs the registered benchmarks and prints, after Google Benchmark's own
// table, the ratio of each measured case to its baseline from the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kvpal::bench {

struct Ratio {
  std::string label;     // what the line reports
  std::string ours;      // benchmark name (with arguments) of the library call
  std::string baseline;  // benchmark name of the baseline it is compared with
};

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        nsPerIter_[r.benchmark_name()] = r.GetAdjustedRealTime() * toNs(r.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }

  void printRatios(const std::vector<Ratio>& ratios) const {
    std::printf("\nratios (ours / baseline, lower is better):\n");
    for (const auto& q : ratios) {
      auto a = nsPerIter_.find(q.ours), b = nsPerIter_.find(q.baseline);
      if (a == nsPerIter_.end() || b == nsPerIter_.end()) {
        std::printf("  %-48s not measured in this run\n", q.label.c_str());
        continue;
      }
      std::printf("  %-48s %10.1f ns vs %10.1f ns  ratio %.2f\n", q.label.c_str(), a->second, b->second,
                  a->second / b->second);
    }
  }

 private:
  static double toNs(benchmark::TimeUnit u) {
    switch (u) {
      case benchmark::kSecond:
        return 1e9;
      case benchmark::kMillisecond:
        return 1e6;
      case benchmark::kMicrosecond:
        return 1e3;
      default:
        return 1.0;
    }
  }
  std::map<std::string, double> nsPerIter_;
};

// Use in place of BENCHMARK_MAIN().
inline int runWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios(ratios);
  benchmark::Shutdown();
  return 0;
}

}  // namespace kvpal::bench
