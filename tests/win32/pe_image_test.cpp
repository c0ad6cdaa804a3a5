// The structure of both KELMAR.dll builds, read from the files: exports,
// imports, version resource and the loader flags.
#include "pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace kelmar::test {
namespace {

struct Build {
  const char* name;
  const char* path;
  uint16_t machine;
  bool pe32Plus;
};

void PrintTo(const Build& build, std::ostream* out) { *out << build.name; }

// The builds this tree was configured with.
std::vector<Build> Builds() {
  std::vector<Build> builds;
#if defined(KELMAR_DLL32_PATH)
  builds.push_back({"win32", KELMAR_DLL32_PATH, 0x14C, false});  // i386
#endif
#if defined(KELMAR_DLL64_PATH)
  builds.push_back({"win64", KELMAR_DLL64_PATH, 0x8664, true});  // x86-64
#endif
  return builds;
}

class Dll : public ::testing::TestWithParam<Build> {
 protected:
  const PeImage& Image() const {
    static std::map<std::string, PeImage> images;
    auto found = images.find(GetParam().path);
    if (found == images.end())
      found = images.emplace(GetParam().path, ReadPeImage(GetParam().path)).first;
    return found->second;
  }
  const PeExport* FindExport(const std::string& name) const {
    for (const PeExport& e : Image().exports)
      if (e.name == name) return &e;
    return nullptr;
  }
};

INSTANTIATE_TEST_SUITE_P(Builds, Dll, ::testing::ValuesIn(Builds()),
                         [](const ::testing::TestParamInfo<Build>& info) {
                           return std::string(info.param.name);
                         });

TEST_P(Dll, IsADllOfItsProcessor) {
  EXPECT_EQ(Image().machine, GetParam().machine);
  EXPECT_EQ(Image().pe32Plus, GetParam().pe32Plus);
  EXPECT_TRUE(Image().characteristics & 0x2000);  // DLL
  EXPECT_NE(Image().entryPointRva, 0u);
  EXPECT_EQ(Image().exportDllName, "KELMAR.dll");
}

TEST_P(Dll, ExportsSixUndecoratedNamesAtFixedOrdinals) {
  struct Expected {
    const char* name;
    uint32_t ordinal;
  };
  const Expected expected[] = {{"DecGetPal", 1},  {"SetDisplay", 2},  {"Kelmar", 3},
                               {"DecGetPalW", 4}, {"SetDisplayW", 5}, {"KelmarW", 6}};
  ASSERT_EQ(Image().exports.size(), 6u);
  for (const Expected& e : expected) {
    const PeExport* found = FindExport(e.name);
    ASSERT_NE(found, nullptr) << e.name;
    EXPECT_EQ(found->ordinal, e.ordinal) << e.name;
  }
}

TEST_P(Dll, SecondNamesShareEntriesExceptKelmarW) {
  EXPECT_EQ(FindExport("SetDisplayW")->rva, FindExport("SetDisplay")->rva);
  EXPECT_EQ(FindExport("DecGetPalW")->rva, FindExport("DecGetPal")->rva);
  EXPECT_NE(FindExport("KelmarW")->rva, FindExport("Kelmar")->rva);
}

TEST_P(Dll, ImportsKernel32Only) {
  ASSERT_EQ(Image().importedDlls.size(), 1u);
  std::string name = Image().importedDlls[0];
  std::transform(name.begin(), name.end(), name.begin(), ::toupper);
  EXPECT_EQ(name, "KERNEL32.DLL");
}

// The hosts the Windows build links through the import libraries beside the
// DLL (tests/win32/import_host.c) must import the names the DLL exports:
// on 32-bit Windows `Kelmar`, not the `Kelmar@24` their compiler asked for.
TEST_P(Dll, HostsLinkedThroughImportLibrariesImportTheExportedNames) {
  struct Host {
    const char* file;
    bool withoutCRuntime;  // linked by lld-link: imports KELMAR.dll alone
  };
  const Host hosts[] = {{"kelmar_host_mingw.exe", false}, {"kelmar_host_msvc.exe", true}};
  const std::string path = GetParam().path;
  const std::string directory = path.substr(0, path.find_last_of('/') + 1);
  const std::vector<std::string> exported = {"DecGetPal", "DecGetPalW", "Kelmar",
                                             "KelmarW",   "SetDisplay", "SetDisplayW"};
  for (const Host& host : hosts) {
    SCOPED_TRACE(host.file);
    const PeImage image = ReadPeImage(directory + host.file);
    EXPECT_EQ(image.machine, GetParam().machine);
    const PeImport* kelmar = nullptr;
    for (const PeImport& import : image.imports)
      if (import.dll == "KELMAR.dll") kelmar = &import;
    ASSERT_NE(kelmar, nullptr);
    std::vector<std::string> names = kelmar->names;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, exported);
    EXPECT_TRUE(kelmar->ordinals.empty());
    if (host.withoutCRuntime) {
      EXPECT_EQ(image.importedDlls, std::vector<std::string>{"KELMAR.dll"});
    }
  }
}

TEST_P(Dll, MarkedForAddressRandomisationAndNoExecuteData) {
  EXPECT_TRUE(Image().dllCharacteristics & 0x0040) << "DYNAMICBASE";
  EXPECT_TRUE(Image().dllCharacteristics & 0x0100) << "NXCOMPAT";
  // 64-bit images may be placed anywhere in the 64-bit address space.
  if (GetParam().pe32Plus) {
    EXPECT_TRUE(Image().dllCharacteristics & 0x0020) << "HIGHENTROPYVA";
  }
}

TEST_P(Dll, VersionResource) {
  const VersionInfo info = ParseVersionInfo(Image().versionResource);
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

TEST_P(Dll, CarriesModuleDescription) {
  const std::string description = "KELMAR.DLL - YUV to RGB conversion DLL";
  const auto& bytes = Image().bytes;
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), description.begin(), description.end()),
            bytes.end());
}

}  // namespace
}  // namespace kelmar::test
