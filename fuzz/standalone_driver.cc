// Runs a fuzz target over the inputs named on the command line, for builds
// without libFuzzer: each argument is a file, or a directory whose files are
// all run (in name order, so that a replay is repeatable). Replays a crashing
// input or a whole seed corpus under any compiler; ctest runs it on every
// corpus. Exits 1 when an argument cannot be read or a directory is empty.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // An exact-size copy on the heap, so that a read past the end is caught by
  // the address sanitizer.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      if (files.empty()) {
        std::fprintf(stderr, "%s: no input in it\n", argv[i]);
        return 1;
      }
    } else {
      files.push_back(arg);
    }
    for (const auto& file : files) {
      if (!RunFile(file)) return 1;
      ++runs;
    }
  }
  std::printf("%d inputs ran without fault\n", runs);
  return 0;
}
