// The one kind of failure the tool reports: a one-line message for the user.
#pragma once

#include <stdexcept>
#include <string>

namespace kconvert {

// Thrown for bad input, bad options and failed output; main() prints the
// message on one line and exits non-zero.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

// A bad command line (exit status 2) rather than a failed conversion (1).
class UsageError : public ToolError {
 public:
  explicit UsageError(const std::string& message) : ToolError(message) {}
};

}  // namespace kconvert
