#include "view/frame_log.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace ovra::view {

namespace {

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())));
  return values[index];
}

// Something still changes on screen or is on its way.
bool Busy(const FrameRecord& record, const FrameRecord& previous) {
  return record.pendingOperations > 0 || record.waitingOperations > 0 || record.meshesAdded != previous.meshesAdded ||
         !record.initialized;
}

std::string Bytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

std::string Seconds(const std::optional<double>& seconds, const char* otherwise) {
  if (!seconds) return otherwise;
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", *seconds);
  return text;
}

}  // namespace

RunSummary FrameLog::Summarize(int restFrame, uint64_t fileSize) const {
  RunSummary summary;
  summary.fileSize = fileSize;
  if (records_.empty()) return summary;
  std::vector<double> libraryMs;
  for (const FrameRecord& record : records_) {
    if (!summary.timeToFirstMesh && record.meshes > 0) summary.timeToFirstMesh = record.seconds;
    summary.peakTriangles = std::max(summary.peakTriangles, record.drawnTriangles);
    libraryMs.push_back(record.libraryMs);
  }
  const FrameRecord& last = records_.back();
  summary.settledTriangles = last.drawnTriangles;
  summary.bytesReceived = last.bytesReceived;
  summary.requests = last.requests;
  summary.libraryMsMedian = Percentile(libraryMs, 0.5);
  summary.libraryMsP99 = Percentile(libraryMs, 0.99);
  summary.libraryMsWorst = Percentile(libraryMs, 1.0);

  const auto rest = std::find_if(records_.begin(), records_.end(),
                                 [restFrame](const FrameRecord& record) { return record.frame >= restFrame; });
  summary.cameraRests = rest != records_.end();
  if (!summary.cameraRests || Busy(last, records_.size() > 1 ? records_[records_.size() - 2] : last)) {
    return summary;
  }
  // The first frame after the last busy one.
  auto settled = rest;
  for (auto record = rest; record != records_.end(); ++record) {
    if (record != records_.begin() && Busy(*record, *(record - 1))) settled = record + 1;
  }
  if (settled != records_.end()) summary.timeToSettle = settled->seconds - rest->seconds;
  return summary;
}

bool FrameLog::WriteCsv(const std::string& path) const {
  std::ofstream csv(path);
  csv << "frame,seconds,camera_x,camera_y,camera_z,initialized,displayed_triangles,drawn_triangles,meshes,"
         "pending_operations,waiting_operations,meshes_added,cache_hits,cache_misses,requests,bytes_requested,"
         "bytes_received,library_ms,upload_ms,draw_ms\n";
  for (const FrameRecord& r : records_) {
    csv << r.frame << ',' << r.seconds << ',' << r.camera.x << ',' << r.camera.y << ',' << r.camera.z << ','
        << r.initialized << ',' << r.displayedTriangles << ',' << r.drawnTriangles << ',' << r.meshes << ','
        << r.pendingOperations << ',' << r.waitingOperations << ',' << r.meshesAdded << ',' << r.cacheHits << ','
        << r.cacheMisses << ',' << r.requests << ',' << r.bytesRequested << ',' << r.bytesReceived << ',' << r.libraryMs
        << ',' << r.uploadMs << ',' << r.drawMs << '\n';
  }
  return static_cast<bool>(csv);
}

std::string FrameLog::SummaryTable(const RunSummary& s) {
  std::ostringstream table;
  char line[160];
  const auto row = [&](const char* what, const std::string& value) {
    std::snprintf(line, sizeof line, "| %-42s | %-26s |\n", what, value.c_str());
    table << line;
  };
  table << "| What                                       | Value                      |\n"
        << "|--------------------------------------------|----------------------------|\n";
  row("Time to first mesh", Seconds(s.timeToFirstMesh, "no mesh shown"));
  row("Time to settle after the camera rests",
      s.cameraRests ? Seconds(s.timeToSettle, "did not settle") : std::string("camera never rests"));
  row("Peak triangles drawn", std::to_string(s.peakTriangles));
  row("Settled triangles drawn", std::to_string(s.settledTriangles));
  row("Bytes fetched / file size",
      Bytes(s.bytesReceived) + " / " + Bytes(s.fileSize) +
          (s.fileSize > 0 ? " (" + std::to_string(100 * s.bytesReceived / s.fileSize) + " %)" : std::string()));
  row("Range requests made", std::to_string(s.requests));
  std::snprintf(line, sizeof line, "%.3f / %.3f / %.3f ms", s.libraryMsMedian, s.libraryMsP99, s.libraryMsWorst);
  row("Library time per frame (median/p99/worst)", line);
  return table.str();
}

bool PlotWithGnuplot(const std::string& csvPath, const std::string& pngPath, std::string* error) {
  FILE* gnuplot = ::popen("gnuplot 2>&1", "w");
  if (gnuplot == nullptr) {
    *error = "cannot start gnuplot";
    return false;
  }
  std::fprintf(gnuplot,
               "set terminal pngcairo size 1100,800 font 'DejaVu Sans,11' noenhanced\n"
               "set output '%s'\nset datafile separator ','\nset key autotitle columnhead\n"
               "set multiplot layout 3,1 title 'Streaming over time'\nset grid\nset xlabel 'seconds'\n"
               "set ylabel 'triangles'\nplot '%s' using 2:7 with lines lw 2 title 'displayed triangles', "
               "'' using 2:8 with lines lw 1 title 'drawn triangles'\n"
               "set ylabel 'MB'\nplot '%s' using 2:($17/1e6) with lines lw 2 title 'bytes received'\n"
               "set ylabel 'operations'\nplot '%s' using 2:10 with steps lw 2 title 'pending operations'\n"
               "unset multiplot\n",
               pngPath.c_str(), csvPath.c_str(), csvPath.c_str(), csvPath.c_str());
  const int status = ::pclose(gnuplot);
  if (status != 0) {
    *error = "gnuplot failed (is gnuplot installed? scripts/install-deps.sh installs gnuplot-nox)";
    return false;
  }
  return true;
}

}  // namespace ovra::view
