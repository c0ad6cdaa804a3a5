// An Xvfb server of the test program's own, shared by the tool and the
// GStreamer tests.
#pragma once

#include <memory>
#include <string>

namespace kelmar::test {

// An Xvfb server of the test program's own, so that windows open alike on
// every machine and no desktop is needed or disturbed.  Started on first
// use; it ends with the test program, even one that crashes.
class VirtualDisplay {
 public:
  // Null when Xvfb is not installed; fails the test when it will not start.
  static const VirtualDisplay* Get();
  ~VirtualDisplay();
  const std::string& name() const { return name_; }  // ":N"

 private:
  VirtualDisplay() = default;
  static std::unique_ptr<VirtualDisplay> Start();
  int pid_ = -1;
  std::string name_;
};

}  // namespace kelmar::test
