// Directory expansion on any tree of files, directories and symbolic links
// (to files, to directories above or beside, dangling), through a whole
// frequency run over the tree's top directory.
//
// Input: up to 48 entries of two bytes each, made in order: the first byte's
// low three bits say what (0 a .txt file, 1 a file of another name, 2 a
// directory, 3 a link to a directory made before, 4 a link to a file made
// before, 5 a dangling .txt link, 6 a .TXT file, 7 a link named .txt to a
// directory), the second byte picks the directory it goes into, and for a
// link the first byte's high bits pick its target. Every file holds one term
// of its own.
//
// The run must end as a plain model of the walk says: every .txt name met
// once (links to files read, links to directories passed over), its term
// counted; a dangling .txt link fails the run with VOCS_E_SOURCE_UNREADABLE.
// A walk that followed a link in a loop would not end.
#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "api/statistics_runs.h"
#include "fuzz_support.h"
#include "support/recording_host.h"
#include "text/text_primitives.h"
#include "vocs/errors.h"

namespace {

namespace fs = std::filesystem;
using vocs::fuzz::Check;

struct Node {
  std::string path;                        // relative to the top directory
  bool is_directory = false;
  std::vector<size_t> children;            // nodes inside a directory
  enum { kFile, kOtherFile, kDirectory, kLink, kDangling } kind = kFile;
  size_t target = 0;                       // a link's target node
  std::string term;                        // a file's term
};

bool CountedName(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  if (name.size() <= 4) return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == ".txt";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& scratch = vocs::fuzz::FreshScratchDirectory();
  const std::string top = scratch + "/top";
  std::vector<Node> nodes(1);
  nodes[0].is_directory = true;
  nodes[0].kind = Node::kDirectory;
  fs::create_directory(top);
  std::vector<size_t> directories = {0};
  std::vector<size_t> files;
  for (size_t i = 0; i + 1 < size && nodes.size() <= 48; i += 2) {
    const unsigned what = data[i] & 7;
    const unsigned pick = data[i] >> 3;
    const size_t parent = directories[data[i + 1] % directories.size()];
    Node node;
    const std::string stem = nodes[parent].path + (nodes[parent].path.empty() ? "" : "/") + "n" +
                             std::to_string(nodes.size());
    const std::string at = top + "/";
    switch (what) {
      case 0:
      case 1:
      case 6:
        node.path = stem + (what == 0 ? ".txt" : what == 1 ? ".text" : ".TXT");
        node.kind = what == 1 ? Node::kOtherFile : Node::kFile;
        node.term = "term" + std::to_string(nodes.size());
        vocs::fuzz::WriteFileOrDie(at + node.path, node.term);
        files.push_back(nodes.size());
        break;
      case 2:
        node.path = stem;
        node.is_directory = true;
        node.kind = Node::kDirectory;
        fs::create_directory(at + node.path);
        directories.push_back(nodes.size());
        break;
      case 3:
      case 7:
        node.path = stem + (what == 7 ? ".txt" : "");
        node.kind = Node::kLink;
        node.is_directory = true;
        node.target = directories[pick % directories.size()];
        fs::create_directory_symlink(fs::absolute(at + nodes[node.target].path), at + node.path);
        break;
      case 4:
        if (files.empty()) continue;
        node.path = stem + ".txt";
        node.kind = Node::kLink;
        node.target = files[pick % files.size()];
        fs::create_symlink(fs::absolute(at + nodes[node.target].path), at + node.path);
        break;
      case 5:
        node.path = stem + ".txt";
        node.kind = Node::kDangling;
        fs::create_symlink(scratch + "/nowhere", at + node.path);
        break;
    }
    nodes[parent].children.push_back(nodes.size());
    nodes.push_back(std::move(node));
  }

  // The model: every entry below the top once, links to directories not
  // followed.
  std::map<std::string, int64_t> expected;
  bool dangling = false;
  for (const Node& node : nodes) {
    if (node.is_directory || !CountedName(node.path)) continue;
    if (node.kind == Node::kDangling) dangling = true;
    const Node& file = node.kind == Node::kLink ? nodes[node.target] : node;
    ++expected[file.term];
  }

  vocs::testing::RecordingHost host;
  vocs::StatisticsRun run;
  run.host = &host;
  run.output_name = scratch + "/result.txt";
  run.temp_dir = scratch + "/work/";
  run.sources.push_back(vocs::RunSource::File(top, vocs::kModeNone, ""));
  const int code = vocs::RunStatistics(run);
  if (dangling) {
    Check(code == VOCS_E_SOURCE_UNREADABLE, "a dangling link fails the run");
    return 0;
  }
  Check(code == 0, "the run succeeds");
  std::map<std::string, int64_t> counted;
  const std::string result = vocs::fuzz::ReadFileOrEmpty(run.output_name);
  size_t start = result.find('\n');  // after the header
  while (start != std::string::npos && start + 1 < result.size()) {
    const size_t end = result.find('\n', start + 1);
    const std::string line = result.substr(start + 1, end - start - 1);
    const size_t tab = line.find('\t');
    Check(tab != std::string::npos, "a result line has columns");
    counted[line.substr(0, tab)] = std::stoll(line.substr(tab + 1));
    start = end;
  }
  Check(counted == expected, "every file counted once per name that leads to it");
  return 0;
}
