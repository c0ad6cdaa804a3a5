#include "pe_image.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kelmar::test {
namespace {

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint32_t U8(size_t at) const { return Need(at, 1), bytes_[at]; }
  uint32_t U16(size_t at) const { return Need(at, 2), bytes_[at] | bytes_[at + 1] << 8; }
  uint32_t U32(size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::string CString(size_t at) const {
    std::string s;
    while (U8(at)) s.push_back(static_cast<char>(U8(at++)));
    return s;
  }
  // UTF-16 text (ASCII only here) ending at a NUL; advances `at` past it.
  std::string WString(size_t& at) const {
    std::string s;
    for (uint32_t c; (c = U16(at)) != 0; at += 2) s.push_back(static_cast<char>(c));
    at += 2;
    return s;
  }

 private:
  void Need(size_t at, size_t n) const {
    if (at + n > bytes_.size()) throw std::runtime_error("read past the end of the image");
  }
  const std::vector<uint8_t>& bytes_;
};

size_t RvaToOffset(const std::vector<Section>& sections, uint32_t rva) {
  for (const Section& s : sections) {
    const uint32_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva >= s.virtualAddress && rva < s.virtualAddress + extent)
      return s.rawOffset + (rva - s.virtualAddress);
  }
  throw std::runtime_error("address outside every section");
}

void ReadExports(const Reader& r, const std::vector<Section>& sections, uint32_t rva,
                 PeImage& image) {
  if (!rva) return;
  const size_t dir = RvaToOffset(sections, rva);
  image.exportDllName = r.CString(RvaToOffset(sections, r.U32(dir + 12)));
  const uint32_t base = r.U32(dir + 16);
  const uint32_t functionCount = r.U32(dir + 20);
  const uint32_t nameCount = r.U32(dir + 24);
  const size_t functions = RvaToOffset(sections, r.U32(dir + 28));
  const size_t names = nameCount ? RvaToOffset(sections, r.U32(dir + 32)) : 0;
  const size_t ordinals = nameCount ? RvaToOffset(sections, r.U32(dir + 36)) : 0;
  for (uint32_t i = 0; i < functionCount; ++i) {
    PeExport e{"", base + i, r.U32(functions + 4 * i)};
    for (uint32_t n = 0; n < nameCount; ++n)
      if (r.U16(ordinals + 2 * n) == i)
        e.name = r.CString(RvaToOffset(sections, r.U32(names + 4 * n)));
    if (e.rva) image.exports.push_back(e);
  }
}

// Import descriptors of 20 bytes, ending with a zeroed one; each names its
// DLL and points at a lookup table (the address table when it has none) of
// 32- or 64-bit entries, whose top bit marks an import by ordinal and whose
// other entries point at a 2-byte hint followed by the name.
void ReadImports(const Reader& r, const std::vector<Section>& sections, uint32_t rva,
                 PeImage& image) {
  if (!rva) return;
  const size_t entrySize = image.pe32Plus ? 8 : 4;
  for (size_t entry = RvaToOffset(sections, rva); r.U32(entry + 12); entry += 20) {
    PeImport import;
    import.dll = r.CString(RvaToOffset(sections, r.U32(entry + 12)));
    const uint32_t lookup = r.U32(entry) ? r.U32(entry) : r.U32(entry + 16);
    for (size_t at = RvaToOffset(sections, lookup);; at += entrySize) {
      const uint32_t low = r.U32(at);
      const uint32_t high = image.pe32Plus ? r.U32(at + 4) : 0;
      if (!low && !high) break;
      const bool byOrdinal = image.pe32Plus ? (high & 0x80000000u) : (low & 0x80000000u);
      if (byOrdinal) {
        import.ordinals.push_back(low & 0xFFFFu);
      } else {
        import.names.push_back(r.CString(RvaToOffset(sections, low & 0x7FFFFFFFu) + 2));
      }
    }
    image.importedDlls.push_back(import.dll);
    image.imports.push_back(import);
  }
}

