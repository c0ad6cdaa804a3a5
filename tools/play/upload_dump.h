// A record of every picture handed to SDL (--dump), so that scripts can
// check that SDL got exactly the library's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "session.h"

namespace kplay {

// What was handed over: the pixel bytes as SDL reads them (`rows` rows of
// `pitch` bytes) and, for 8-bit pictures, the palette SDL holds.
struct Handover {
  const char* sdlFormat;  // SDL's name of the pixel format
  int width = 0;
  int height = 0;
  int pitch = 0;
  const uint8_t* pixels = nullptr;
  const uint8_t* paletteRgba = nullptr;  // 256 x red, green, blue, alpha; or none
  const char* renderer = "";             // SDL's name of the renderer that draws it
};

class UploadDump {
 public:
  // Creates the directory; throws ToolError when it cannot.
  explicit UploadDump(std::string directory);
  // Writes NNNN.bin (and NNNN.pal) and a line of index.txt that tells the
  // frame, layout and adjustments the session had.
  void Record(const Session& session, const Handover& handover);

 private:
  std::string directory_;
  int count_ = 0;
};

}  // namespace kplay
