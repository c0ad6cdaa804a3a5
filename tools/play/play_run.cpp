#include "play_run.h"

#include <SDL.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "atomic_file.h"
#include "frame_source.h"
#include "keys.h"
#include "player_window.h"
#include "png_writer.h"
#include "session.h"
#include "tool_error.h"
#include "upload_dump.h"

namespace kplay {
namespace {

constexpr double kDefaultRate = 25;

double FramesPerSecond(const PlayOptions& options, const kconvert::FrameSource& source) {
  if (options.rate > 0) return options.rate;
  const kconvert::Ratio rate = source.FrameRate();
  if (rate.num > 0 && rate.den > 0) {
    return static_cast<double>(rate.num) / static_cast<double>(rate.den);
  }
  return kDefaultRate;
}

// The first kelmar-play-NNNN.png that does not exist yet.
std::string ScreenshotPath(const std::string& directory) {
  for (int n = 1;; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "kelmar-play-%04d.png", n);
    const std::string path = directory + "/" + name;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return path;
  }
}

void SaveScreenshot(PlayerWindow& window, Session& session, const std::string& directory) {
  const std::string path = ScreenshotPath(directory);
  kconvert::WriteFileAtomically(path, kconvert::EncodePng(window.ReadBack()));
  std::printf("kelmar-play: saved %s\n", path.c_str());
  std::fflush(stdout);
  session.SetMessage("saved " + std::filesystem::path(path).filename().string());
}

// Without a window: as fast as the library goes, a status line for every
// conversion.  Keys that only concern the window do nothing.
void RunHeadless(Session& session, const PlayOptions& options,
                 const std::vector<ScriptTick>& script) {
  uint64_t printed = 0;
  // Every action converts at most once, so a line after each shows them all.
  auto print = [&] {
    if (printed == session.generation()) return;
    printed = session.generation();
    std::printf("%s\n", session.StatusLine().c_str());
  };
  // False at the end of the clip, saying why when it could not loop.
  auto advance = [&] {
    if (session.Advance()) return true;
    if (options.loop && !session.message().empty()) {
      std::fprintf(stderr, "kelmar-play: %s\n", session.message().c_str());
    }
    return false;
  };
  print();
  for (size_t tick = 0;; ++tick) {
    if (script.empty()) {
      if (!advance()) return;
      print();
      continue;
    }
    if (tick == script.size()) return;
    if (tick > 0 && !session.paused()) {
      if (!advance() && options.exitAtEnd) return;
      print();
    }
    for (const KeyPress& press : script[tick].keys) {
      const std::optional<Action> action = ActionForKey(press.key, press.shift);
      if (action == Action::kQuit) return;
      if (action) session.Apply(*action);
      print();
    }
  }
}

// The layout and size an action asks for, when it asks for either.
std::optional<std::pair<kconvert::Layout, bool>> PictureAskedFor(const Session& session,
                                                                 Action action) {
  if (const auto index = LayoutIndex(action)) {
    return std::make_pair(kconvert::kAllLayouts[*index], session.zoom());
  }
  if (action == Action::kZoom) return std::make_pair(session.layout(), !session.zoom());
  return std::nullopt;
}

class Player {
 public:
  Player(Session& session, const PlayOptions& options, double rate, UploadDump* dump)
      : session_(session),
        options_(options),
        window_("kelmar-play: " + session.source().name(), dump),
        period_(static_cast<uint64_t>(SDL_GetPerformanceFrequency() / rate)) {
    if (auto refusal = window_.Refusal(session_, session_.layout(), false)) {
      throw kconvert::ToolError(session_.source().name() + ": the picture " + *refusal);
    }
    if (session_.zoom()) {
      if (auto refusal = window_.Refusal(session_, session_.layout(), true)) {
        session_.Apply(Action::kZoom);  // at its own size, then
        session_.SetMessage("double size refused: " + *refusal);
      }
    }
  }

