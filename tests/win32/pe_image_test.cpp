// The structure of KELMAR.dll, read from the file: exports, imports, version
// resource and the loader flags.
#include "pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace kelmar::test {
namespace {

const PeImage& Dll() {
  static const PeImage image = ReadPeImage(KELMAR_DLL_PATH);
  return image;
}

const PeExport* FindExport(const std::string& name) {
  for (const PeExport& e : Dll().exports)
    if (e.name == name) return &e;
  return nullptr;
}

TEST(Dll, IsA32BitDll) {
  EXPECT_EQ(Dll().machine, 0x14C);              // i386
  EXPECT_TRUE(Dll().characteristics & 0x2000);  // DLL
  EXPECT_NE(Dll().entryPointRva, 0u);
  EXPECT_EQ(Dll().exportDllName, "KELMAR.dll");
}

TEST(Dll, ExportsSixUndecoratedNamesAtFixedOrdinals) {
  struct Expected {
    const char* name;
    uint32_t ordinal;
  };
  const Expected expected[] = {{"DecGetPal", 1},  {"SetDisplay", 2},  {"Kelmar", 3},
                               {"DecGetPalW", 4}, {"SetDisplayW", 5}, {"KelmarW", 6}};
  ASSERT_EQ(Dll().exports.size(), 6u);
  for (const Expected& e : expected) {
    const PeExport* found = FindExport(e.name);
    ASSERT_NE(found, nullptr) << e.name;
    EXPECT_EQ(found->ordinal, e.ordinal) << e.name;
  }
}

TEST(Dll, SecondNamesShareEntriesExceptKelmarW) {
  EXPECT_EQ(FindExport("SetDisplayW")->rva, FindExport("SetDisplay")->rva);
  EXPECT_EQ(FindExport("DecGetPalW")->rva, FindExport("DecGetPal")->rva);
  EXPECT_NE(FindExport("KelmarW")->rva, FindExport("Kelmar")->rva);
}

TEST(Dll, ImportsKernel32Only) {
  ASSERT_EQ(Dll().importedDlls.size(), 1u);
  std::string name = Dll().importedDlls[0];
  std::transform(name.begin(), name.end(), name.begin(), ::toupper);
  EXPECT_EQ(name, "KERNEL32.DLL");
}

TEST(Dll, MarkedForAddressRandomisationAndNoExecuteData) {
  EXPECT_TRUE(Dll().dllCharacteristics & 0x0040) << "DYNAMICBASE";
  EXPECT_TRUE(Dll().dllCharacteristics & 0x0100) << "NXCOMPAT";
}

TEST(Dll, VersionResource) {
  const VersionInfo info = ParseVersionInfo(Dll().versionResource);
  EXPECT_EQ(info.fileVersionMs, 0x00030000u);
  EXPECT_EQ(info.fileVersionLs, 0x00000004u);
  EXPECT_EQ(info.productVersionMs, 0x00030000u);
  EXPECT_EQ(info.productVersionLs, 0x00000001u);
  EXPECT_EQ(info.fileType, 2u);  // a DLL
  const std::map<std::string, std::string> expected = {
      {"FileDescription", "KELMAR"},    {"FileVersion", "3, 0, 0, 4"},
      {"InternalName", "KELMAR"},       {"OriginalFilename", "KELMAR.dll"},
      {"ProductVersion", "3, 0, 0, 1"},
  };
  EXPECT_EQ(info.strings, expected);
}

TEST(Dll, CarriesModuleDescription) {
  const std::string description = "KELMAR.DLL - YUV to RGB conversion DLL";
  const auto& bytes = Dll().bytes;
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), description.begin(), description.end()),
            bytes.end());
}

}  // namespace
}  // namespace kelmar::test
