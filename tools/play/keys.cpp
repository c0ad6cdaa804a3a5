#include "keys.h"

#include <SDL_keycode.h>

#include <cctype>

#include "tool_error.h"

namespace kplay {
namespace {

struct Binding {
  int32_t key;
  bool shift;
  Action action;
};

constexpr Binding kBindings[] = {
    {SDLK_1, false, Action::kLayout1},
    {SDLK_2, false, Action::kLayout2},
    {SDLK_3, false, Action::kLayout3},
    {SDLK_4, false, Action::kLayout4},
    {SDLK_5, false, Action::kLayout5},
    {SDLK_6, false, Action::kLayout6},
    {SDLK_z, false, Action::kZoom},
    {SDLK_b, false, Action::kBrightnessDown},
    {SDLK_b, true, Action::kBrightnessUp},
    {SDLK_c, false, Action::kContrastDown},
    {SDLK_c, true, Action::kContrastUp},
    {SDLK_v, false, Action::kSaturationDown},
    {SDLK_v, true, Action::kSaturationUp},
    {SDLK_l, false, Action::kBalanceDown},
    {SDLK_l, true, Action::kBalanceUp},
    {SDLK_0, false, Action::kResetAdjustments},
    {SDLK_SPACE, false, Action::kPause},
    {SDLK_LEFT, false, Action::kStepBack},
    {SDLK_RIGHT, false, Action::kStepForward},
    {SDLK_m, false, Action::kOverlay},
    {SDLK_s, false, Action::kScreenshot},
    {SDLK_h, false, Action::kHelp},
    {SDLK_q, false, Action::kQuit},
    {SDLK_ESCAPE, false, Action::kQuit},
};

// Script words for the keys that are not one printable character.
struct NamedKey {
  const char* name;
  int32_t key;
};

constexpr NamedKey kNamedKeys[] = {
    {"space", SDLK_SPACE}, {"left", SDLK_LEFT},     {"right", SDLK_RIGHT},
    {"esc", SDLK_ESCAPE},  {"escape", SDLK_ESCAPE},
};

std::optional<KeyPress> KeyOfWord(const std::string& word) {
  for (const NamedKey& named : kNamedKeys) {
    if (word == named.name) return KeyPress{named.key, false};
  }
  if (word.size() != 1) return std::nullopt;
  const unsigned char c = static_cast<unsigned char>(word[0]);
  if (std::isupper(c)) return KeyPress{std::tolower(c), true};
  if (std::islower(c) || std::isdigit(c)) return KeyPress{c, false};
  return std::nullopt;
}

// Keeps a broken script from running for hours.
constexpr long kMaxTicks = 1000000;

}  // namespace

std::optional<int> LayoutIndex(Action action) {
  const int n = static_cast<int>(action) - static_cast<int>(Action::kLayout1);
  if (n < 0 || n > 5) return std::nullopt;
  return n;
}

std::optional<Action> ActionForKey(int32_t key, bool shift) {
  // Keys without a shifted meaning do the same with shift held.
  std::optional<Action> unshifted;
  for (const Binding& binding : kBindings) {
    if (binding.key != key) continue;
    if (binding.shift == shift) return binding.action;
    if (shift) unshifted = binding.action;
  }
  return unshifted;
}

std::vector<ScriptTick> ParseKeyScript(const std::string& script) {
  std::vector<ScriptTick> ticks(1);
  size_t at = 0;
  while (at < script.size()) {
    const size_t end = script.find_first_of(" ,\t\n", at);
    const std::string word = script.substr(at, end == std::string::npos ? end : end - at);
    at = end == std::string::npos ? script.size() : end + 1;
    if (word.empty()) continue;
    if (word[0] == '+') {
      const std::string digits = word.substr(1);
      if (digits.empty() || digits.size() > 7 ||
          digits.find_first_not_of("0123456789") != std::string::npos || std::stol(digits) < 1 ||
          static_cast<long>(ticks.size()) + std::stol(digits) > kMaxTicks) {
        throw kconvert::UsageError("--keys: '" + word + "' is not +N with N from 1 to " +
                                   std::to_string(kMaxTicks));
      }
      ticks.resize(ticks.size() + std::stol(digits));
      continue;
    }
    const std::optional<KeyPress> press = KeyOfWord(word);
    if (!press || !ActionForKey(press->key, press->shift)) {
      throw kconvert::UsageError("--keys: '" + word + "' is not a key of the player (see --help)");
    }
    ticks.back().keys.push_back(*press);
  }
  return ticks;
}

std::vector<std::string> KeyHelpLines() {
  return {
      "1 to 6       layout: rgb24 rgb555 rgb565 pal8 uyvy yuy2",
      "z            double size (packed layouts: the window is scaled)",
      "b, shift+b   brightness down, up",
      "c, shift+c   contrast down, up",
      "v, shift+v   saturation down, up",
      "l, shift+l   balance down, up (packed layouts)",
      "0            adjustments back to 0",
      "space        pause, play",
      "left, right  step a frame back, forward",
      "m            tint the macroblocks converted in this frame",
      "s            save a screenshot (PNG)",
      "h            this help",
      "q, esc       quit",
  };
}

}  // namespace kplay
