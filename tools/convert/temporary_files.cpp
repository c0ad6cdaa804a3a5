#include "temporary_files.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace kconvert {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::string> paths;
};

// Never destroyed: a signal may come while static objects are destroyed.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

void Forget(Registry& registry, const std::string& path) {
  auto& paths = registry.paths;
  paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
}

// Ends the program by `signal` with the registry locked, so that no file
// is created or renamed after the removal.
[[noreturn]] void RemoveAllAndEnd(int signal, const char* line) {
  Registry& registry = TheRegistry();
  registry.mutex.lock();
  for (const std::string& path : registry.paths) unlink(path.c_str());
  if (line != nullptr) {
    // A progress bar may be on show: the line replaces it.
    if (isatty(STDERR_FILENO) == 1) std::fputs("\r\033[K", stderr);
    std::fputs(line, stderr);
    std::fflush(stderr);
  }
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);  // not reached: the default action ends the program
}

}  // namespace

int CreateTemporaryFile(std::string& pattern) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const int fd = mkstemp(pattern.data());
  if (fd >= 0) registry.paths.push_back(pattern);
  return fd;
}

int CommitTemporaryFile(const std::string& temporary, const std::string& path) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const int result = rename(temporary.c_str(), path.c_str());
  if (result == 0) Forget(registry, temporary);
  return result;
}

void RemoveTemporaryFile(const std::string& temporary) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  unlink(temporary.c_str());
  Forget(registry, temporary);
}

void RemoveTemporaryFilesOnSignals(const char* program) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Every thread started later inherits the mask, so only sigwait() below
  // takes these signals, outside any signal handler.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  const std::string name = program;
  std::thread([signals, name] {
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    const std::string line = name + ": " + (signal == SIGINT ? "interrupted" : "terminated") +
                             "; unfinished output removed\n";
    RemoveAllAndEnd(signal, line.c_str());
  }).detach();
}

void EndBySignal(int signal) { RemoveAllAndEnd(signal, nullptr); }

}  // namespace kconvert
