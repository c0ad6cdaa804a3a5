#include "upload_dump.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "atomic_file.h"
#include "tool_error.h"

namespace kplay {

UploadDump::UploadDump(std::string directory) : directory_(std::move(directory)) {
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  if (error) {
    throw kconvert::ToolError("cannot create the directory '" + directory_ +
                              "': " + error.message());
  }
}

void UploadDump::Record(const Session& session, const Handover& handover) {
  char stem[16];
  std::snprintf(stem, sizeof stem, "%04d", ++count_);
  const std::string base = directory_ + "/" + stem;
  const size_t bytes = static_cast<size_t>(handover.pitch) * handover.height;
  kconvert::WriteFileAtomically(base + ".bin",
                                std::vector<uint8_t>(handover.pixels, handover.pixels + bytes));
  if (handover.paletteRgba != nullptr) {
    kconvert::WriteFileAtomically(
        base + ".pal", std::vector<uint8_t>(handover.paletteRgba, handover.paletteRgba + 1024));
  }

  const Adjustments& a = session.adjustments();
  char line[512];
  std::snprintf(line, sizeof line,
                "%s frame=%lld layout=%s zoom=%d format=%s width=%d height=%d pitch=%d "
                "brightness=%d contrast=%d saturation=%d balance=%d renderer=%s\n",
                stem, static_cast<long long>(session.frameNumber()),
                kconvert::LayoutName(session.layout()), session.zoom() ? 1 : 0, handover.sdlFormat,
                handover.width, handover.height, handover.pitch, static_cast<int>(a.brightness),
                static_cast<int>(a.contrast), static_cast<int>(a.saturation),
                static_cast<int>(a.balance), handover.renderer);
  const std::string indexPath = directory_ + "/index.txt";
  FILE* index = std::fopen(indexPath.c_str(), "a");
  const bool written = index != nullptr && std::fputs(line, index) >= 0;
  if (index == nullptr || std::fclose(index) != 0 || !written) {
    throw kconvert::ToolError("cannot write '" + indexPath + "'");
  }
}

}  // namespace kplay
