#pragma once

#include <ovra/records.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ovra::view {

// What one frame did.
struct FrameRecord {
  int frame = 0;
  double seconds = 0.0;  // since the session opened
  Vec3 camera;
  bool initialized = false;
  uint64_t displayedTriangles = 0;  // the controller's count
  uint64_t drawnTriangles = 0;
  uint64_t meshes = 0;
  uint64_t pendingOperations = 0;
  uint64_t waitingOperations = 0;  // swaps whose meshes have not all arrived
  uint64_t meshesAdded = 0;        // since the session opened
  uint64_t cacheHits = 0;
  uint64_t cacheMisses = 0;
  uint64_t requests = 0;
  uint64_t bytesRequested = 0;
  uint64_t bytesReceived = 0;
  double libraryMs = 0.0;  // inside the library, uploads excluded
  double uploadMs = 0.0;   // inside the renderer's AddMesh and RemoveMesh
  double drawMs = 0.0;
};

struct RunSummary {
  std::optional<double> timeToFirstMesh;  // seconds since start
  bool cameraRests = false;               // the camera stood still at the end
  std::optional<double> timeToSettle;     // seconds from the camera's rest
  uint64_t peakTriangles = 0;
  uint64_t settledTriangles = 0;
  uint64_t bytesReceived = 0;
  uint64_t fileSize = 0;
  uint64_t requests = 0;
  double libraryMsMedian = 0.0;
  double libraryMsP99 = 0.0;
  double libraryMsWorst = 0.0;
};

class FrameLog {
 public:
  void Add(const FrameRecord& record) { records_.push_back(record); }
  const std::vector<FrameRecord>& Records() const { return records_; }

  // `restFrame`: the first frame of the run whose camera no longer moves.
  RunSummary Summarize(int restFrame, uint64_t fileSize) const;

  bool WriteCsv(const std::string& path) const;
  static std::string SummaryTable(const RunSummary& summary);

 private:
  std::vector<FrameRecord> records_;
};

// Plots displayed triangles, bytes received and pending operations over time
// from `csvPath` into `pngPath` with gnuplot. Returns false, with the reason
// in `error`, when gnuplot is missing or fails.
bool PlotWithGnuplot(const std::string& csvPath, const std::string& pngPath, std::string* error);

}  // namespace ovra::view
