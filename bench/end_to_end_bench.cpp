// A whole streaming session as a host sees it: a terrain of 10.6 million
// triangles (1,365 tiles of three levels) behind a data source that answers
// after 40 ms at 200 Mbit/s, a 60 Hz frame loop on the host thread, and a
// camera that flies in low over the ground, crosses it and then rests.
//
// Reported per run: host-thread time per frame inside the library (median,
// 99th percentile, worst; the data source's and the renderer's own work
// excluded), in wall time and in the thread's CPU time, time to the
// first mesh, time until nothing changes once the camera rests, bytes and
// requests, and the triangles shown at the peak and at rest.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include <time.h>

#include "ovra/host/swap_collector.h"
#include "ovra/ovra.h"
#include "sample_model/terrain_model.h"

namespace ovra {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLatency = std::chrono::milliseconds(40);
constexpr double kBytesPerSecond = 200e6 / 8;
constexpr auto kFrame = std::chrono::microseconds(16667);

// Serves an in-memory file as a remote server would: each range arrives
// after the latency plus its turn on a link of fixed bandwidth, and is
// completed on the host thread by the first frame after that.
class RemoteDataSource final : public DataSource {
 public:
  explicit RemoteDataSource(const std::vector<uint8_t>& file) : file_(file) {}

  void RequestRange(int requestId, uint64_t offset, uint64_t size) override {
    const Clock::time_point now = Clock::now();
    linkFreeAt_ = std::max(linkFreeAt_, now + kLatency) +
                  std::chrono::duration_cast<Clock::duration>(
                      std::chrono::duration<double>(static_cast<double>(size) / kBytesPerSecond));
    pending_.push_back({requestId, offset, size, linkFreeAt_});
    ++requests_;
    bytes_ += size;
  }

  void DeliverArrived() {
    const Clock::time_point now = Clock::now();
    while (!pending_.empty() && pending_.front().arrival <= now) {
      const Range range = pending_.front();
      pending_.pop_front();
      FillBuffer(range);
      CompleteRangeRequest(range.id, buffer_.data());
    }
  }

  bool Idle() const { return pending_.empty(); }
  uint64_t Requests() const { return requests_; }
  uint64_t Bytes() const { return bytes_; }
  Clock::duration OwnTime() const { return ownTime_; }

 private:
  struct Range {
    int id;
    uint64_t offset;
    uint64_t size;
    Clock::time_point arrival;
  };
  // Reading the bytes is the host's work, as a socket read would be.
  void FillBuffer(const Range& range) {
    const Clock::time_point start = Clock::now();
    buffer_.assign(range.size, 0);
    if (range.offset < file_.size()) {
      const uint64_t available = std::min<uint64_t>(range.size, file_.size() - range.offset);
      std::memcpy(buffer_.data(), file_.data() + range.offset, available);
    }
    ownTime_ += Clock::now() - start;
  }

  const std::vector<uint8_t>& file_;
  std::deque<Range> pending_;
  std::vector<unsigned char> buffer_;
  Clock::time_point linkFreeAt_{};
  uint64_t requests_ = 0;
  uint64_t bytes_ = 0;
  Clock::duration ownTime_{};
};

// Holds swaps until complete, shows them on the next frame, then reports
// them shown; counts triangles and the time spent in its own calls.
class CountingRenderer final : public IMeshRenderer {
 public:
  void AddMesh(const Mesh& mesh, int meshId, int operationId, const int*, size_t operationMeshCount, VisualizationInfo,
               std::function<void()> onShown) override {
    const Clock::time_point start = Clock::now();
    const uint64_t triangles = mesh.indicesByteSize / 12;
    (swaps_.Add(meshId, operationId, operationMeshCount, std::move(onShown)) ? shown_ : hidden_)[meshId] = triangles;
    ++meshesAdded_;
    ownTime_ += Clock::now() - start;
  }
  void RemoveMesh(int meshId) override { shown_.erase(meshId); }
  void RemoveAllMeshes() override { shown_.clear(); }
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }

  // After a frame is drawn: the swaps complete before it become visible and
  // their callbacks run.
  void EndFrame() {
    for (host::CompleteSwap& swap : swaps_.TakeComplete()) {
      for (int id : swap.meshIds) shown_[id] = hidden_.extract(id).mapped();
      swap.onShown();
    }
  }

  uint64_t ShownTriangles() const {
    uint64_t total = 0;
    for (const auto& [id, triangles] : shown_) total += triangles;
    return total;
  }
  bool Busy() const { return swaps_.PendingOperations() > 0; }
  uint64_t MeshesAdded() const { return meshesAdded_; }
  Clock::duration OwnTime() const { return ownTime_; }

 private:
  host::SwapCollector swaps_;
  std::map<int, uint64_t> hidden_;  // triangles of meshes waiting for their swap
  std::map<int, uint64_t> shown_;
  uint64_t meshesAdded_ = 0;
  Clock::duration ownTime_{};
};

