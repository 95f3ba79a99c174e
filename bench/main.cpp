// Runs every benchmark, then prints how our decoders compare with their
// peers: for each "<group>/<case>/ovra" run with a "<group>/<case>/<peer>"
// sibling, the peer's time divided by ours (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace ovra::bench {
void RegisterMeshDecodeBenchmarks();
void RegisterTextureDecodeBenchmarks();
void RegisterKtx2TranscodeBenchmarks();
}  // namespace ovra::bench

namespace {

class ComparingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With repetitions the median stands for the case, else the single run.
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (median || (run.run_type == Run::RT_Iteration && run.repetitions <= 1)) {
        times_[run.run_name.str()] = run.GetAdjustedRealTime();
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    bool header = false;
    for (const auto& [name, time] : times_) {
      const size_t slash = name.rfind('/');
      if (slash == std::string::npos || name.substr(slash + 1) != "ovra") continue;
      const std::string stem = name.substr(0, slash + 1);
      for (const auto& [peerName, peerTime] : times_) {
        if (peerName.rfind(stem, 0) != 0 || peerName == name) continue;
        if (!header) {
          std::printf("\n%-40s %-10s %s\n", "comparison", "peer", "peer time / our time");
          header = true;
        }
        std::printf("%-40s %-10s %.2f\n", stem.c_str(), peerName.substr(stem.size()).c_str(), peerTime / time);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ovra::bench::RegisterMeshDecodeBenchmarks();
  ovra::bench::RegisterTextureDecodeBenchmarks();
  ovra::bench::RegisterKtx2TranscodeBenchmarks();
  ComparingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
