// kelmar-convert: converts video frames or a test picture through the Kelmar
// library into its output layouts.
#include <cstdio>
#include <exception>

#include "convert_run.h"
#include "options.h"
#include "temporary_files.h"
#include "tool_error.h"

int main(int argc, char** argv) {
  kconvert::RemoveTemporaryFilesOnSignals("kelmar-convert");
  try {
    const auto options = kconvert::ParseCommandLine(argc, argv);
    if (!options) return 0;
    const kconvert::RunTotals totals = kconvert::RunConversion(*options);
    if (!options->quiet) {
      std::fprintf(stderr, "kelmar-convert: %s\n", kconvert::SummaryLine(totals).c_str());
      // After the summary: a run that fails says one line, its error.
      if (!totals.rangeHint.empty()) {
        std::fprintf(stderr, "kelmar-convert: %s\n", totals.rangeHint.c_str());
      }
    }
    return 0;
  } catch (const kconvert::UsageError& e) {
    std::fprintf(stderr, "kelmar-convert: error: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelmar-convert: error: %s\n", e.what());
    return 1;
  }
}
