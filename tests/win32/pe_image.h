// A small reader of PE images (32-bit PE32 and 64-bit PE32+): just what the
// DLLs' tests look at.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kelmar::test {

struct PeExport {
  std::string name;  // empty for an export by ordinal only
  uint32_t ordinal;
  uint32_t rva;
};

// What an image imports from one DLL: names, and ordinals of the entries
// imported by ordinal only.
struct PeImport {
  std::string dll;
  std::vector<std::string> names;
  std::vector<uint32_t> ordinals;
};

struct VersionInfo {
  uint32_t fileVersionMs = 0, fileVersionLs = 0;
  uint32_t productVersionMs = 0, productVersionLs = 0;
  uint32_t fileType = 0;
  std::map<std::string, std::string> strings;  // StringFileInfo entries
};

struct PeImage {
  std::vector<uint8_t> bytes;
  uint16_t machine = 0;
  bool pe32Plus = false;  // the 64-bit format
  uint16_t characteristics = 0;
  uint16_t dllCharacteristics = 0;
  uint32_t entryPointRva = 0;
  std::vector<PeExport> exports;
  std::string exportDllName;
  std::vector<std::string> importedDlls;
  std::vector<PeImport> imports;  // one per imported DLL, in the same order
  std::vector<uint8_t> versionResource;
};

// Throws std::runtime_error for a file that is not a well-formed PE image.
PeImage ReadPeImage(const std::string& path);
VersionInfo ParseVersionInfo(const std::vector<uint8_t>& resource);

}  // namespace kelmar::test
