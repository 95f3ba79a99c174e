#include "ovra/host/file_data_source.h"

#include <ovra/ovra.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "host_streaming.h"

namespace ovra::host {
namespace {

namespace fs = std::filesystem;

// A file of `size` bytes whose byte i is i * 7 mod 251.
class TempFile {
 public:
  explicit TempFile(size_t size) : path_(fs::temp_directory_path() / ("ovra-fds-" + std::to_string(size))) {
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(path_, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
  }
  ~TempFile() { fs::remove(path_); }
  std::string Path() const { return path_.string(); }

 private:
  fs::path path_;
};

// Delivers until `count` reads arrived or two seconds passed.
size_t DeliverAll(FileDataSource& source, size_t count) {
  size_t delivered = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (delivered < count && std::chrono::steady_clock::now() < deadline) {
    delivered += source.DeliverFinishedReads();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return delivered;
}

TEST(FileDataSourceTest, ReadsEveryRangeOnItsThreadsAndDeliversOnTheCallersThread) {
  const TempFile file(100000);
  FileDataSource source(file.Path(), 3);
  ASSERT_TRUE(source.IsOpen());
  EXPECT_EQ(source.FileSize(), 100000u);
  for (int i = 0; i < 200; ++i) source.RequestRange(1112 + i, static_cast<uint64_t>(i) * 997, 1500);
  EXPECT_EQ(DeliverAll(source, 200), 200u);
  EXPECT_EQ(source.DeliverFinishedReads(), 0u);
  EXPECT_EQ(source.Statistics().requests, 200u);
  EXPECT_EQ(source.Statistics().bytesDelivered, 200u * 1500u);
}

// Streams the sample model from disk the way a host does; every byte must
// arrive intact for its geometry and textures to decode.
class CountingRenderer final : public IMeshRenderer {
 public:
  void AddMesh(const Mesh& mesh, int, int, const int*, size_t, VisualizationInfo, std::function<void()>) override {
    ++meshes;
    triangles += mesh.indicesByteSize / 12;
    if (mesh.colorTexture.byteSize > 0) ++textured;
  }
  void RemoveMesh(int) override {}
  void RemoveAllMeshes() override {}
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }
  int meshes = 0;
  uint64_t triangles = 0;
  int textured = 0;
};

TEST(FileDataSourceTest, StreamsAModelFromDisk) {
  const fs::path path = fs::temp_directory_path() / "ovra-fds-sample.tzm";
  ASSERT_TRUE(testing::MakeSampleModel(path, 1));
  testing::RecordingLogger log;
  {
    FileDataSource source(path.string());
    ASSERT_GT(source.FileSize(), 0u);
    CountingRenderer renderer;
    Model model;
    model.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!model.InitializationComplete() && std::chrono::steady_clock::now() < deadline) {
      source.DeliverFinishedReads();
      model.UpdateRunningTasks();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(model.InitializationComplete());
    EXPECT_EQ(renderer.meshes, 4) << "the four tiles below the root";
    EXPECT_GT(renderer.triangles, 0u);
    EXPECT_EQ(renderer.textured, 4);
    const TransferStatistics statistics = source.Statistics();
    EXPECT_EQ(statistics.bytesDelivered, statistics.bytesRequested);
    EXPECT_EQ(statistics.failedRequests, 0u);
  }
  EXPECT_TRUE(log.Errors().empty());
  fs::remove(path);
}

// A model rewritten in place is shorter for a while: reads inside its old
// size wait for it instead of answering with zeros.
TEST(FileDataSourceTest, AFileCutShortUnderItDelaysReadsInsteadOfLosingThem) {
  const TempFile file(100000);
  testing::RecordingLogger log;
  FileDataSource source(file.Path(), 2);
  fs::resize_file(file.Path(), 50000);
  source.RequestRange(1112, 60000, 1000);
  source.RequestRange(1113, 100, 1000);
  EXPECT_EQ(DeliverAll(source, 1), 1u) << "the range still in the file arrives";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(source.DeliverFinishedReads(), 0u) << "the cut range waits";

  const TempFile rewritten(100000);  // the same path and bytes
  EXPECT_EQ(DeliverAll(source, 1), 1u);
  const TransferStatistics statistics = source.Statistics();
  EXPECT_EQ(statistics.failedRequests, 0u);
  EXPECT_GE(statistics.retries, 1u);
  EXPECT_EQ(statistics.outages, 1u);
  EXPECT_GE(statistics.longestOutageMs, 300u);
  EXPECT_TRUE(log.Errors().empty());
  EXPECT_EQ(log.Warnings().size(), 1u);
}

TEST(FileDataSourceTest, MissingFileIsReportedClosed) {
  FileDataSource source("/nonexistent/ovra/model.tzm");
  EXPECT_FALSE(source.IsOpen());
}

TEST(FileDataSourceTest, DestroyedWithReadsPendingDropsThem) {
  const TempFile file(1 << 20);
  auto source = std::make_unique<FileDataSource>(file.Path(), 2);
  for (int i = 0; i < 500; ++i) source->RequestRange(1112 + i, 0, 1 << 16);
  source.reset();  // must join its threads without delivering
  SUCCEED();
}

}  // namespace
}  // namespace ovra::host
