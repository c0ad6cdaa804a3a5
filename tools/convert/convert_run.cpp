#include "convert_run.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

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

// What the writing of a frame needs of its source, taken once so that the
// writer does not share the source with the reader.
struct SourceFacts {
  int width;
  int height;
  std::string stem;
  bool video;
};

std::string SheetTitle(const Options& options, const SourceFacts& source, int64_t number) {
  std::string title =
      source.stem + "  " + std::to_string(source.width) + "x" + std::to_string(source.height);
  if (source.video) title += "  frame " + std::to_string(number);
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

RgbImage ContactSheet(const std::vector<LayoutTarget>& targets, std::string title, int width,
                      int height, bool zoom) {
  const int shownWidth = width * (zoom ? 2 : 1);
  const int shrink = (shownWidth + kMaxSheetTileWidth - 1) / kMaxSheetTileWidth;
  if (shrink > 1) title += "  shown at 1/" + std::to_string(shrink);
  std::vector<SheetTile> tiles;
  for (const LayoutTarget& target : targets) {
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

const LayoutTarget& TargetOf(const std::vector<LayoutTarget>& targets, Layout layout) {
  for (const LayoutTarget& target : targets) {
    if (target.layout() == layout) return target;
  }
  throw ToolError(std::string("no ") + LayoutName(layout) + " output in this run");
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
                               bool changedOnly, int threads)
    : changedOnly_(changedOnly) {
  Frame blank;
  blank.Resize(width, height);
  current_.Assign(blank);
  previous_.Assign(blank);
  map_.assign(current_.macroblocks(), 1);
  for (Layout layout : layouts) {
    targets_.emplace_back(layout, current_.paddedWidth(), current_.paddedHeight(), zoom);
  }
  if (threads > 1 && current_.macroblocks() >= kBandedMacroblocks && current_.mbRows() > 1)
    bands_ = std::make_unique<WorkerPool>(threads);
}

const LayoutTarget& FrameConverter::target(Layout layout) const {
  return TargetOf(targets_, layout);
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
  for (LayoutTarget& target : targets_) {
    target.Convert(current_, map_.data(), displaySettled_ ? bands_.get() : nullptr);
    displaySettled_ = true;
  }
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

void SkipToFirst(FrameSource& source, int64_t first, const std::string& option) {
  for (int64_t skipped = 0; skipped < first - 1; ++skipped) {
    if (!source.Skip()) {
      throw ToolError(source.name() + " has " + std::to_string(skipped) + " frame" +
                      (skipped == 1 ? "" : "s") + "; " + option + " " + std::to_string(first) +
                      " is past the end");
    }
  }
}

// Every output of one frame: whole files, and one more frame in each stream.
void WriteFrame(const Options& options, const OutputPlan& plan, const SourceFacts& source,
                const std::vector<LayoutTarget>& targets, Streams& streams, int64_t number) {
  const int width = source.width, height = source.height;
  for (const OutputItem& item : plan.items) {
    const LayoutTarget& target = TargetOf(targets, item.layout);
    if (auto stream = streams.find(&item); stream != streams.end()) {
      WriteRawFrame(*stream->second, target, width, height);
      continue;
    }
    const std::string name = ExpandFrameNumber(item.name, number);
    switch (item.container) {
      case Container::kBmp: {
        AtomicFile file(name);
        WriteBmp(target, width, height,
                 [&file](const uint8_t* bytes, size_t size) { file.Write(bytes, size); });
        file.Commit();
        break;
      }
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
        ContactSheet(targets, SheetTitle(options, source, number), width, height, options.zoom);
    WriteFileAtomically(ExpandFrameNumber(plan.sheetName, number), EncodePng(sheet));
  }
}

// A converted frame on its way to the writer: a copy of the layouts'
// buffers as they stood after it.
struct ConvertedFrame {
  int64_t number;
  std::vector<LayoutTarget> targets;
};

// Reading, converting and writing on three threads.  There is one copy of
// the layouts' buffers besides the converter's own, handed from converter
// to writer and back: the converter fills its buffers with the next frame
// while the writer writes the copy, and a large picture's buffers are held
// twice, never more.  The first error of any stage ends all three; it is
// rethrown here, the reader's first since it stops the earliest frame.
void RunOverlapped(FrameSource& source, int64_t limit, int64_t firstNumber,
                   FrameConverter& converter, RunTotals& totals,
                   const std::function<void(const std::vector<LayoutTarget>&, int64_t)>& write) {
  BoundedQueue<Frame> frames(2);
  BoundedQueue<ConvertedFrame> converted(1);
  BoundedQueue<std::vector<LayoutTarget>> spare(1);
  spare.Push(converter.targets());
  std::exception_ptr readError, convertError, writeError;
  std::thread reader([&] {
    try {
      Frame frame;
      for (int64_t read = 0; (limit == 0 || read < limit) && source.Read(frame); ++read) {
        if (!frames.Push(std::move(frame))) break;
        frame = Frame();
      }
    } catch (...) {
      readError = std::current_exception();
    }
    frames.Close();
  });
  std::thread writer([&] {
    try {
      while (auto frame = converted.Pop()) {
        write(frame->targets, frame->number);
        if (!spare.Push(std::move(frame->targets))) break;
      }
    } catch (...) {
      writeError = std::current_exception();
    }
    converted.Close();
    spare.Close();
    frames.Close();
  });
  try {
    for (int64_t number = firstNumber; auto frame = frames.Pop(); ++number) {
      totals.converted += converter.Convert(*frame);
      totals.macroblocks += converter.macroblocks();
      auto copy = spare.Pop();
      if (!copy) break;
      // Assigning into the returned copy reuses its buffers.
      for (size_t i = 0; i < copy->size(); ++i) (*copy)[i] = converter.targets()[i];
      if (!converted.Push({number, std::move(*copy)})) break;
    }
  } catch (...) {
    convertError = std::current_exception();
  }
  frames.Close();
  converted.Close();
  spare.Close();
  reader.join();
  writer.join();
  for (const std::exception_ptr& error : {readError, convertError, writeError})
    if (error) std::rethrow_exception(error);
}

}  // namespace

RunTotals RunConversion(const Options& options) {
  const auto start = Clock::now();
  auto source = OpenSource({options.input, options.width, options.height, options.inputRange});
  const OutputPlan plan = PlanOutputs(options, source->stem(), source->IsVideo());
  if (!plan.directory.empty()) CreateDirectory(plan.directory);

  SetDisplay(options.brightness, options.contrast, options.saturation, options.balance);
  const int threads = options.threads > 0 ? options.threads : MachineThreads();
  FrameConverter converter(plan.layouts, source->width(), source->height(), options.zoom,
                           options.changedOnly, threads);
  SkipToFirst(*source, options.first, options.firstOption);

  int64_t limit = options.frames;  // 0: to the end
  if (plan.maxFrames > 0 && (limit == 0 || limit > plan.maxFrames)) limit = plan.maxFrames;
  std::optional<int64_t> expected = source->FrameCountHint();
  if (expected) *expected -= options.first - 1;
  if (limit > 0 && (!expected || *expected > limit)) expected = limit;

  Streams streams = OpenStreams(plan);
  ProgressBar progress(stderr, !options.quiet && IsTerminal(stderr) && expected != 1, expected);
  RunTotals totals;
  totals.layouts = static_cast<int>(plan.layouts.size());
  const SourceFacts facts = {source->width(), source->height(), source->stem(), source->IsVideo()};
  const auto write = [&](const std::vector<LayoutTarget>& targets, int64_t number) {
    WriteFrame(options, plan, facts, targets, streams, number);
    progress.Update(++totals.frames);
  };
  if (threads > 1) {
    RunOverlapped(*source, limit, options.first, converter, totals, write);
  } else {
    Frame frame;
    while ((limit == 0 || totals.frames < limit) && source->Read(frame)) {
      totals.converted += converter.Convert(frame);
      totals.macroblocks += converter.macroblocks();
      write(converter.targets(), options.first + totals.frames);
    }
  }
  progress.Clear();
  if (totals.frames == 0) {
    throw ToolError(source->name() + (options.first > 1
                                          ? " has no frames from " + options.firstOption + " on"
                                          : std::string(" has no frames")));
  }
  for (auto& [item, stream] : streams) stream->Commit();
  totals.seconds = SecondsSince(start);
  totals.librarySeconds = converter.librarySeconds();
  totals.rangeHint = AssumedRangeHint(*source);
  return totals;
}

}  // namespace kconvert
