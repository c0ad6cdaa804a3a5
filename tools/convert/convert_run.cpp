#include "convert_run.h"

#include <chrono>
#include <filesystem>
#include <map>

#include "atomic_file.h"
#include "bmp_writer.h"
#include "contact_sheet.h"
#include "display_image.h"
#include "frame_source.h"
#include "kelmar.h"
#include "output_names.h"
#include "png_writer.h"
#include "tool_error.h"

namespace kconvert {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void WriteRawFrame(AtomicFile& file, const LayoutTarget& target, int width, int height) {
  const size_t rowBytes = 2 * static_cast<size_t>(OutputWidth(target, width));
  for (int y = 0; y < height; ++y) file.Write(target.DisplayRow(y), rowBytes);
}

std::string SheetTitle(const Options& options, const FrameSource& source, int64_t number) {
  std::string title =
      source.stem() + "  " + std::to_string(source.width()) + "x" + std::to_string(source.height());
  if (source.IsVideo()) title += "  frame " + std::to_string(number);
  const std::pair<const char*, int32_t> adjustments[] = {{"brightness", options.brightness},
                                                         {"contrast", options.contrast},
                                                         {"saturation", options.saturation},
                                                         {"balance", options.balance}};
  for (const auto& [name, value] : adjustments) {
    if (value != 0) title += std::string("  ") + name + " " + std::to_string(value);
  }
  return title;
}

// Wider pictures are shown smaller on the contact sheet, all by one factor.
constexpr int kMaxSheetTileWidth = 1920;

RgbImage ContactSheet(const FrameConverter& converter, std::string title, int width, int height,
                      bool zoom) {
  const int shownWidth = width * (zoom ? 2 : 1);
  const int shrink = (shownWidth + kMaxSheetTileWidth - 1) / kMaxSheetTileWidth;
  if (shrink > 1) title += "  shown at 1/" + std::to_string(shrink);
  std::vector<SheetTile> tiles;
  for (const LayoutTarget& target : converter.targets()) {
    std::string label =
        std::string(LayoutName(target.layout())) + "  " + LayoutDescription(target.layout());
    RgbImage image = DecodeForDisplay(target, width, height);
    if (zoom && IsPacked(target.layout())) {
      // Packed output has no double size; the sheet repeats its pixels.
      image = Enlarge(image, 2);
      label += " (x2)";
    }
    if (shrink > 1) image = Shrink(image, shrink);
    tiles.push_back({label, std::move(image)});
  }
  return MakeContactSheet(title, tiles);
}

void CreateDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    throw ToolError("cannot create the directory '" + directory + "': " + error.message());
  }
}

}  // namespace

FrameConverter::FrameConverter(const std::vector<Layout>& layouts, int width, int height, bool zoom,
                               bool changedOnly)
    : changedOnly_(changedOnly) {
  Frame blank;
  blank.Resize(width, height);
  current_.Assign(blank);
  previous_.Assign(blank);
  map_.assign(current_.macroblocks(), 1);
  for (Layout layout : layouts) {
    targets_.emplace_back(layout, current_.paddedWidth(), current_.paddedHeight(), zoom);
  }
}

const LayoutTarget& FrameConverter::target(Layout layout) const {
  for (const LayoutTarget& target : targets_) {
    if (target.layout() == layout) return target;
  }
  throw ToolError(std::string("no ") + LayoutName(layout) + " output in this run");
}

int FrameConverter::Convert(const Frame& frame) {
  std::swap(previous_, current_);
  current_.Assign(frame);
  int marked = current_.macroblocks();
  if (changedOnly_ && !first_) {
    marked = MarkChangedMacroblocks(previous_, current_, map_.data());
  }
  first_ = false;
  const auto start = Clock::now();
  for (LayoutTarget& target : targets_) target.Convert(current_, map_.data());
  librarySeconds_ += SecondsSince(start);
  return marked;
}

