// The command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "colour_range.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kconvert {

struct Options {
  std::string input;  // empty: the built-in test picture; "-": stdin
  std::string output = "out/";
  std::string format;  // empty: chosen from the output name
  int width = 0;       // --size: raw I420 input, or the test picture's size
  int height = 0;
  bool zoom = false;
  int32_t brightness = 0;
  int32_t contrast = 0;
  int32_t saturation = 0;
  int32_t balance = 0;
  int64_t first = 1;                    // first frame to convert, counted from 1
  int64_t frames = 0;                   // how many; 0: to the end
  std::string firstOption = "--first";  // --frame when that gave `first`, for messages
  bool changedOnly = false;
  bool quiet = false;
  int threads = 0;  // 0: the machine's processors
  // --input-range; nothing: as the stream states it, or else full.
  std::optional<kelmar_tools::ColourRange> inputRange;
};

// Parses argv.  Returns nothing when --help or --version was asked for (the answer has
// been printed); throws UsageError for anything it cannot accept.
std::optional<Options> ParseCommandLine(int argc, const char* const* argv);

// The display settings' options, shared by the tools.
void AddDisplayOptions(CLI::App& app, int32_t& brightness, int32_t& contrast, int32_t& saturation,
                       int32_t& balance);

// A whole-number option from `min` to `max`, written in decimal with an
// optional sign; anything else, an empty value or one out of range, is a
// UsageError that names the option.  `names` as for CLI::App::add_option.
CLI::Option* AddNumberOption(CLI::App& app, const std::string& names, int64_t& value, int64_t min,
                             int64_t max, const std::string& description);
CLI::Option* AddNumberOption(CLI::App& app, const std::string& names, int32_t& value, int32_t min,
                             int32_t max, const std::string& description);

// Parses argv into `app`'s options.  False when --help or --version was
// asked for and has been printed; throws UsageError for anything else that
// CLI11 rejects.
bool ParseArguments(CLI::App& app, int argc, const char* const* argv);

// --input-range full|limited.
void AddInputRangeOption(CLI::App& app, std::optional<kelmar_tools::ColourRange>& range);

// The --version flag, printing the version the library was built as.
void AddVersionFlag(CLI::App& app, const char* program);

// "176x144" -> 176, 144; false for anything else.
bool ParseSize(const std::string& text, int* width, int* height);

}  // namespace kconvert
