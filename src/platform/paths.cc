#include "platform/paths.h"

#include <string>

#include "platform/env.h"
#include "platform/mbcs.h"
#include "platform/path_style.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

bool WindowsIsAbsolute(std::string_view name) {
  return name.find(':') != std::string_view::npos;
}

bool ExecutablePath(std::string* path) {
  return CurrentEnv()->GetExecutablePath(path) && !path->empty() &&
         path->size() <= kMaxPathLength;
}

// The decimal text of the unique-name formula: two draws of the generator
// multiplied, plus the tick count, in 32-bit unsigned arithmetic.
std::string UniqueNumber() {
  Env* env = CurrentEnv();
  uint32_t first = static_cast<uint32_t>(env->Random());
  uint32_t second = static_cast<uint32_t>(env->Random());
  return std::to_string(first * second + env->TickCount());
}

}  // namespace

const PathStyle& NativePathStyle() {
  static const PathStyle style{kPathSeparator, &IsAbsolutePath};
  return style;
}

const PathStyle& WindowsPathStyle() {
  static const PathStyle style{'\\', &WindowsIsAbsolute};
  return style;
}

std::string HostTableDirectoryName(const PathStyle& style) {
  return std::string("LOCAL_HS_DB") + style.separator;
}

bool ProgramDirectory(std::string* directory, const PathStyle& style) {
  std::string exe;
  if (!ExecutablePath(&exe)) return false;
  size_t sep = FindLastMbcs(exe, style.separator);
  if (sep == std::string::npos) return false;
  exe.resize(sep + 1);
  *directory = std::move(exe);
  return true;
}

size_t ResolveDirectoryPath(std::string_view name, std::string* out, size_t capacity,
                            const PathStyle& style) {
  if (name.empty() || capacity == 0) return 0;
  std::string result;
  if (!style.is_absolute(name)) {
    std::string exe;
    if (!ExecutablePath(&exe)) return 0;
    size_t sep = FindLastMbcs(exe, style.separator);
    if (sep == std::string::npos) return 0;
    // A name that begins with the separator brings its own.
    exe.resize(name.front() == style.separator ? sep : sep + 1);
    result = std::move(exe);
  }
  result.append(name);
  if (!EndsWithMbcs(name, style.separator)) result.push_back(style.separator);
  if (result.size() > capacity - 1) return 0;
  *out = std::move(result);
  return out->size();
}

int ResolveExportOutputPath(std::string* name, OutputTarget target, const PathStyle& style) {
  if (style.is_absolute(*name)) {
    if (EndsWithMbcs(*name, style.separator)) name->pop_back();
    return 0;
  }
  std::string work;
  if (target == OutputTarget::kTable) {
    if (ResolveDirectoryPath(HostTableDirectoryName(style) + *name, &work, kPathBufferSize,
                             style) == 0) {
      return -1;
    }
    work.append(*name);
  } else if (ResolveDirectoryPath(*name, &work, kPathBufferSize, style) == 0) {
    return -1;
  }
  if (EndsWithMbcs(work, style.separator)) work.pop_back();
  if (work.size() > kMaxPathLength) return -1;
  *name = std::move(work);
  return 0;
}

int ResolveCommandOutputPath(std::string* name, std::optional<OutputTarget> target,
                             const PathStyle& style) {
  if (style.is_absolute(*name)) return 0;
  std::string directory;
  if (!ProgramDirectory(&directory, style)) return VOCS_E_EXECUTABLE_PATH;
  if (!target) return VOCS_E_REPEATED_NAME;
  if (*target == OutputTarget::kTable) directory += HostTableDirectoryName(style);
  directory += *name;
  if (directory.size() > kCommandNameLength) return VOCS_E_OUTPUT_PATH;
  *name = std::move(directory);
  return 0;
}

bool ResolveTaskOutputPath(std::string_view name, std::string* out, const PathStyle& style) {
  if (name.empty()) {
    out->clear();
    return true;
  }
  std::string result;
  if (!style.is_absolute(name)) {
    std::string exe;
    if (!ExecutablePath(&exe)) return false;
    size_t sep = FindLastMbcs(exe, style.separator);
    if (sep == std::string::npos) return false;
    exe.resize(sep + 1);
    result = exe + HostTableDirectoryName(style);
  }
  result.append(name);
  if (result.size() > kMaxPathLength) return false;
  if (EndsWithMbcs(result, style.separator)) result.pop_back();
  *out = std::move(result);
  return true;
}

