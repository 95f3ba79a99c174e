// Decoded vertex and pixel arrays must reach the renderer without a copy on
// the host thread. This executable counts large allocations made on the host
// thread, so it replaces the global operator new and runs alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <latch>
#include <limits>
#include <memory>
#include <new>
#include <thread>

#include "ovra/ovra.h"
#include "sample_model/terrain_model.h"
#include "support/recording_data_source.h"
#include "tasks/thread_pool.h"

namespace {

constexpr size_t kLarge = 4096;
thread_local bool countingHere = false;
std::atomic<int> largeAllocations{0};

void* Allocate(size_t size) {
  if (countingHere && size >= kLarge) largeAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }

namespace ovra {
namespace {

// Occupies every worker of the shared pool while it lives, so that decoding
// queued by a pump cannot finish, and its meshes be delivered, inside that
// same pump.
class HeldWorkers {
 public:
  HeldWorkers() {
    for (int i = 0; i < vandu::kSharedPoolWorkers; ++i) {
      vandu::SharedThreadPool().Enqueue(
          [state = state_] {
            state->held.count_down();
            state->released.wait();
          },
          std::numeric_limits<uint32_t>::max());
    }
    state_->held.wait();
  }
  ~HeldWorkers() { state_->released.count_down(); }
  HeldWorkers(const HeldWorkers&) = delete;
  HeldWorkers& operator=(const HeldWorkers&) = delete;

 private:
  struct State {
    std::latch held{vandu::kSharedPoolWorkers};
    std::latch released{1};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Remembers the largest array it was handed and whether a mesh came while
// the host thread was being counted.
class ArrayRenderer final : public IMeshRenderer {
 public:
  void AddMesh(const Mesh& mesh, int, int, const int*, size_t, VisualizationInfo, std::function<void()>) override {
    ++meshes;
    if (countingHere) ++meshesWhileCounting;
    largestArray = std::max({largestArray, mesh.positionsByteSize, mesh.colorTexture.byteSize});
  }
  void RemoveMesh(int) override {}
  void RemoveAllMeshes() override {}
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }

  int meshes = 0;
  int meshesWhileCounting = 0;
  uint64_t largestArray = 0;
};

TEST(ZeroCopyTest, DecodedArraysReachAddMeshWithoutALargeAllocationOnTheHostThread) {
  tools::TerrainOptions options;
  options.depth = 1;
  options.finestCells = 64;
  test::RecordingDataSource source(tools::WriteTerrainModel(options));
  ArrayRenderer renderer;
  Model model;
  model.Init(source, renderer, 1.0f, Vec3{}, -1, -1);

  // Each frame: answer the reads and pump once to hand them over, with the
  // workers held (copying and caching file bytes is the host's part); then,
  // while the workers decode, pump again and again while counting: those
  // pumps only assemble and deliver meshes. Several counted pumps, so that a
  // loaded machine's slow workers still finish inside them.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!model.InitializationComplete() && std::chrono::steady_clock::now() < deadline) {
    {
      const HeldWorkers held;
      source.AnswerPending();
      model.UpdateRunningTasks();
    }
    for (int pump = 0; pump < 10; ++pump) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      countingHere = true;
      model.UpdateRunningTasks();
      countingHere = false;
    }
  }
  ASSERT_TRUE(model.InitializationComplete());
  ASSERT_GT(renderer.meshesWhileCounting, 0) << "meshes were delivered while counting";
  EXPECT_GE(renderer.largestArray, 4 * kLarge) << "a copy of these arrays would have been counted";
  EXPECT_EQ(largeAllocations.load(), 0);
}

}  // namespace
}  // namespace ovra
