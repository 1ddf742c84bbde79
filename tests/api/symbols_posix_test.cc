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

// The defined symbols of the sections of `type` (SHT_DYNSYM: what a loader
// can bind to; SHT_SYMTAB: every symbol the linker kept). With
// `exported_only`, only those of global, weak or unique binding. False when
// the image is not a well-formed ELF file or has no such section.
template <typename Elf>
bool DefinedSymbols(const std::vector<char>& image, uint32_t type, bool exported_only,
                    std::set<std::string>* names) {
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
    if (section.sh_type != type) continue;
    found = true;
    if (section.sh_link >= sections.size()) return false;
    const auto& strings = sections[section.sh_link];
    const size_t count = section.sh_size / sizeof(typename Elf::Sym);
    for (size_t i = 0; i < count; ++i) {
      typename Elf::Sym symbol;
      if (!ReadAt(image, section.sh_offset + i * sizeof(symbol), &symbol)) return false;
      if (symbol.st_shndx == SHN_UNDEF) continue;  // imported, not defined here
      const unsigned char bind = Elf::Bind(symbol.st_info);
      if (exported_only && bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE) {
        continue;
      }
      if (symbol.st_name >= strings.sh_size) return false;
      const size_t start = strings.sh_offset + symbol.st_name;
      if (start >= image.size()) return false;
      names->insert(
          std::string(image.data() + start, strnlen(image.data() + start, image.size() - start)));
    }
  }
  return found;
}

// The bytes of the library the tests load.
std::vector<char> LibraryImage(const testing::LoadedLibrary& library) {
  std::ifstream in(library.path(), std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Symbols(const std::vector<char>& image, uint32_t type, bool exported_only,
             std::set<std::string>* names) {
  return image[EI_CLASS] == ELFCLASS64 ? DefinedSymbols<Elf64>(image, type, exported_only, names)
                                       : DefinedSymbols<Elf32>(image, type, exported_only, names);
}

TEST(SymbolsTest, LibraryExportsExactlyTheModuleNames) {
  const testing::LoadedLibrary library;  // for its path; loading also proves it links
  ASSERT_TRUE(library.ok()) << library.error();
  const std::vector<char> image = LibraryImage(library);
  ASSERT_GE(image.size(), static_cast<size_t>(EI_NIDENT)) << library.path();
  ASSERT_EQ(std::memcmp(image.data(), ELFMAG, SELFMAG), 0) << "not an ELF file";

  std::set<std::string> exported;
  ASSERT_TRUE(Symbols(image, SHT_DYNSYM, true, &exported))
      << "no readable .dynsym in " << library.path();

  for (const std::string& name : exported) {
    EXPECT_TRUE(kExpectedExports.count(name)) << "unexpected export: " << name;
  }
  for (const std::string& name : kExpectedExports) {
    EXPECT_TRUE(exported.count(name)) << "missing export: " << name;
    EXPECT_NE(library.Get<void*>(name.c_str()), nullptr) << name;
  }
}

// Test doubles live in the tests: no fault-injecting Env is linked into the
// product, not even as a local symbol.
TEST(SymbolsTest, LibraryHoldsNoFaultInjection) {
  const testing::LoadedLibrary library;
  ASSERT_TRUE(library.ok()) << library.error();
  const std::vector<char> image = LibraryImage(library);
  ASSERT_GE(image.size(), static_cast<size_t>(EI_NIDENT)) << library.path();
  std::set<std::string> all;
  ASSERT_TRUE(Symbols(image, SHT_SYMTAB, false, &all)) << "no .symtab in " << library.path();
  ASSERT_TRUE(Symbols(image, SHT_DYNSYM, false, &all));
  EXPECT_GT(all.count("_ZN4vocs13RunStatisticsERKNS_13StatisticsRunE"), 0u)
      << "the symbol table does not list the module's own functions";
  for (const std::string& name : all) {
    EXPECT_EQ(name.find("FaultInjection"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace vocs
