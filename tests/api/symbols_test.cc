// The shared library exports exactly the module's C names: every other
// symbol, our code and the standard library's alike, must stay local.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/loaded_library.h"

namespace vocs {
namespace {

// The names libvocs.so exports. Extend this list, and only this list, when
// the library gains an export.
const std::set<std::string> kExpectedExports = {
    "VOCS_Frequency", "VOCS_Frequency2",  "VOCS_Together",
    "VOCS_Together2", "VOCS_GetTempPath", "VOCS_SetTempPath", "PlugModule_CreateInstance",
};

struct Elf64 {
  using Ehdr = Elf64_Ehdr;
  using Shdr = Elf64_Shdr;
  using Sym = Elf64_Sym;
  static unsigned char Bind(unsigned char info) { return ELF64_ST_BIND(info); }
};

struct Elf32 {
  using Ehdr = Elf32_Ehdr;
  using Shdr = Elf32_Shdr;
  using Sym = Elf32_Sym;
  static unsigned char Bind(unsigned char info) { return ELF32_ST_BIND(info); }
};

template <typename T>
bool ReadAt(const std::vector<char>& image, size_t offset, T* out) {
  if (offset > image.size() || image.size() - offset < sizeof(T)) return false;
  std::memcpy(out, image.data() + offset, sizeof(T));
  return true;
}

// The defined symbols of .dynsym with global, weak or unique binding: what a
// loader can bind to. False when the image is not a well-formed ELF file.
template <typename Elf>
bool ExportedSymbols(const std::vector<char>& image, std::set<std::string>* names) {
  typename Elf::Ehdr header;
  if (!ReadAt(image, 0, &header) || header.e_shentsize != sizeof(typename Elf::Shdr)) {
    return false;
  }
  std::vector<typename Elf::Shdr> sections(header.e_shnum);
  for (size_t i = 0; i < sections.size(); ++i) {
    if (!ReadAt(image, header.e_shoff + i * sizeof(typename Elf::Shdr), &sections[i])) {
      return false;
    }
  }
  bool found = false;
  for (const auto& section : sections) {
    if (section.sh_type != SHT_DYNSYM) continue;
    found = true;
    if (section.sh_link >= sections.size()) return false;
    const auto& strings = sections[section.sh_link];
    const size_t count = section.sh_size / sizeof(typename Elf::Sym);
    for (size_t i = 0; i < count; ++i) {
      typename Elf::Sym symbol;
      if (!ReadAt(image, section.sh_offset + i * sizeof(symbol), &symbol)) return false;
      if (symbol.st_shndx == SHN_UNDEF) continue;  // imported, not exported
      const unsigned char bind = Elf::Bind(symbol.st_info);
      if (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE) continue;
      if (symbol.st_name >= strings.sh_size) return false;
      const size_t start = strings.sh_offset + symbol.st_name;
      if (start >= image.size()) return false;
      names->insert(
          std::string(image.data() + start, strnlen(image.data() + start, image.size() - start)));
    }
  }
  return found;
}

TEST(SymbolsTest, LibraryExportsExactlyTheModuleNames) {
  const testing::LoadedLibrary library;  // for its path; loading also proves it links
  ASSERT_TRUE(library.ok()) << library.error();
  std::ifstream in(library.path(), std::ios::binary);
  ASSERT_TRUE(in) << library.path();
  const std::vector<char> image((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  ASSERT_GE(image.size(), static_cast<size_t>(EI_NIDENT));
  ASSERT_EQ(std::memcmp(image.data(), ELFMAG, SELFMAG), 0) << "not an ELF file";

  std::set<std::string> exported;
  const bool parsed = image[EI_CLASS] == ELFCLASS64 ? ExportedSymbols<Elf64>(image, &exported)
                                                    : ExportedSymbols<Elf32>(image, &exported);
  ASSERT_TRUE(parsed) << "no readable .dynsym in " << library.path();

  for (const std::string& name : exported) {
    EXPECT_TRUE(kExpectedExports.count(name)) << "unexpected export: " << name;
  }
  for (const std::string& name : kExpectedExports) {
    EXPECT_TRUE(exported.count(name)) << "missing export: " << name;
    EXPECT_NE(library.Get<void*>(name.c_str()), nullptr) << name;
  }
}

}  // namespace
}  // namespace vocs