// Resource directory: type, then name, then language; takes the first
// entry of each level below the version type.
void ReadVersionResource(const Reader& r, const std::vector<Section>& sections, uint32_t rva,
                         PeImage& image) {
  if (!rva) return;
  const size_t root = RvaToOffset(sections, rva);
  const auto findEntry = [&](size_t dir, int wantedId) -> uint32_t {
    const uint32_t count = r.U16(dir + 12) + r.U16(dir + 14);
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = dir + 16 + 8 * i;
      if (wantedId < 0 || r.U32(entry) == static_cast<uint32_t>(wantedId)) return r.U32(entry + 4);
    }
    return 0;
  };
  constexpr int kVersionType = 16;
  uint32_t next = findEntry(root, kVersionType);
  for (int level = 0; level < 2 && next; ++level) {
    if (!(next & 0x80000000u)) throw std::runtime_error("resource tree too shallow");
    next = findEntry(root + (next & 0x7FFFFFFFu), -1);
  }
  if (!next || (next & 0x80000000u)) return;
  const size_t data = root + next;
  const size_t at = RvaToOffset(sections, r.U32(data));
  const uint32_t size = r.U32(data + 4);
  r.U8(at + size - 1);
  image.versionResource.assign(image.bytes.begin() + at, image.bytes.begin() + at + size);
}

size_t Align4(size_t at) { return (at + 3) & ~size_t{3}; }

// One version block: length, value length, type, key, value, children.
void ParseBlock(const Reader& r, size_t at, const std::string& parent, VersionInfo& info) {
  const size_t end = at + r.U16(at);
  const uint32_t valueLength = r.U16(at + 2);
  const uint32_t type = r.U16(at + 4);
  size_t cursor = at + 6;
  const std::string key = r.WString(cursor);
  cursor = Align4(cursor);
  if (key == "VS_VERSION_INFO" && valueLength >= 52) {
    info.fileVersionMs = r.U32(cursor + 8);
    info.fileVersionLs = r.U32(cursor + 12);
    info.productVersionMs = r.U32(cursor + 16);
    info.productVersionLs = r.U32(cursor + 20);
    info.fileType = r.U32(cursor + 36);
  }
  if (type == 1 && valueLength && parent.size() == 8) {  // a string of a language table
    size_t valueAt = cursor;
    info.strings[key] = r.WString(valueAt);
  }
  cursor = Align4(cursor + (type == 1 ? 2 * valueLength : valueLength));
  while (cursor + 6 <= end) {
    const size_t childLength = r.U16(cursor);
    if (!childLength) break;
    ParseBlock(r, cursor, key, info);
    cursor = Align4(cursor + childLength);
  }
}

}  // namespace

PeImage ReadPeImage(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + path);
  PeImage image;
  image.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  const Reader r(image.bytes);
  if (r.U16(0) != 0x5A4D) throw std::runtime_error("no MZ header");
  const size_t pe = r.U32(0x3C);
  if (r.U32(pe) != 0x00004550) throw std::runtime_error("no PE signature");
  image.machine = static_cast<uint16_t>(r.U16(pe + 4));
  const uint32_t sectionCount = r.U16(pe + 6);
  const uint32_t optionalSize = r.U16(pe + 20);
  image.characteristics = static_cast<uint16_t>(r.U16(pe + 22));
  const size_t optional = pe + 24;
  const uint32_t magic = r.U16(optional);
  if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("not a PE32 or PE32+ image");
  image.pe32Plus = magic == 0x20B;
  image.entryPointRva = r.U32(optional + 16);
  image.dllCharacteristics = static_cast<uint16_t>(r.U16(optional + 70));
  // PE32+ has 64-bit stack and heap sizes before the data directories.
  const size_t directories = optional + (image.pe32Plus ? 112 : 96);
  std::vector<Section> sections;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const size_t s = optional + optionalSize + 40 * i;
    sections.push_back({r.U32(s + 12), r.U32(s + 8), r.U32(s + 20), r.U32(s + 16)});
  }
  ReadExports(r, sections, r.U32(directories), image);
  ReadImports(r, sections, r.U32(directories + 8), image);
  ReadVersionResource(r, sections, r.U32(directories + 16), image);
  return image;
}

VersionInfo ParseVersionInfo(const std::vector<uint8_t>& resource) {
  VersionInfo info;
  if (resource.empty()) return info;
  ParseBlock(Reader(resource), 0, "", info);
  return info;
}

}  // namespace kelmar::test
