// Path names between the module's code page and the file system's.
//
// Inside the module every path is a byte string in the module's code page
// (GB18030: GBK for every GBK character, four bytes for any other Unicode
// character), as it would reach the Win32 "A" functions. POSIX file systems
// hold UTF-8 names. The POSIX Env converts every path it is given with
// ModulePathToSystem and every path it returns (the executable's path,
// directory entries, made temporary names) with SystemPathToModule.
//
// Both conversions are exact or fail: a name that does not decode, or holds a
// character the other side cannot represent, is refused, never cut or
// replaced, so a path can never silently turn into a different one. ASCII
// passes through unchanged without any conversion work.
//
// The conversions use the C library's iconv. They keep one converter per
// direction per thread and may be called from any thread.
#ifndef VOCS_PLATFORM_PATH_CODEC_H_
#define VOCS_PLATFORM_PATH_CODEC_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace vocs {

// Module code page -> file system (UTF-8). False when `module_path` is not
// well-formed GB18030 or holds a character UTF-8 cannot carry.
bool ModulePathToSystem(std::string_view module_path, std::string* system_path);

// File system (UTF-8) -> module code page. False when `system_path` is not
// well-formed UTF-8 or holds a character GB18030 has no code for.
bool SystemPathToModule(std::string_view system_path, std::string* module_path);

// An Env that takes and returns paths in the module's code page and hands
// the wrapped Env (which speaks the file system's names) converted ones. A
// path that cannot be converted fails the operation as the wrapped Env fails
// it for a name it cannot use: false, null, or a code that is neither
// kErrorPathNotFound nor kErrorAlreadyExists. A directory listing that holds
// a name without a module form fails as a whole, so that no file is skipped
// silently.
std::unique_ptr<Env> NewModulePathEnv(Env* system_env);

}  // namespace vocs

#endif  // VOCS_PLATFORM_PATH_CODEC_H_
