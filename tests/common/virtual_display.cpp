#include "virtual_display.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace kelmar::test {

namespace {

// Reads the display number that Xvfb writes once it accepts clients.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  pollfd wait = {fd, POLLIN, 0};
  while (poll(&wait, 1, 30000) == 1) {
    char c;
    if (read(fd, &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  return number;
}

}  // namespace

const VirtualDisplay* VirtualDisplay::Get() {
  static std::unique_ptr<VirtualDisplay> display;
  static bool tried = false, missing = false;
  if (!tried) {
    tried = true;
    missing = std::system("command -v Xvfb >/dev/null 2>&1") != 0;
    if (!missing) display = Start();
  }
  if (!missing && display == nullptr) ADD_FAILURE() << "Xvfb did not start";
  return display.get();
}

std::unique_ptr<VirtualDisplay> VirtualDisplay::Start() {
  int fds[2];
  if (pipe(fds) != 0) return nullptr;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // The server must not outlive a test program that crashes.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1200x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::unique_ptr<VirtualDisplay> display(new VirtualDisplay);
  display->pid_ = pid;
  const std::string number = pid > 0 ? ReadDisplayNumber(fds[0]) : "";
  close(fds[0]);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
    return nullptr;
  }
  display->name_ = ":" + number;
  return display;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

}  // namespace kelmar::test
