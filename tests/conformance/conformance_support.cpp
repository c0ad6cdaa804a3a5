#include "conformance_support.h"

#include <atomic>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <thread>
#endif

namespace conformance {
namespace {
std::atomic<int> failures{0};
}  // namespace

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

int Failures() { return failures; }

uint64_t Fnv(const void* data, size_t size, uint64_t hash) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

Picture::Picture(int width, int height, bool upward, uint32_t seed) {
  lumaStride = (width + 1) & ~1;
  chromaStride = lumaStride / 2;
  const int chromaRows = (height + 1) / 2;
  luma.resize(static_cast<size_t>(lumaStride) * height);
  chroma.resize(2 * static_cast<size_t>(chromaStride) * chromaRows);
  Rng rng(seed);
  for (auto& b : luma) b = static_cast<uint8_t>(rng.Next() >> 24);
  for (auto& b : chroma) b = static_cast<uint8_t>(rng.Next() >> 24);
  for (int r = 0; r < height; ++r)
    yRows.push_back(&luma[static_cast<size_t>(upward ? height - 1 - r : r) * lumaStride]);
  const size_t vOffset = static_cast<size_t>(chromaStride) * chromaRows;
  for (int r = 0; r < chromaRows; ++r) {
    const size_t at = static_cast<size_t>(upward ? chromaRows - 1 - r : r) * chromaStride;
    uRows.push_back(&chroma[at]);
    vRows.push_back(&chroma[vOffset + at]);
  }
  planes = {yRows.data(), uRows.data(), vRows.data()};
}

namespace {
constexpr Layout Drawn(kelmar::OutputLayout layout) {
  const kelmar::OutputLayoutInfo& info = kelmar::InfoOf(layout);
  return {info.name, info.bitCount, info.compression, info.bytesPerPixel};
}
}  // namespace

static_assert(kDrawnLayouts == kelmar::kOutputLayoutCount, "every drawn layout, once");

const Layout kLayouts[9] = {
    Drawn(kelmar::OutputLayout::kRgb24),
    Drawn(kelmar::OutputLayout::kRgb555),
    Drawn(kelmar::OutputLayout::kRgb565),
    Drawn(kelmar::OutputLayout::kPal8),
    Drawn(kelmar::OutputLayout::kUyvy),
    Drawn(kelmar::OutputLayout::kYuy2),
    {"rgb32", 32, BI_RGB, 4},
    {"bitfields8", 8, BI_BITFIELDS, 1},
    {"unknown", 24, 5, 3},
};

HeaderBlock MakeHeader(const Layout& layout, int32_t width, int32_t height) {
  HeaderBlock block;
  std::memset(&block, 0x77, sizeof(block));
  block.header.biSize = sizeof(BITMAPINFOHEADER);
  block.header.biWidth = width;
  block.header.biHeight = height;
  block.header.biPlanes = 1;
  block.header.biBitCount = layout.bitCount;
  block.header.biCompression = layout.compression;
  return block;
}

#if defined(_WIN32)
namespace {
struct ThreadStart {
  const std::function<void(int)>* body;
  int index;
};
DWORD WINAPI ThreadMain(LPVOID argument) {
  const auto* start = static_cast<const ThreadStart*>(argument);
  (*start->body)(start->index);
  return 0;
}
}  // namespace

void RunThreads(int count, const std::function<void(int)>& body) {
  std::vector<ThreadStart> starts(count);
  std::vector<HANDLE> handles;
  for (int i = 0; i < count; ++i) {
    starts[i] = {&body, i};
    HANDLE h = CreateThread(nullptr, 0, ThreadMain, &starts[i], 0, nullptr);
    Check(h != nullptr, "CreateThread");
    if (h) handles.push_back(h);
  }
  for (HANDLE h : handles) {
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
  }
}
#else
void RunThreads(int count, const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(body, i);
  for (std::thread& t : threads) t.join();
}
#endif

}  // namespace conformance
