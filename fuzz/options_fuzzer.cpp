// Fuzzes kelmar-convert's command line: argument parsing, the --size value
// and the plan of output files with their frame-number patterns.  The input
// is the argument list, arguments separated by NUL bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "options.h"
#include "output_names.h"
#include "tool_error.h"

namespace {

using namespace kconvert;

constexpr size_t kMaxArguments = 24;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "options_fuzzer: %s\n", what);
  std::abort();
}

std::vector<std::string> SplitArguments(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments = {"kelmar-convert"};
  std::string current;
  for (size_t i = 0; i < size && arguments.size() < kMaxArguments; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty() && arguments.size() < kMaxArguments) arguments.push_back(current);
  return arguments;
}

void CheckOptions(const Options& options) {
  if (options.first < 1) Fail("--first below 1 accepted");
  if (options.frames < 0) Fail("negative --frames accepted");
  if ((options.width == 0) != (options.height == 0) || options.width < 0 || options.height < 0) {
    Fail("half a size accepted");
  }
  for (bool video : {false, true}) {
    try {
      const OutputPlan plan = PlanOutputs(options, "clip", video);
      if (plan.layouts.empty()) Fail("a plan without layouts");
      for (const OutputItem& item : plan.items) {
        ExpandFrameNumber(item.name, 1);
        ExpandFrameNumber(item.name, INT64_MAX);
      }
      if (!plan.sheetName.empty()) ExpandFrameNumber(plan.sheetName, 12345);
    } catch (const UsageError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> arguments = SplitArguments(data, size);
  std::vector<const char*> argv;
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  try {
    const auto options = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (options) CheckOptions(*options);
  } catch (const ToolError&) {
  }
  // The size parser and the name patterns on their own, with the raw text.
  const std::string text(reinterpret_cast<const char*>(data), size);
  int width = 0, height = 0;
  if (ParseSize(text, &width, &height) && (width < 1 || height < 1)) Fail("bad size accepted");
  try {
    if (HasFrameNumber(text)) ExpandFrameNumber(text, 7);
  } catch (const UsageError&) {
  }
  return 0;
}
