// One decoded 4:2:0 picture with tightly packed planes, as read from a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kconvert {

// Chroma planes cover odd sizes by rounding up, as 4:2:0 files store them.
inline int ChromaSize(int lumaSize) { return (lumaSize + 1) / 2; }

struct Frame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y;  // width x height
  std::vector<uint8_t> u;  // ChromaSize(width) x ChromaSize(height)
  std::vector<uint8_t> v;

  void Resize(int w, int h) {
    width = w;
    height = h;
    y.resize(static_cast<size_t>(w) * h);
    const size_t chroma = static_cast<size_t>(ChromaSize(w)) * ChromaSize(h);
    u.resize(chroma);
    v.resize(chroma);
  }
  int chromaWidth() const { return ChromaSize(width); }
  int chromaHeight() const { return ChromaSize(height); }
};

// Bytes of one frame in a raw I420 or YUV4MPEG2 stream.
inline size_t FrameBytes(int width, int height) {
  return static_cast<size_t>(width) * height +
         2 * static_cast<size_t>(ChromaSize(width)) * ChromaSize(height);
}

}  // namespace kconvert