const std::vector<uint8_t>& TenMillionTriangleTerrain() {
  static const std::vector<uint8_t> file = [] {
    tools::TerrainOptions options;
    options.depth = 5;
    options.finestCells = 72;
    options.textures = false;
    return tools::WriteTerrainModel(options);
  }();
  return file;
}

// Flies in from afar to low over one corner for six seconds, crosses to the
// opposite corner in four, then rests.
Vec3 CameraAt(double seconds) {
  const auto lerp = [](Vec3 a, Vec3 b, double t) {
    const auto f = static_cast<float>(std::clamp(t, 0.0, 1.0));
    return Vec3{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
  };
  const Vec3 far{-300, -300, 200}, corner{-50, -50, 12}, opposite{50, 50, 12};
  return seconds < 6.0 ? lerp(far, corner, seconds / 6.0) : lerp(corner, opposite, (seconds - 6.0) / 4.0);
}

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// CPU time of the calling thread: unlike wall time, it does not grow while
// the thread waits for a core.
Clock::duration ThreadCpuTime() {
  timespec time{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
  return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())))];
}

void BM_EndToEndFlythrough(benchmark::State& state) {
  const std::vector<uint8_t>& file = TenMillionTriangleTerrain();
  for (auto _ : state) {
    RemoteDataSource source(file);
    CountingRenderer renderer;
    Model model;
    StreamControllerSettings settings;
    settings.triangleBudget = 1000000;
    settings.distanceExponent = 1.0f;
    StreamController controller(settings);

    const Clock::time_point start = Clock::now();
    model.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
    controller.StartStreamingModel(&model);
    std::vector<double> hostMs, hostCpuMs;
    double firstMesh = -1, settled = -1, restingSince = -1;
    uint64_t peak = 0;
    Clock::time_point nextFrame = start;
    constexpr double kRestAt = 10.0, kGiveUpAt = 40.0;
    for (;;) {
      const double now = std::chrono::duration<double>(Clock::now() - start).count();
      const Vec3 camera = CameraAt(now);
      const Clock::duration hostsOwnBefore = renderer.OwnTime() + source.OwnTime();
      // The CPU clock is a system call: read outside the wall-time window.
      const Clock::duration cpuStart = ThreadCpuTime();
      const Clock::time_point frameStart = Clock::now();
      source.DeliverArrived();
      model.UpdateLocalCameraPosition(camera);
      model.UpdateRunningTasks();
      controller.Update(EnvironmentInfo{camera, 60.0f, 16.0f / 9.0f});
      renderer.EndFrame();
      const Clock::duration hostsOwn = renderer.OwnTime() + source.OwnTime() - hostsOwnBefore;
      hostMs.push_back(Milliseconds(Clock::now() - frameStart - hostsOwn));
      hostCpuMs.push_back(Milliseconds(ThreadCpuTime() - cpuStart - hostsOwn));

      peak = std::max(peak, renderer.ShownTriangles());
      if (firstMesh < 0 && renderer.MeshesAdded() > 0) firstMesh = now;
      const bool busy = renderer.Busy() || !source.Idle() || controller.GetDebugInfo().pendingOperations > 0;
      if (now >= kRestAt && busy) restingSince = -1;
      if (now >= kRestAt && !busy && restingSince < 0) restingSince = now;
      // Settled: a full second (four controller updates) without any change.
      if (restingSince >= 0 && now - restingSince >= 1.0) {
        settled = restingSince - kRestAt;
        break;
      }
      if (now > kGiveUpAt) break;
      nextFrame += std::chrono::duration_cast<Clock::duration>(kFrame);
      std::this_thread::sleep_until(nextFrame);
    }
    controller.StopStreamingModel(&model);

    state.counters["host_ms_median"] = Percentile(hostMs, 0.5);
    state.counters["host_ms_p99"] = Percentile(hostMs, 0.99);
    state.counters["host_ms_worst"] = Percentile(hostMs, 1.0);
    state.counters["host_cpu_ms_p99"] = Percentile(hostCpuMs, 0.99);
    state.counters["host_cpu_ms_worst"] = Percentile(hostCpuMs, 1.0);
    state.counters["first_mesh_s"] = firstMesh;
    state.counters["settle_s"] = settled;  // -1: did not settle within the run
    state.counters["MB_fetched"] = static_cast<double>(source.Bytes()) / 1e6;
    state.counters["MB_file"] = static_cast<double>(file.size()) / 1e6;
    state.counters["requests"] = static_cast<double>(source.Requests());
    state.counters["peak_tris"] = static_cast<double>(peak);
    state.counters["settled_tris"] = static_cast<double>(renderer.ShownTriangles());
    state.counters["frames"] = static_cast<double>(hostMs.size());
  }
}
BENCHMARK(BM_EndToEndFlythrough)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace ovra