namespace {

// Raw outputs without a frame number collect every frame in one file.
using Streams = std::map<const OutputItem*, std::unique_ptr<AtomicFile>>;

Streams OpenStreams(const OutputPlan& plan) {
  Streams streams;
  for (const OutputItem& item : plan.items) {
    if (item.container == Container::kRaw && !HasFrameNumber(item.name)) {
      streams[&item] = std::make_unique<AtomicFile>(ExpandFrameNumber(item.name, 0));
    }
  }
  return streams;
}

void SkipToFirst(FrameSource& source, int64_t first) {
  for (int64_t skipped = 0; skipped < first - 1; ++skipped) {
    if (!source.Skip()) {
      throw ToolError(source.name() + " has " + std::to_string(skipped) + " frame" +
                      (skipped == 1 ? "" : "s") + "; --first " + std::to_string(first) +
                      " is past the end");
    }
  }
}

// Every output of one frame: whole files, and one more frame in each stream.
void WriteFrame(const Options& options, const OutputPlan& plan, const FrameSource& source,
                const FrameConverter& converter, Streams& streams, int64_t number) {
  const int width = source.width(), height = source.height();
  for (const OutputItem& item : plan.items) {
    const LayoutTarget& target = converter.target(item.layout);
    if (auto stream = streams.find(&item); stream != streams.end()) {
      WriteRawFrame(*stream->second, target, width, height);
      continue;
    }
    const std::string name = ExpandFrameNumber(item.name, number);
    switch (item.container) {
      case Container::kBmp: WriteFileAtomically(name, EncodeBmp(target, width, height)); break;
      case Container::kPng:
        WriteFileAtomically(name, EncodePng(DecodeForDisplay(target, width, height)));
        break;
      case Container::kRaw: {
        AtomicFile file(name);
        WriteRawFrame(file, target, width, height);
        file.Commit();
        break;
      }
    }
  }
  if (!plan.sheetName.empty()) {
    const RgbImage sheet =
        ContactSheet(converter, SheetTitle(options, source, number), width, height, options.zoom);
    WriteFileAtomically(ExpandFrameNumber(plan.sheetName, number), EncodePng(sheet));
  }
}

}  // namespace

RunTotals RunConversion(const Options& options) {
  const auto start = Clock::now();
  auto source = OpenSource({options.input, options.width, options.height});
  const OutputPlan plan = PlanOutputs(options, source->stem(), source->IsVideo());
  if (!plan.directory.empty()) CreateDirectory(plan.directory);

  SetDisplay(options.brightness, options.contrast, options.saturation, options.balance);
  FrameConverter converter(plan.layouts, source->width(), source->height(), options.zoom,
                           options.changedOnly);
  SkipToFirst(*source, options.first);

  int64_t limit = options.frames;  // 0: to the end
  if (plan.maxFrames > 0 && (limit == 0 || limit > plan.maxFrames)) limit = plan.maxFrames;
  std::optional<int64_t> expected = source->FrameCountHint();
  if (expected) *expected -= options.first - 1;
  if (limit > 0 && (!expected || *expected > limit)) expected = limit;

  Streams streams = OpenStreams(plan);
  ProgressBar progress(stderr, !options.quiet && IsTerminal(stderr) && expected != 1, expected);
  RunTotals totals;
  totals.layouts = static_cast<int>(plan.layouts.size());
  Frame frame;
  while ((limit == 0 || totals.frames < limit) && source->Read(frame)) {
    totals.converted += converter.Convert(frame);
    totals.macroblocks += converter.macroblocks();
    WriteFrame(options, plan, *source, converter, streams, options.first + totals.frames);
    progress.Update(++totals.frames);
  }
  progress.Clear();
  if (totals.frames == 0) {
    throw ToolError(source->name() +
                    (options.first > 1 ? " has no frames from --first on" : " has no frames"));
  }
  for (auto& [item, stream] : streams) stream->Commit();
  totals.seconds = SecondsSince(start);
  totals.librarySeconds = converter.librarySeconds();
  return totals;
}

}  // namespace kconvert
