// The ratio tables printed after the benchmark run.
#include "ratio_table.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "common/cpu.h"
#include "layouts.h"
#include "scaling.h"

namespace kelmar::bench {
namespace {

double ToNanoseconds(double value, benchmark::TimeUnit unit) {
  return value * 1e9 / benchmark::GetTimeUnitMultiplier(unit);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Format(const char* format, double value) {
  if (value < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

std::string RatioText(double ours, double peer) {
  return ours < 0 || peer <= 0 ? "-" : Format("%.2f", ours / peer);
}

std::string SizeText(const std::pair<int, int>& size) {
  return std::to_string(size.first) + "x" + std::to_string(size.second);
}

}  // namespace

void RatioTableReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.error_occurred) continue;
    const std::string& name = run.run_name.function_name;
    if (name.rfind("scaling/", 0) == 0) {
      const auto rate = run.counters.find("items_per_second");
      if (run.run_type == Run::RT_Iteration && rate != run.counters.end())
        rates_[name + "@" + std::to_string(run.threads)].push_back(rate->second.value);
      continue;
    }
    const double ns = ToNanoseconds(run.GetAdjustedCPUTime(), run.time_unit);
    if (run.run_type == Run::RT_Iteration)
      samples_[name].push_back(ns);
    else if (run.aggregate_name == "median")
      medians_[name] = ns;
  }
}

double RatioTableReporter::Nanoseconds(const std::string& name) const {
  const auto sampled = samples_.find(name);
  if (sampled != samples_.end() && !sampled->second.empty()) return Median(sampled->second);
  const auto reported = medians_.find(name);
  return reported != medians_.end() ? reported->second : -1;
}

void RatioTableReporter::Finalize() {
  std::ostream& out = GetOutputStream();
  if (options_.scaling) {
    PrintScalingTable(out);
  } else {
    out << "\nMedian CPU time per picture; ratios are Kelmar / peer (below 1: Kelmar faster).\n"
        << "Adjusted: brightness 2, contrast 3, saturation 2.  Peers have no adjustments.\n\n";
    PrintMainTable(out);
    PrintFixedCostTable(out);
    PrintCliffTable(out);
    if (!options_.paths.empty()) PrintPathTable(out);
  }
  ConsoleReporter::Finalize();
}

void RatioTableReporter::PrintMainTable(std::ostream& out) const {
  out << "| layout | size | setting | ns/pixel | / libyuv | / libswscale | / memcpy | "
         "clustered 10% / full | scattered 10% / full |\n"
      << "|---|---|---|---:|---:|---:|---:|---:|---:|\n";
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (const auto& size : options_.sizes) {
      const int w = size.first;
      const int h = size.second;
      const double yuv = Nanoseconds(PeerName("libyuv", info.layout, w, h));
      const double sws = Nanoseconds(PeerName("swscale", info.layout, w, h));
      const double copy = Nanoseconds(MemcpyName(info.bytesPerPixel, w, h));
      for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
        const double full = Nanoseconds(KelmarName(info.layout, w, h, setting, MapKind::kFull));
        const double clustered =
            Nanoseconds(KelmarName(info.layout, w, h, setting, MapKind::kClustered));
        const double scattered =
            Nanoseconds(KelmarName(info.layout, w, h, setting, MapKind::kScattered));
        out << "| " << info.name << " | " << SizeText(size) << " | " << SettingName(setting)
            << " | " << Format("%.3f", full < 0 ? -1 : full / (double(w) * h)) << " | "
            << RatioText(full, yuv) << " | " << RatioText(full, sws) << " | "
            << RatioText(full, copy) << " | " << RatioText(clustered, full) << " | "
            << RatioText(scattered, full) << " |\n";
      }
    }
  }
  out << "\nPeers alone (ns/pixel):\n\n| layout | size | libyuv | libswscale | memcpy |\n"
      << "|---|---|---:|---:|---:|\n";
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (const auto& size : options_.sizes) {
      const int w = size.first;
      const int h = size.second;
      const double pixels = double(w) * h;
      auto perPixel = [&](double ns) { return Format("%.3f", ns < 0 ? -1 : ns / pixels); };
      out << "| " << info.name << " | " << SizeText(size) << " | "
          << perPixel(Nanoseconds(PeerName("libyuv", info.layout, w, h))) << " | "
          << perPixel(Nanoseconds(PeerName("swscale", info.layout, w, h))) << " | "
          << perPixel(Nanoseconds(MemcpyName(info.bytesPerPixel, w, h))) << " |\n";
    }
  }
}

