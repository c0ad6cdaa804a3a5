#include "options.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <iostream>

#include "tool_error.h"
#include "y4m_reader.h"

namespace kconvert {
namespace {

constexpr char kDescription[] =
    "Converts YUV4MPEG2 clips (files or '-' for stdin), raw I420 (--size WxH) or, with no input,\n"
    "a built-in test picture, through the Kelmar library into its output layouts.";

constexpr char kFooter[] =
    "Output names: .bmp (RGB layouts, as the library filled the header), .png (what a display\n"
    "shows; a contact sheet of every layout for --format all), .uyvy / .yuy2 (raw packed frames,\n"
    "one after another), '-' (raw packed frames to stdout), or a directory ending in '/' (one\n"
    "file per layout, plus a contact sheet for --format all).  Put %04d in an image name to\n"
    "write one file per frame.  Exit status: 0 done, 1 bad input or failed output, 2 bad\n"
    "command line.  SIGINT, SIGTERM and a closed output pipe end it by that signal, with no\n"
    "unfinished file left behind.";

}  // namespace

bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find('x');
  if (x == std::string::npos || x == 0 || x + 1 == text.size()) return false;
  const std::string w = text.substr(0, x), h = text.substr(x + 1);
  for (const std::string* part : {&w, &h}) {
    if (part->size() > 6 || part->find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
  }
  *width = std::stoi(w);
  *height = std::stoi(h);
  return *width > 0 && *height > 0;
}

namespace {

// The long name of "-j,--threads", for messages.
std::string OptionName(const std::string& names) { return names.substr(names.rfind(',') + 1); }

bool ParseDecimal(const std::string& text, int64_t min, int64_t max, int64_t* value) {
  const bool negative = !text.empty() && text[0] == '-';
  const bool sign = !text.empty() && (text[0] == '-' || text[0] == '+');
  const std::string digits = text.substr(sign ? 1 : 0);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  // Accumulated towards the sign, so that INT64_MIN fits and nothing wraps.
  int64_t n = 0;
  for (char c : digits) {
    const int digit = c - '0';
    if (negative ? n < (min + digit) / 10 : n > (max - digit) / 10) return false;
    n = n * 10 + (negative ? -digit : digit);
  }
  if (n < min || n > max) return false;
  *value = n;
  return true;
}

CLI::Option* AddNumber(CLI::App& app, const std::string& names, int64_t min, int64_t max,
                       const std::string& description, std::function<void(int64_t)> store) {
  const std::string name = OptionName(names);
  return app
      .add_option_function<std::string>(
          names,
          [name, min, max, store](const std::string& text) {
            int64_t value = 0;
            if (!ParseDecimal(text, min, max, &value)) {
              throw UsageError(name + " '" + text + "' is not a whole number from " +
                               std::to_string(min) + " to " + std::to_string(max));
            }
            store(value);
          },
          description)
      ->type_name("N");
}

}  // namespace

CLI::Option* AddNumberOption(CLI::App& app, const std::string& names, int64_t& value, int64_t min,
                             int64_t max, const std::string& description) {
  return AddNumber(app, names, min, max, description, [&value](int64_t n) { value = n; });
}

CLI::Option* AddNumberOption(CLI::App& app, const std::string& names, int32_t& value, int32_t min,
                             int32_t max, const std::string& description) {
  return AddNumber(app, names, min, max, description,
                   [&value](int64_t n) { value = static_cast<int32_t>(n); });
}

void AddDisplayOptions(CLI::App& app, int32_t& brightness, int32_t& contrast, int32_t& saturation,
                       int32_t& balance) {
  AddNumberOption(app, "--brightness", brightness, INT32_MIN, INT32_MAX,
                  "10 output levels per unit (default 0)");
  AddNumberOption(app, "--contrast", contrast, INT32_MIN, INT32_MAX,
                  "5% more contrast per unit (default 0)");
  AddNumberOption(app, "--saturation", saturation, INT32_MIN, INT32_MAX,
                  "10% more colour per unit (default 0)");
  AddNumberOption(app, "--balance", balance, INT32_MIN, INT32_MAX,
                  "U/V balance of the packed layouts (default 0)");
}

void AddInputRangeOption(CLI::App& app, std::optional<kelmar_tools::ColourRange>& range) {
  app.add_option_function<std::string>(
         "--input-range",
         [&range](const std::string& text) {
           range = kelmar_tools::ParseColourRange(text);
           if (!range) throw UsageError("--input-range '" + text + "' is not full or limited");
         },
         "the samples' range: full (0-255) or limited (16-235; expanded to full) (default: the "
         "clip's XCOLORRANGE tag, or full)")
      ->type_name("RANGE");
}

void AddVersionFlag(CLI::App& app, const char* program) {
  app.set_version_flag("--version", std::string(program) + " " + KELMAR_VERSION,
                       "print the version of Kelmar this was built as");
}

bool ParseArguments(CLI::App& app, int argc, const char* const* argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return false;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << "\n";
    return false;
  } catch (const CLI::ParseError& e) {
    throw UsageError(std::string(e.what()) + " (see --help)");
  }
  return true;
}

