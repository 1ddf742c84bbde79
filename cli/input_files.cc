#include "cli/input_files.h"

#include <algorithm>
#include <filesystem>

#include "cli/cli_common.h"
#include "host/host_statement.h"

namespace vocs::cli {

namespace {

namespace fs = std::filesystem;

// Why a file's text cannot be read in `encoding`, or "".
std::string DecodingProblem(const std::string& bytes, host::TextEncoding encoding,
                            host::TextCodec* codec) {
  const std::string_view text = host::StripUtf8Bom(bytes);
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                            (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    return "is UTF-16 text; convert it to UTF-8 (iconv -f UTF-16 -t UTF-8)";
  }
  if (text.find('\0') != std::string_view::npos) {
    return "holds 0 bytes: it is UTF-16 or binary, not text";
  }
  const bool utf8 = host::IsValidUtf8(text);
  if (encoding == host::TextEncoding::kUtf8) {
    return utf8 ? "" : "is not UTF-8 text (--encoding utf8)";
  }
  if (utf8 && encoding != host::TextEncoding::kGb18030) return "";
  std::string ignored;
  size_t bad = 0;
  if (codec->Gb18030ToUtf8(text, &ignored, &bad)) return "";
  const std::string where = " (byte " + std::to_string(bad + (text.data() - bytes.data())) + ")";
  return encoding == host::TextEncoding::kGb18030
             ? "is not GBK or GB18030 text" + where
             : "is neither UTF-8 nor GBK/GB18030 text" + where +
                   "; convert it to UTF-8 (for Latin-1: iconv -f LATIN1 -t UTF-8)";
}

}  // namespace

bool HasTextSuffix(const std::string& name) {
  return name.size() > 4 && host::SameName(name.substr(name.size() - 4), ".txt");
}

std::vector<InputFile> CheckInputFiles(const std::vector<std::string>& names,
                                       host::TextEncoding encoding, host::TextCodec* codec,
                                       std::vector<std::string>* problems) {
  std::vector<InputFile> files;
  const auto named = [&](const std::string& path) {
    std::string module_name;
    if (!codec->Utf8ToGb18030(path, &module_name)) {
      problems->push_back(path + ": the name has no form in the module's code page (it is not "
                                 "UTF-8, or holds a private-use character)");
      return false;
    }
    return true;
  };
  const auto check_file = [&](const std::string& path, int source) {
    std::string bytes;
    std::string error;
    if (!ReadFile(path, &bytes, &error)) {
      problems->push_back(path + ": cannot be read");
      return;
    }
    const std::string problem = DecodingProblem(bytes, encoding, codec);
    if (!problem.empty()) {
      problems->push_back(path + ": " + problem);
      return;
    }
    files.push_back(InputFile{path, bytes.size(), source});
  };

  for (size_t n = 0; n < names.size(); ++n) {
    const std::string& name = names[n];
    for (size_t m = 0; m < n; ++m) {
      if (host::SameName(names[m], name)) {
        problems->push_back(name + ": named twice (the module compares names without regard to "
                                   "letter case)");
      }
    }
    std::error_code ec;
    const fs::file_status status = fs::status(name, ec);
    if (ec || !fs::exists(status)) {
      problems->push_back(name + ": no such file or directory");
      continue;
    }
    if (!named(name)) continue;
    if (!fs::is_directory(status)) {
      check_file(name, static_cast<int>(n));
      continue;
    }
    // Every name in a directory must convert, not only those of its .txt
    // files: the module lists the whole directory.
    std::vector<std::string> found;
    for (fs::recursive_directory_iterator it(name, ec), end; !ec && it != end; it.increment(ec)) {
      if (!named(it->path().string())) {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_directory(ec)) continue;
      if (HasTextSuffix(it->path().filename().string())) found.push_back(it->path().string());
    }
    if (ec) {
      problems->push_back(name + ": cannot be listed: " + ec.message());
      continue;
    }
    if (found.empty()) {
      problems->push_back(name + ": holds no .txt file (a directory stands for the .txt files "
                                 "in it and below it)");
      continue;
    }
    std::sort(found.begin(), found.end());
    for (const std::string& file : found) check_file(file, static_cast<int>(n));
  }
  return files;
}

}  // namespace vocs::cli
