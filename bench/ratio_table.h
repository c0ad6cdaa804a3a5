// A console reporter that also prints, at the end of the run, Kelmar's time
// as a ratio of libyuv's, libswscale's and memcpy's on the same picture.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace kelmar::bench {

struct TableOptions {
  std::vector<std::pair<int, int>> sizes;  // the main table's picture sizes
  std::pair<int, int> fixedCostSize;       // the empty-map measurements
  std::vector<const char*> paths;          // forced paths measured, if any
  std::pair<int, int> pathSize;
  bool scaling = false;  // two threads against one
  // --tier: the path every Kelmar case takes unless it forces another, to
  // measure a processor with fewer extensions on this one.
  const char* tier = nullptr;
};

class RatioTableReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioTableReporter(TableOptions options) : options_(std::move(options)) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  // Median CPU time per call in nanoseconds, or a negative value when the
  // benchmark did not run.
  double Nanoseconds(const std::string& name) const;
  void PrintMainTable(std::ostream& out) const;
  void PrintFixedCostTable(std::ostream& out) const;
  void PrintPathTable(std::ostream& out) const;
  void PrintCliffTable(std::ostream& out) const;
  void PrintScalingTable(std::ostream& out) const;
  // Median pictures per second of a scaling benchmark at `threads`.
  double PicturesPerSecond(const std::string& name, int threads) const;

  TableOptions options_;
  std::map<std::string, std::vector<double>> samples_;  // one per repetition
  std::map<std::string, double> medians_;               // reported aggregates
  std::map<std::string, std::vector<double>> rates_;    // scaling: pictures/s by name/threads
};

}  // namespace kelmar::bench
