// Models and controllers created, stopped and destroyed at awkward moments,
// with decoding running on the workers. Meant for the ASan and TSan builds as
// much as for the normal one.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "ovra/stream_controller.h"
#include "sample_model/terrain_model.h"
#include "streaming/stream_controller_pimpl.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/showing_renderer.h"
#include "tasks/download_cache.h"

namespace ovra {
namespace {

using test::RecordingDataSource;

const std::vector<uint8_t>& TerrainFile() {
  static const std::vector<uint8_t> file = [] {
    tools::TerrainOptions options;
    options.depth = 3;
    options.finestCells = 4;
    options.textures = false;
    return tools::WriteTerrainModel(options);
  }();
  return file;
}

StreamControllerSettings Settings() {
  StreamControllerSettings settings;
  settings.triangleBudget = 4000;
  settings.distanceExponent = 1.0f;
  return settings;
}

// One streamed model with its own file reader.
struct StreamedModel {
  explicit StreamedModel(test::ShowingRenderer& renderer) : source(TerrainFile()) {
    model->Init(source, renderer, 1.0f, Vec3{}, -1, -1);
    model->UpdateLocalCameraPosition({0, 0, 20});
  }
  void Frame() {
    source.AnswerPending();
    model->UpdateRunningTasks();
  }
  RecordingDataSource source;
  std::unique_ptr<Model> model = std::make_unique<Model>();
};

// A controller whose updates are never throttled.
std::unique_ptr<StreamController> Controller() {
  auto controller = std::make_unique<StreamController>(Settings());
  detail::StreamControllerAccess::Pimpl(*controller).clock = [now = int64_t{0}]() mutable { return now += 250; };
  return controller;
}

// Plays frames until `done` holds; false after 30 seconds.
bool PlayUntil(const std::function<void()>& frame, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    frame();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

const EnvironmentInfo kView{{0, 0, 20}, 60.0f, 1.0f};

TEST(LifecycleTest, ModelDestroyedDuringASwapIsForgotten) {
  test::ScopedRecordingLogger log;
  test::ShowingRenderer renderer;
  StreamedModel streamed(renderer);
  auto controller = Controller();
  controller->StartStreamingModel(streamed.model.get());
  ASSERT_TRUE(PlayUntil([&] { streamed.Frame(), controller->Update(kView), renderer.EndFrame(); },
                        [&] { return controller->GetDebugInfo().pendingOperations > 0; }));
  streamed.source.AnswerPending();  // decoding of the swap starts on the workers
  streamed.model->UpdateRunningTasks();
  streamed.model.reset();
  controller->Update(kView);
  EXPECT_EQ(controller->GetDebugInfo().pendingOperations, 0u);
  renderer.EndFrame();  // the swap's onShown, if it got that far, finds its model gone
  EXPECT_TRUE(renderer.Faults().empty());
}

TEST(LifecycleTest, StopThenDestroyAtOnce) {
  test::ScopedRecordingLogger log;
  test::ShowingRenderer renderer;
  StreamedModel streamed(renderer);
  auto controller = Controller();
  controller->StartStreamingModel(streamed.model.get());
  for (int i = 0; i < 20; ++i) streamed.Frame(), controller->Update(kView), renderer.EndFrame();
  controller->StopStreamingModel(streamed.model.get());
  streamed.model.reset();
  controller->Update(kView);
  controller.reset();
  renderer.EndFrame();
  EXPECT_TRUE(renderer.Faults().empty());
}

TEST(LifecycleTest, TwoModelsOneControllerAndTwoControllersSettleWithoutClashes) {
  test::ScopedRecordingLogger log;
  test::ShowingRenderer renderer;  // shared: mesh ids of different models never clash
  StreamedModel first(renderer);
  StreamedModel second(renderer);
  StreamedModel third(renderer);
  auto both = Controller();
  auto other = Controller();
  both->StartStreamingModel(first.model.get());
  both->StartStreamingModel(second.model.get());
  other->StartStreamingModel(third.model.get());
  auto frame = [&] {
    for (StreamedModel* streamed : {&first, &second, &third}) streamed->Frame();
    both->Update(kView);
    other->Update(kView);
    renderer.EndFrame();
  };
  int quiet = 0;
  ASSERT_TRUE(PlayUntil(frame, [&] {
    const bool idle = both->GetDebugInfo().pendingOperations == 0 && other->GetDebugInfo().pendingOperations == 0 &&
                      !renderer.HasWaiting() && first.model->InitializationComplete() &&
                      second.model->InitializationComplete() && third.model->InitializationComplete();
    quiet = idle ? quiet + 1 : 0;
    return quiet > 8;
  }));
  EXPECT_TRUE(renderer.Faults().empty()) << renderer.Faults().front();
  EXPECT_GT(renderer.MeshesAdded(), 3 * 4) << "beyond the first loads of three models";
  both->StopStreamingModel(first.model.get());
  both->StopStreamingModel(second.model.get());
  other->StopStreamingModel(third.model.get());
}

TEST(LifecycleTest, CleanupBetweenModelsStartsTheCacheAfresh) {
  test::ScopedRecordingLogger log;
  test::ShowingRenderer renderer;
  for (int round = 0; round < 2; ++round) {
    StreamedModel streamed(renderer);
    auto controller = Controller();
    controller->StartStreamingModel(streamed.model.get());
    ASSERT_TRUE(PlayUntil([&] { streamed.Frame(), controller->Update(kView), renderer.EndFrame(); },
                          [&] { return streamed.model->InitializationComplete(); }));
    controller->StopStreamingModel(streamed.model.get());
    StreamController::CleanupGlobalState();
    EXPECT_EQ(DownloadCache::Instance().TotalBytes(), 0u);
    EXPECT_EQ(DownloadCache::Instance().CacheHits() + DownloadCache::Instance().CacheMisses(), 0u);
    renderer.RemoveAllMeshes();
  }
  EXPECT_TRUE(renderer.Faults().empty());
}

}  // namespace
}  // namespace ovra