  // Frames at the clip's rate; keys as they come.
  void RunLive() {
    uint64_t due = SDL_GetPerformanceCounter() + period_;
    Show();
    while (!quit_) {
      const uint64_t now = SDL_GetPerformanceCounter();
      bool changed = false;
      if (!session_.paused() && now >= due) {
        PlayOn();
        // Late (a slow frame, or back from a pause): the next frame waits a
        // whole period rather than hurrying to catch up.
        due = due + period_ < now ? now + period_ : due + period_;
        changed = true;
      }
      changed |= HandleEvents();
      if (changed && !quit_) Show();
      if (quit_) break;
      const uint64_t left =
          session_.paused() ? period_ : due - std::min(due, SDL_GetPerformanceCounter());
      const int ms = static_cast<int>(left * 1000 / SDL_GetPerformanceFrequency());
      SDL_WaitEventTimeout(nullptr, std::max(ms, 1));
    }
  }

  // One frame tick per script step, as fast as they can be drawn.
  void RunScript(const std::vector<ScriptTick>& script) {
    for (size_t tick = 0; tick < script.size() && !quit_; ++tick) {
      if (tick > 0 && !session_.paused()) PlayOn();
      for (const KeyPress& press : script[tick].keys) window_.PushKey(press);
      HandleEvents();
      if (!quit_) Show();
    }
  }

 private:
  void PlayOn() {
    // With --frames the end of those frames is the end of the run.
    if (!session_.Advance() && (options_.frames > 0 || options_.exitAtEnd)) quit_ = true;
  }

  // Layouts and sizes the display cannot hold are refused on the status
  // line, and the picture stays as it is.
  void Apply(Action action) {
    if (const auto asked = PictureAskedFor(session_, action)) {
      if (auto refusal = window_.Refusal(session_, asked->first, asked->second)) {
        const std::string what = action == Action::kZoom
                                     ? std::string("double size")
                                     : std::string(kconvert::LayoutName(asked->first)) +
                                           (asked->second ? " at double size" : "");
        session_.SetMessage(what + " refused: " + *refusal);
        return;
      }
    }
    session_.Apply(action);
  }

  void Show() {
    window_.Draw(session_);
    window_.Present();
  }

  // True when something may look different.
  bool HandleEvents() {
    bool changed = false;
    SDL_Event event;
    while (!quit_ && SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) {
        quit_ = true;
      } else if (event.type == SDL_WINDOWEVENT) {
        changed = true;
      } else if (const std::optional<Action> action = ActionOfEvent(event)) {
        changed = true;
        if (*action == Action::kQuit) {
          quit_ = true;
        } else if (*action == Action::kScreenshot) {
          // What the keys before it made, not what those after it make.
          window_.Draw(session_);
          SaveScreenshot(window_, session_, options_.shotDir);
        } else {
          Apply(*action);
        }
      }
    }
    return changed;
  }

  Session& session_;
  const PlayOptions& options_;
  PlayerWindow window_;
  uint64_t period_;
  bool quit_ = false;
};

}  // namespace

void RunPlayer(const PlayOptions& options) {
  std::vector<ScriptTick> script;
  if (options.keysGiven) script = ParseKeyScript(options.keys);
  auto source =
      kconvert::OpenSource({options.input, options.width, options.height, options.inputRange});
  // Said at the end of a run that went well, where it interrupts nothing.
  const std::string rangeHint = kconvert::AssumedRangeHint(*source);
  const auto hint = [&rangeHint] {
    if (!rangeHint.empty()) std::fprintf(stderr, "kelmar-play: %s\n", rangeHint.c_str());
  };
  Session session(std::move(source), options);
  if (options.noWindow) {
    RunHeadless(session, options, script);
    hint();
    return;
  }
  std::unique_ptr<UploadDump> dump;
  if (!options.dumpDir.empty()) dump = std::make_unique<UploadDump>(options.dumpDir);
  Player player(session, options, FramesPerSecond(options, session.source()), dump.get());
  if (options.keysGiven) {
    player.RunScript(script);
  } else {
    player.RunLive();
  }
  hint();
}

}  // namespace kplay
