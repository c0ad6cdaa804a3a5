// Temporary output files that neither a signal nor a closed output pipe may
// leave behind.  Every temporary file is created, renamed and removed under
// one lock, so that whoever ends the program sees each one either registered
// or gone.
#pragma once

#include <string>

namespace kconvert {

// mkstemp() on `pattern` (which ends in XXXXXX), registering the file.
// Returns the descriptor, or -1 with errno set.
int CreateTemporaryFile(std::string& pattern);
// Renames a registered file to `path` and forgets it; rename()'s result.
int CommitTemporaryFile(const std::string& temporary, const std::string& path);
// Removes a registered file and forgets it.
void RemoveTemporaryFile(const std::string& temporary);

// From here on SIGINT and SIGTERM remove every registered file, print one
// line on standard error and end the program by that signal (the shell
// shows status 130 or 143), and SIGPIPE no longer ends the program while it
// writes: AtomicFile ends it by EndBySignal(SIGPIPE) instead.  Call before
// any thread starts: the signals are then taken by a thread of their own.
void RemoveTemporaryFilesOnSignals(const char* program);

// Removes every registered file and ends the program by `signal`, as the
// signal's default action would, without a message.
[[noreturn]] void EndBySignal(int signal);

}  // namespace kconvert