void RatioTableReporter::PrintFixedCostTable(std::ostream& out) const {
  const int w = options_.fixedCostSize.first;
  const int h = options_.fixedCostSize.second;
  out << "\nFixed cost per call at " << SizeText(options_.fixedCostSize)
      << " (empty map: processor test, table build, map scan):\n\n"
      << "| layout | setting | empty map us | full map us | empty / full |\n"
      << "|---|---|---:|---:|---:|\n";
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
      const double empty = Nanoseconds(KelmarName(info.layout, w, h, setting, MapKind::kEmpty));
      const double full = Nanoseconds(KelmarName(info.layout, w, h, setting, MapKind::kFull));
      out << "| " << info.name << " | " << SettingName(setting) << " | "
          << Format("%.2f", empty < 0 ? -1 : empty / 1000) << " | "
          << Format("%.2f", full < 0 ? -1 : full / 1000) << " | " << RatioText(empty, full)
          << " |\n";
    }
  }
  const double probe = Nanoseconds(kProcessorTestName);
  out << "\nThe processor test alone (CPUID, on every call): "
      << Format("%.2f", probe < 0 ? -1 : probe / 1000) << " us\n";
}

void RatioTableReporter::PrintCliffTable(std::ostream& out) const {
  const int w = options_.pathSize.first;
  const int h = options_.pathSize.second;
  out << "\nFar settings at " << SizeText(options_.pathSize)
      << ", full map: time / the common adjusted setting's (at most 1.3 wanted); a setting "
         "whose time is over 0.75 of its integer path's has no fast form:\n\n"
      << "| setting |";
  for (const OutputLayoutInfo& info : kOutputLayouts) out << ' ' << info.name << " |";
  out << "\n|---|";
  for (int i = 0; i < kOutputLayoutCount; ++i) out << "---:|";
  out << '\n';
  for (const DisplaySetting& setting : CliffSettings()) {
    out << "| " << setting.name << " |";
    for (const OutputLayoutInfo& info : kOutputLayouts) {
      const double common =
          Nanoseconds(KelmarName(info.layout, w, h, Setting::kAdjusted, MapKind::kFull));
      const double fast = Nanoseconds(KelmarName(info.layout, w, h, setting.name, MapKind::kFull));
      const double integer = Nanoseconds(KelmarName(info.layout, w, h, setting.name, MapKind::kFull,
                                                    CodePathName(CodePath::kInteger)));
      const bool scalar = fast > 0 && integer > 0 && fast > 0.75 * integer;
      out << ' ' << RatioText(fast, common) << (scalar ? " (no fast form)" : "") << " |";
    }
    out << '\n';
  }
}

void RatioTableReporter::PrintPathTable(std::ostream& out) const {
  const int w = options_.pathSize.first;
  const int h = options_.pathSize.second;
  const double pixels = double(w) * h;
  out << "\nForced code paths at " << SizeText(options_.pathSize)
      << ", full map (ns/pixel):\n\n| layout | setting |";
  for (const char* path : options_.paths) out << ' ' << path << " |";
  out << "\n|---|---|";
  for (size_t i = 0; i < options_.paths.size(); ++i) out << "---:|";
  out << '\n';
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
      out << "| " << info.name << " | " << SettingName(setting) << " |";
      for (const char* path : options_.paths) {
        const double ns = Nanoseconds(KelmarName(info.layout, w, h, setting, MapKind::kFull, path));
        out << ' ' << Format("%.3f", ns < 0 ? -1 : ns / pixels) << " |";
      }
      out << '\n';
    }
  }
}

double RatioTableReporter::PicturesPerSecond(const std::string& name, int threads) const {
  const auto found = rates_.find(name + "@" + std::to_string(threads));
  return found == rates_.end() || found->second.empty() ? -1 : Median(found->second);
}

void RatioTableReporter::PrintScalingTable(std::ostream& out) const {
  out << "\nTwo threads against one at " << SizeText(options_.pathSize)
      << ", full map (pictures per second, medians; above 1: faster):\n\n"
      << "| layout | setting | two streams / one | one picture in two bands / one call |\n"
      << "|---|---|---:|---:|\n";
  for (const OutputLayoutInfo& info : kOutputLayouts) {
    for (Setting setting : {Setting::kNeutral, Setting::kAdjusted}) {
      const std::string streams = StreamsName(info.layout, setting);
      const double one = PicturesPerSecond(streams, 1);
      const double two = PicturesPerSecond(streams, 2);
      const double whole = PicturesPerSecond(BandsName(info.layout, setting, 1), 1);
      const double banded = PicturesPerSecond(BandsName(info.layout, setting, 2), 1);
      out << "| " << info.name << " | " << SettingName(setting) << " | " << RatioText(two, one)
          << " | " << RatioText(banded, whole) << " |\n";
    }
  }
}

}  // namespace kelmar::bench