std::string TableLoadDirectory(std::string_view table_path, const PathStyle& style) {
  const size_t last = FindLastMbcs(table_path, style.separator);
  if (last == std::string_view::npos) return std::string();
  std::string directory(table_path.substr(0, last));
  directory.push_back(style.separator);
  return directory;
}

void EnsureTrailingSeparator(std::string* directory, const PathStyle& style) {
  if (!EndsWithMbcs(*directory, style.separator)) directory->push_back(style.separator);
}

bool DirectoryExists(const std::string& path) {
  bool is_directory = false;
  return CurrentEnv()->GetAttributes(path, &is_directory) && is_directory;
}

bool MakeDirectoryTree(const std::string& path, const PathStyle& style) {
  if (DirectoryExists(path)) return true;
  if (path.empty() || path.size() > kMaxPathLength) return false;
  Env* env = CurrentEnv();
  int error = env->CreateDir(path);
  if (error == 0) return true;
  // Another run may have made it in the meantime (runs can share a configured
  // temporary directory); what counts is that it exists.
  if (error != kErrorPathNotFound) return error == kErrorAlreadyExists && DirectoryExists(path);
  for (size_t i = 0; i < path.size(); i += CharLength(path, i)) {
    if (path[i] != style.separator) continue;
    if (i + 1 < path.size() && path[i + 1] == style.separator) continue;
    if (i == 0) continue;  // the root of an absolute POSIX path
    std::string prefix = path.substr(0, i);
    if (!DirectoryExists(prefix) && env->CreateDir(prefix) != 0 && !DirectoryExists(prefix)) {
      return false;
    }
  }
  return DirectoryExists(path) || env->CreateDir(path) == 0;
}

bool MakeUniqueDirectory(const std::string& parent, std::string_view prefix,
                         std::string* out) {
  Env* env = CurrentEnv();
  bool failed_once = false;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = parent;
    candidate.append(prefix);
    candidate += UniqueNumber();
    if (candidate.size() > kMaxPathLength) return false;
    if (DirectoryExists(candidate)) continue;
    int error = env->CreateDir(candidate);
    if (error == 0) {
      *out = std::move(candidate);
      return true;
    }
    if (error == kErrorAlreadyExists) continue;
    if (failed_once) return false;
    failed_once = true;
  }
  return false;
}

bool MakeUniqueTempFile(const std::string& directory, std::string_view prefix,
                        std::string* out) {
  Env* env = CurrentEnv();
  std::string name;
  if (env->CreateTempFile(directory, std::string(prefix), &name)) {
    if (name.size() <= kMaxPathLength) {
      *out = std::move(name);
      return true;
    }
    env->RemoveFile(name);
    return false;
  }
  for (int attempt = 0; attempt < 500; ++attempt) {
    std::string candidate = directory;
    candidate.append(prefix);
    candidate += UniqueNumber();
    candidate += ".tmp";
    if (candidate.size() > kMaxPathLength) return false;
    // Created exclusively, as the system call does: two runs that draw the
    // same name never both take it, and an existing file is never emptied.
    if (!env->CreateNewFile(candidate)) continue;
    *out = std::move(candidate);
    return true;
  }
  return false;
}

void SplitList(std::string_view text, std::string_view delimiters,
               std::vector<std::string>* list) {
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t n = CharLength(text, i);
    bool is_delimiter = false;
    for (size_t d = 0; d < delimiters.size(); d += CharLength(delimiters, d)) {
      size_t m = CharLength(delimiters, d);
      if (m == n && text.compare(i, n, delimiters.substr(d, m)) == 0) {
        is_delimiter = true;
        break;
      }
    }
    if (is_delimiter) {
      if (i > start) list->emplace_back(text.substr(start, i - start));
      start = i + n;
    }
    i += n;
  }
  if (start < text.size()) list->emplace_back(text.substr(start));
}

}  // namespace vocs
