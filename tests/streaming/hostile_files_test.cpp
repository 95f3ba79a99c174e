// Model files with one fault each, streamed the way a host would: none may
// crash, hang or make the library read, write or request out of bounds; each
// ends with the stated message and shows what it still can.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "format/container.h"
#include "format/limits.h"
#include "ovra/model.h"
#include "support/images.h"
#include "support/model_files.h"
#include "support/peak_memory.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"
#include "tzm_writer/zlib_compress.h"

namespace ovra {
namespace {

using test::RecordingDataSource;

constexpr const char* kHeaderFailure =
    "Error: Failed to initialize tzm model, because the header could not be parsed correctly.";
constexpr const char* kIndexFailure =
    "Error: Failed to initialize tzm model, because the index of the tzm file was not parsed succesfully.";
constexpr const char* kNodeFailure =
    "Error: Failed to initialize tzm model, because the node structure was not recognized.";

// What a memory bomb may raise the peak resident memory by: the largest
// inflated text and what the parsers may build from it (set per build in
// tests/CMakeLists.txt, for the sanitizers' own memory).
constexpr uint64_t kBombPeakBound = uint64_t{OVRA_BOMB_PEAK_MIB} << 20;

struct Outcome {
  std::vector<std::string> log;
  std::vector<std::string> exceptions;  // what reached the host
  std::vector<test::RecordingRenderer::AddedMesh> meshes;
  bool initialized = false;
  uint64_t largestRequest = 0;
};

// Streams `file` until the model is initialised or has failed, then a few
// frames more; gives up after `deadlineAfter`.
Outcome Stream(const std::vector<uint8_t>& file, std::chrono::seconds deadlineAfter = std::chrono::seconds(30)) {
  test::ScopedRecordingLogger log;
  RecordingDataSource source(file, RecordingDataSource::Mode::AnswerImmediately);
  test::RecordingRenderer renderer;
  Outcome outcome;
  {
    Model model;
    model.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
    auto failed = [&] {
      const auto lines = log.Lines();
      return !outcome.exceptions.empty() || std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.starts_with("Error: Failed");
      });
    };
    const auto deadline = std::chrono::steady_clock::now() + deadlineAfter;
    int after = 0;
    while (after < 5 && std::chrono::steady_clock::now() < deadline) {
      try {
        model.UpdateRunningTasks();
      } catch (const std::exception& error) {
        outcome.exceptions.push_back(error.what());
      }
      if (model.InitializationComplete() || failed()) ++after;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    outcome.initialized = model.InitializationComplete();
  }
  outcome.log = log.Lines();
  outcome.meshes = renderer.Added();
  for (const auto& request : source.Requests()) outcome.largestRequest = std::max(outcome.largestRequest, request.size);
  return outcome;
}

bool Logged(const Outcome& outcome, const std::string& start) {
  return std::any_of(outcome.log.begin(), outcome.log.end(),
                     [&](const std::string& l) { return l.starts_with(start); });
}

// A sound model: two nodes, each with one level of real geometry and a PNG
// colour map.
test::ModelBuilder SoundModel() {
  return test::TwoTexturedNodes("c.png", test::EncodePng(4, 4, 3, test::PatternPixels(4, 4, 3)));
}

std::vector<uint8_t> Cut(std::vector<uint8_t> file, size_t size) {
  file.resize(size);
  return file;
}

// A container written by hand: header, the index text compressed, then the
// body, so that the index can say anything.
std::vector<uint8_t> Container(const std::string& indexText, const std::vector<uint8_t>& body) {
  const std::vector<uint8_t> index =
      tools::CompressZlib({reinterpret_cast<const uint8_t*>(indexText.data()), indexText.size()});
  const std::string properties = "indexSize=" + std::to_string(index.size()) + ";";
  std::string length = std::to_string(16 + properties.size());
  std::string header = "v.00001;" + std::string(7 - length.size(), '0') + length + ";" + properties;
  std::vector<uint8_t> file(header.begin(), header.end());
  file.insert(file.end(), index.begin(), index.end());
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// Entry 0 holding `documentText` compressed, then the sound model's files.
std::vector<uint8_t> WithDocumentText(const std::string& documentText) {
  test::ModelBuilder builder = SoundModel();
  tools::TzmWriter writer;
  writer.SetNodeDocumentBytes(
      tools::CompressZlib({reinterpret_cast<const uint8_t*>(documentText.data()), documentText.size()}));
  for (const auto& [name, bytes] : builder.files) writer.AddFile(name, bytes);
  return writer.Write();
}

std::string SoundDocumentText() { return tools::NodeDocumentJson(SoundModel().document).dump(); }

struct Layout {
  uint64_t headerSize;
  uint64_t indexSize;
  uint64_t documentEnd;
};

Layout LayoutOf(const std::vector<uint8_t>& file) {
  ModelFileLayout layout;
  EXPECT_EQ(ParseContainerHeader(file.data(), file.size(), layout), kHeaderComplete);
  ParseContainerIndex({file.data() + layout.headerSize, layout.indexSize}, layout);
  return {layout.headerSize, layout.indexSize, layout.files.at(0).offset + layout.files.at(0).size};
}

TEST(HostileFilesTest, SoundModelShowsBothNodesTextured) {
  const Outcome outcome = Stream(SoundModel().Write());
  EXPECT_TRUE(outcome.initialized);
  ASSERT_EQ(outcome.meshes.size(), 2u);
  for (const auto& mesh : outcome.meshes) {
    EXPECT_EQ(mesh.indices.size(), 60u);
    EXPECT_EQ(mesh.textures[0].width, 4u);
  }
}

TEST(HostileFilesTest, FileCutAtEachRegionFailsWithThatRegionsMessage) {
  const std::vector<uint8_t> sound = SoundModel().Write();
  const Layout layout = LayoutOf(sound);
  EXPECT_EQ(Stream(Cut(sound, 12)).log, std::vector<std::string>{kHeaderFailure});
  EXPECT_EQ(Stream(Cut(sound, layout.headerSize + layout.indexSize / 2)).log, std::vector<std::string>{kIndexFailure});
  // Entry 0 filled with zeros past the cut is no zlib stream: the JSON
  // library's error reaches the host once, as for any unreadable document.
  const Outcome document = Stream(Cut(sound, layout.documentEnd - 4));
  EXPECT_EQ(document.exceptions.size(), 1u);
  EXPECT_FALSE(document.initialized);
  // Zeros instead of the body: each level shows no geometry, with a message.
  const Outcome body = Stream(Cut(sound, layout.documentEnd));
  EXPECT_TRUE(body.initialized);
  EXPECT_TRUE(Logged(body, "Error: Could not decode geometry g: "));
  ASSERT_EQ(body.meshes.size(), 2u);
  EXPECT_TRUE(body.meshes[0].indices.empty());
}

TEST(HostileFilesTest, IndexEntriesPastTheEndOrHugeAreNotTrusted) {
  const std::string document = SoundDocumentText();
  const std::vector<uint8_t> compressed =
      tools::CompressZlib({reinterpret_cast<const uint8_t*>(document.data()), document.size()});
  const std::string nodes = "0;" + std::to_string(compressed.size()) + ";nodes.compressed;";
  struct Case {
    const char* what;
    std::string geometryEntry;
    const char* expected;
  };
  for (const Case& test : {Case{"past the end", "999999;500;g;", "Error: Could not decode geometry g: "},
                           Case{"huge", "0;1099511627776;g;", "Warning: Entry g of 1099511627776 bytes"}}) {
    const Outcome outcome = Stream(Container(nodes + test.geometryEntry, compressed));
    EXPECT_TRUE(outcome.initialized) << test.what;
    EXPECT_TRUE(Logged(outcome, test.expected)) << test.what;
    EXPECT_LE(outcome.largestRequest, uint64_t{1} << 20) << test.what;
  }
  const Outcome farDocument = Stream(Container("1099511627776;100;nodes.compressed;", compressed));
  EXPECT_EQ(farDocument.log, std::vector<std::string>{kNodeFailure});
  EXPECT_LE(farDocument.largestRequest, uint64_t{1} << 20);
}

TEST(HostileFilesTest, HostileDocumentsFailWithoutExhaustingMemory) {
  std::string deep = "{}";
  for (int i = 0; i < 600; ++i) deep = "{\"children\":[" + deep + "]}";
  std::string wide = "{\"children\":[{}";
  for (size_t i = 0; i < kMaxNodes; ++i) wide += ",{}";
  wide += "]}";
  EXPECT_EQ(Stream(WithDocumentText(deep)).log, std::vector<std::string>{kNodeFailure}) << "deeply nested";
  EXPECT_EQ(Stream(WithDocumentText(wide)).log, std::vector<std::string>{kNodeFailure}) << "too many nodes";
  // More text than a document may inflate to: refused like any unreadable one.
  const Outcome bomb = Stream(WithDocumentText(std::string(kMaxDocumentTextBytes + 1, ' ')));
  EXPECT_EQ(bomb.exceptions.size(), 1u);
  EXPECT_FALSE(bomb.initialized);
}

std::string Repeated(const std::string& piece, size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// Files of a few hundred kilobytes that inflate to what the limits allow
// and then ask the parsers to build as much as they can.
TEST(HostileFilesTest, MemoryBombsEndInTheirLogLineWithBoundedPeakMemory) {
  const size_t indexText = kMaxIndexTextBytes / 3 * 3;
  std::string emptyArrays = "[[]" + Repeated(",[]", (kMaxDocumentTextBytes - 4) / 3) + "]";
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    const char* expectedLine;  // null: the JSON library's error reaches the host, nothing is logged
  };
  const Case cases[] = {
      {"index of separators only", Container(std::string(indexText, ';'), {}), kIndexFailure},
      // Accepted, but entry 0 is empty: no document.
      {"index of the most entries allowed", Container(Repeated("0;0;a;", kMaxIndexEntries), {}), nullptr},
      {"document of nested brackets", WithDocumentText(std::string(kMaxDocumentTextBytes, '[')), kNodeFailure},
      {"document of empty arrays", WithDocumentText(emptyArrays), kNodeFailure},
  };
  emptyArrays = {};
  for (const Case& c : cases) {
    EXPECT_LT(c.file.size(), size_t{256} << 10) << c.what << ": fits the first request";
    const test::PeakMemoryRise peak;
    // The sanitizers take long to build and drop what the cap allows.
    const Outcome outcome = Stream(c.file, std::chrono::seconds(180));
    const uint64_t rise = peak.Bytes();
    std::printf("%s: %zu bytes of file, peak memory rise %.1f MiB\n", c.what, c.file.size(),
                static_cast<double>(rise) / 1048576.0);
    if (c.expectedLine != nullptr) {
      EXPECT_EQ(outcome.log, std::vector<std::string>{c.expectedLine}) << c.what;
    } else {
      EXPECT_TRUE(outcome.log.empty() && outcome.exceptions.size() == 1) << c.what;
    }
    EXPECT_LT(rise, kBombPeakBound) << c.what;
  }
}

TEST(HostileFilesTest, BrokenContentShowsWhatItCan) {
  test::ModelBuilder truncatedGeometry = SoundModel();
  std::vector<uint8_t>& geometry = truncatedGeometry.files[0].second;
  geometry.resize(geometry.size() / 2);
  const Outcome broken = Stream(truncatedGeometry.Write());
  EXPECT_TRUE(broken.initialized);
  EXPECT_TRUE(Logged(broken, "Error: Could not decode geometry g: "));
  ASSERT_EQ(broken.meshes.size(), 2u);
  EXPECT_EQ(broken.meshes[0].textures[0].width, 4u) << "the texture still arrives";

  // A PNG whose header claims 100000 x 100000 pixels: refused before any
  // pixel is allocated; the geometry still shows.
  test::ModelBuilder hugeTexture = SoundModel();
  std::vector<uint8_t>& png = hugeTexture.files[1].second;
  for (size_t offset : {size_t{16}, size_t{20}}) {  // IHDR width and height, big-endian
    png[offset] = 0, png[offset + 1] = 0x01, png[offset + 2] = 0x86, png[offset + 3] = 0xA0;
  }
  const Outcome huge = Stream(hugeTexture.Write());
  EXPECT_TRUE(huge.initialized);
  ASSERT_EQ(huge.meshes.size(), 2u);
  EXPECT_EQ(huge.meshes[0].indices.size(), 60u);
  EXPECT_EQ(huge.meshes[0].textures[0].format, 0u);
  EXPECT_TRUE(huge.meshes[0].textures[0].pixels.empty());
}

}  // namespace
}  // namespace ovra
