// Which files a run writes, from the output name and the format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layouts.h"
#include "options.h"

namespace kconvert {

enum class Container {
  kBmp,  // the library's RGB bitmap
  kPng,  // what a display shows
  kRaw,  // packed frames one after another
};

struct OutputItem {
  Layout layout;
  Container container;
  std::string name;  // may hold a frame number, %d or %0Nd
};

struct OutputPlan {
  std::vector<Layout> layouts;  // every layout to convert, in kAllLayouts order
  std::vector<OutputItem> items;
  std::string sheetName;  // the contact sheet; empty for none
  int64_t maxFrames = 0;  // 0: no limit from the names
  std::string directory;  // to create first; empty for none
};

// Throws UsageError for a format, name or combination it cannot serve.
// `stem` names the files in a directory; `video` says whether the input
// may have more than one frame.
OutputPlan PlanOutputs(const Options& options, const std::string& stem, bool video);

// Whether `name` holds a frame number; throws UsageError for a '%' that is
// neither %d, %0Nd nor %%, or for more than one number.
bool HasFrameNumber(const std::string& name);
// `name` with its frame number filled in and %% turned into %.
std::string ExpandFrameNumber(const std::string& name, int64_t number);

}  // namespace kconvert
