#include "options.h"

#include <CLI/CLI.hpp>
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
    "command line.";

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

void AddDisplayOptions(CLI::App& app, int32_t& brightness, int32_t& contrast, int32_t& saturation,
                       int32_t& balance) {
  app.add_option("--brightness", brightness, "10 output levels per unit (default 0)")
      ->type_name("N");
  app.add_option("--contrast", contrast, "5% more contrast per unit (default 0)")->type_name("N");
  app.add_option("--saturation", saturation, "10% more colour per unit (default 0)")
      ->type_name("N");
  app.add_option("--balance", balance, "U/V balance of the packed layouts (default 0)")
      ->type_name("N");
}

std::optional<Options> ParseCommandLine(int argc, const char* const* argv) {
  Options options;
  CLI::App app(kDescription, "kelmar-convert");
  app.footer(kFooter);
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
  AddDisplayOptions(app, options.brightness, options.contrast, options.saturation, options.balance);
  auto* first =
      app.add_option("--first", options.first, "first frame to convert, from 1")->type_name("N");
  auto* frames =
      app.add_option("--frames", options.frames, "number of frames (default: all)")->type_name("N");
  int64_t frame = 0;
  auto* frameOption = app.add_option("--frame", frame, "convert only this frame, from 1")
                          ->type_name("N")
                          ->excludes(first)
                          ->excludes(frames);
  app.add_flag("--changed-only", options.changedOnly,
               "convert only the macroblocks that differ from the previous frame");
  app.add_flag("-q,--quiet", options.quiet, "no progress bar and no summary");
  app.add_option("-j,--threads", options.threads,
                 "threads: bands of large pictures, reading and writing alongside (default: the "
                 "machine's processors; 1: none)")
      ->type_name("N")
      ->check(CLI::Range(1, 64));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    throw UsageError(std::string(e.what()) + " (see --help)");
  }

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
    if (frame < 1) throw UsageError("--frame counts from 1");
    options.first = frame;
    options.frames = 1;
  }
  if (options.first < 1) throw UsageError("--first counts from 1");
  if (frames->count() > 0 && options.frames < 1) throw UsageError("--frames must be at least 1");
  return options;
}

}  // namespace kconvert
