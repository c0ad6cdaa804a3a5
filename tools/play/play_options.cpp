#include "play_options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <iostream>

#include "keys.h"
#include "options.h"
#include "tool_error.h"
#include "y4m_reader.h"

namespace kplay {
namespace {

constexpr char kDescription[] =
    "Plays a YUV4MPEG2 clip (a file or '-' for stdin), raw I420 (--size WxH) or, with no input,\n"
    "the built-in test picture in a window, converting every frame through the Kelmar library\n"
    "into the chosen layout and showing the bytes it wrote.";

std::string Footer() {
  std::string text = "Keys in the window:\n";
  for (const std::string& line : KeyHelpLines()) text += "  " + line + "\n";
  text +=
      "The status line shows the frame, the layout, the adjustments, the share of macroblocks\n"
      "the library converted for this frame and its time per frame.\n"
      "\n"
      "Scripting aids: --keys runs a key script instead of waiting for a person, one frame tick\n"
      "after another: key words (1 to 6, z, b, B for shift+b, c, C, v, V, l, L, 0, space, left,\n"
      "right, m, s, h, q, esc) pressed in order, '+N' to let N frames pass; the player quits\n"
      "after the script.  --dump DIR records every picture handed to SDL: NNNN.bin (the bytes),\n"
      "NNNN.pal (the 8-bit palette SDL holds, 256 x RGBA) and a line in DIR/index.txt.\n"
      "Exit status: 0 done, 1 bad input or no display, 2 bad command line.";
  return text;
}

}  // namespace

std::optional<PlayOptions> ParsePlayCommandLine(int argc, const char* const* argv) {
  PlayOptions options;
  CLI::App app(kDescription, "kelmar-play");
  app.footer(Footer());
  kconvert::AddVersionFlag(app, "kelmar-play");
  app.add_option("input", options.input, "a .y4m file, '-' for stdin, or raw I420 with --size")
      ->type_name("INPUT");
  std::string size;
  app.add_option("-s,--size", size, "the input is raw I420 of this size")->type_name("WxH");
  app.add_option("--rate", options.rate, "frames per second (default: the clip's, or 25)")
      ->type_name("FPS");
  std::string layout = "rgb24";
  app.add_option("-f,--format", layout,
                 "first layout: rgb24, rgb555, rgb565, pal8, uyvy or yuy2 (default rgb24)")
      ->type_name("LAYOUT");
  app.add_flag("-z,--zoom", options.zoom, "start at double size");
  kconvert::AddInputRangeOption(app, options.inputRange);
  kconvert::AddDisplayOptions(app, options.brightness, options.contrast, options.saturation,
                              options.balance);
  auto* frames = kconvert::AddNumberOption(app, "--frames", options.frames, INT64_MIN, INT64_MAX,
                                           "play N frames, then quit");
  auto* loop = app.add_flag("--loop", options.loop,
                            "at the end of the clip, play it again from the first frame");
  app.add_flag("--exit-at-end", options.exitAtEnd,
               "quit when playing reaches the end of the clip (default: hold the last frame)")
      ->excludes(loop);
  loop->excludes(frames);
  app.add_flag("--no-window", options.noWindow,
               "decode and convert, print the status line after every conversion, show nothing");
  app.add_option("--shots", options.shotDir, "where 's' saves screenshots (default .)")
      ->type_name("DIR");
  auto* keys = app.add_option("--keys", options.keys, "scripting aid: a key script (below)")
                   ->type_name("SCRIPT");
  app.add_option("--dump", options.dumpDir,
                 "scripting aid: record every picture handed to SDL in DIR (below)")
      ->type_name("DIR");

  if (!kconvert::ParseArguments(app, argc, argv)) return std::nullopt;

  if (!size.empty()) {
    if (!kconvert::ParseSize(size, &options.width, &options.height)) {
      throw kconvert::UsageError("--size '" + size + "' is not WxH, e.g. 176x144");
    }
    try {
      kconvert::CheckPictureSize(options.width, options.height, "--size");
    } catch (const kconvert::ToolError& e) {
      throw kconvert::UsageError(e.what());
    }
    if (options.input.empty()) throw kconvert::UsageError("--size needs an input");
  }
  const auto parsed = kconvert::ParseLayout(layout);
  if (!parsed) {
    throw kconvert::UsageError("--format '" + layout +
                               "' is not one of rgb24, rgb555, rgb565, pal8, uyvy, yuy2");
  }
  options.layout = *parsed;
  if (!std::isfinite(options.rate) || options.rate < 0 || options.rate > 1000) {
    throw kconvert::UsageError("--rate must be from 0 (the clip's own) to 1000");
  }
  if (frames->count() > 0 && options.frames < 1) {
    throw kconvert::UsageError("--frames must be at least 1");
  }
  options.keysGiven = keys->count() > 0;
  if (options.keysGiven) ParseKeyScript(options.keys);  // reports a bad script before any work
  if (options.noWindow && !options.dumpDir.empty()) {
    throw kconvert::UsageError("--dump records what is handed to SDL: it needs the window");
  }
  return options;
}

}  // namespace kplay
