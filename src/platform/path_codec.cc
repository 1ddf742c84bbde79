#include "platform/path_codec.h"

#include <errno.h>
#include <iconv.h>

#include <utility>

namespace vocs {

namespace {

constexpr const char* kModuleCodePage = "GB18030";
constexpr const char* kSystemCodePage = "UTF-8";

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// One iconv descriptor, opened on first use and kept for the thread.
class Converter {
 public:
  Converter(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(descriptor_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in`; false at the first byte sequence that does not
  // decode or cannot be encoded, and for an incomplete sequence at the end.
  bool Convert(std::string_view in, std::string* out) {
    if (!ok()) return false;
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);  // initial state
    // Every character grows at most to twice its bytes, plus room for a
    // closing shift sequence.
    std::string buffer(in.size() * 2 + 8, '\0');
    char* source = const_cast<char*>(in.data());
    size_t source_left = in.size();
    char* target = buffer.data();
    size_t target_left = buffer.size();
    if (iconv(descriptor_, &source, &source_left, &target, &target_left) == static_cast<size_t>(-1) ||
        iconv(descriptor_, nullptr, nullptr, &target, &target_left) == static_cast<size_t>(-1)) {
      return false;
    }
    buffer.resize(buffer.size() - target_left);
    *out = std::move(buffer);
    return true;
  }

 private:
  bool ok() const { return descriptor_ != reinterpret_cast<iconv_t>(-1); }

  iconv_t descriptor_;
};

bool Convert(bool to_system, std::string_view in, std::string* out) {
  if (IsAscii(in)) {
    out->assign(in);
    return true;
  }
  thread_local Converter to_system_converter(kSystemCodePage, kModuleCodePage);
  thread_local Converter to_module_converter(kModuleCodePage, kSystemCodePage);
  return (to_system ? to_system_converter : to_module_converter).Convert(in, out);
}

// A code for CreateDir when the name itself cannot be used: not one of
// the two codes the path rules react to.
constexpr int kErrorBadName = 123;  // ERROR_INVALID_NAME

class ModulePathEnv final : public EnvWrapper {
 public:
  explicit ModulePathEnv(Env* system_env) : EnvWrapper(system_env) {}

  bool GetExecutablePath(std::string* path) override {
    std::string system;
    return target()->GetExecutablePath(&system) && SystemPathToModule(system, path);
  }

  bool GetAttributes(const std::string& path, bool* is_directory) override {
    std::string system;
    return ModulePathToSystem(path, &system) && target()->GetAttributes(system, is_directory);
  }

  int CreateDir(const std::string& path) override {
    std::string system;
    if (!ModulePathToSystem(path, &system)) return kErrorBadName;
    return target()->CreateDir(system);
  }

  bool RemoveDir(const std::string& path) override {
    std::string system;
    return ModulePathToSystem(path, &system) && target()->RemoveDir(system);
  }

  bool RemoveFile(const std::string& path) override {
    std::string system;
    return ModulePathToSystem(path, &system) && target()->RemoveFile(system);
  }

  bool ListDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) override {
    std::string system;
    std::vector<DirectoryEntry> found;
    if (!ModulePathToSystem(path, &system) || !target()->ListDirectory(system, &found)) {
      return false;
    }
    std::vector<DirectoryEntry> converted;
    converted.reserve(found.size());
    for (DirectoryEntry& entry : found) {
      DirectoryEntry module_entry;
      module_entry.is_directory = entry.is_directory;
      module_entry.is_link = entry.is_link;
      if (!SystemPathToModule(entry.name, &module_entry.name)) return false;
      converted.push_back(std::move(module_entry));
    }
    entries->insert(entries->end(), std::make_move_iterator(converted.begin()),
                    std::make_move_iterator(converted.end()));
    return true;
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    std::string system_from;
    std::string system_to;
    return ModulePathToSystem(from, &system_from) && ModulePathToSystem(to, &system_to) &&
           target()->RenameFile(system_from, system_to);
  }

  bool CopyFileTo(const std::string& from, const std::string& to) override {
    std::string system_from;
    std::string system_to;
    return ModulePathToSystem(from, &system_from) && ModulePathToSystem(to, &system_to) &&
           target()->CopyFileTo(system_from, system_to);
  }

  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override {
    std::string system_directory;
    std::string system_prefix;
    std::string system_path;
    if (!ModulePathToSystem(directory, &system_directory) ||
        !ModulePathToSystem(prefix, &system_prefix) ||
        !target()->CreateTempFile(system_directory, system_prefix, &system_path)) {
      return false;
    }
    if (SystemPathToModule(system_path, path)) return true;
    target()->RemoveFile(system_path);  // cannot happen: both parts came from the module
    return false;
  }

  bool CreateNewFile(const std::string& path) override {
    std::string system;
    return ModulePathToSystem(path, &system) && target()->CreateNewFile(system);
  }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    std::string system;
    if (!ModulePathToSystem(path, &system)) return nullptr;
    return target()->NewWritableFile(system);
  }

  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    std::string system;
    if (!ModulePathToSystem(path, &system)) return nullptr;
    return target()->NewSequentialFile(system);
  }

  bool GetIdentity(const std::string& path, FileIdentity* identity) override {
    std::string system;
    return ModulePathToSystem(path, &system) && target()->GetIdentity(system, identity);
  }
};

}  // namespace

bool ModulePathToSystem(std::string_view module_path, std::string* system_path) {
  return Convert(/*to_system=*/true, module_path, system_path);
}

bool SystemPathToModule(std::string_view system_path, std::string* module_path) {
  return Convert(/*to_system=*/false, system_path, module_path);
}

std::unique_ptr<Env> NewModulePathEnv(Env* system_env) {
  return std::make_unique<ModulePathEnv>(system_env);
}

}  // namespace vocs
