// kelmar-play: plays a clip in a window through the Kelmar library, as a
// host displaying decoded video would.
#include <cstdio>
#include <exception>

#include "play_options.h"
#include "play_run.h"
#include "tool_error.h"

int main(int argc, char** argv) {
  try {
    const auto options = kplay::ParsePlayCommandLine(argc, argv);
    if (!options) return 0;
    kplay::RunPlayer(*options);
    return 0;
  } catch (const kconvert::UsageError& e) {
    std::fprintf(stderr, "kelmar-play: error: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelmar-play: error: %s\n", e.what());
    return 1;
  }
}