std::optional<Options> ParseCommandLine(int argc, const char* const* argv) {
  Options options;
  CLI::App app(kDescription, "kelmar-convert");
  app.footer(kFooter);
  AddVersionFlag(app, "kelmar-convert");
  app.add_option("input", options.input, "a .y4m file, '-' for stdin, or raw I420 with --size")
      ->type_name("INPUT");
  app.add_option("-o,--output", options.output, "output file or directory (default out/)")
      ->type_name("PATH");
  app.add_option("-f,--format", options.format,
                 "rgb24, rgb555, rgb565, pal8, uyvy, yuy2 or all (default: from the output name)")
      ->type_name("LAYOUT");
  std::string size;
  app.add_option("-s,--size", size,
                 "the input is raw I420 of this size (without input: the test picture's size)")
      ->type_name("WxH");
  app.add_flag("-z,--zoom", options.zoom, "RGB layouts at twice the size in each direction");
  AddInputRangeOption(app, options.inputRange);
  AddDisplayOptions(app, options.brightness, options.contrast, options.saturation, options.balance);
  auto* first = AddNumberOption(app, "--first", options.first, INT64_MIN, INT64_MAX,
                                "first frame to convert, from 1");
  auto* frames = AddNumberOption(app, "--frames", options.frames, INT64_MIN, INT64_MAX,
                                 "number of frames (default: all)");
  int64_t frame = 0;
  auto* frameOption =
      AddNumberOption(app, "--frame", frame, INT64_MIN, INT64_MAX,
                      "convert only this frame, from 1 (not with --first, --frames)");
  app.add_flag("--changed-only", options.changedOnly,
               "convert only the macroblocks that differ from the previous frame");
  app.add_flag("-q,--quiet", options.quiet, "no progress bar and no summary");
  AddNumberOption(app, "-j,--threads", options.threads, 1, 64,
                  "threads: bands of large pictures, reading and writing alongside, 1 to 64 "
                  "(default: the machine's processors; 1: none)");

  if (!ParseArguments(app, argc, argv)) return std::nullopt;

  if (!size.empty()) {
    if (!ParseSize(size, &options.width, &options.height)) {
      throw UsageError("--size '" + size + "' is not WxH, e.g. 176x144");
    }
    try {
      CheckPictureSize(options.width, options.height, "--size");
    } catch (const ToolError& e) {
      throw UsageError(e.what());
    }
  }
  if (frameOption->count() > 0) {
    if (first->count() > 0 || frames->count() > 0) {
      throw UsageError("--frame excludes --first and --frames");
    }
    if (frame < 1) throw UsageError("--frame counts from 1");
    options.first = frame;
    options.frames = 1;
    options.firstOption = "--frame";
  }
  if (options.first < 1) throw UsageError("--first counts from 1");
  if (frames->count() > 0 && options.frames < 1) throw UsageError("--frames must be at least 1");
  return options;
}

}  // namespace kconvert
