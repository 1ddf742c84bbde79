// The two properties of path names that differ between platforms. Every path
// rule of the module is written against these, so the rules themselves are the
// same on Windows and POSIX.
#ifndef VOCS_PLATFORM_PATH_STYLE_H_
#define VOCS_PLATFORM_PATH_STYLE_H_

#include <string_view>

namespace vocs {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// A Windows name is absolute when it names a drive: it holds a ':' anywhere.
inline bool IsAbsolutePath(std::string_view name) {
  return name.find(':') != std::string_view::npos;
}
#else
inline constexpr char kPathSeparator = '/';
inline bool IsAbsolutePath(std::string_view name) {
  return !name.empty() && name.front() == '/';
}
#endif

}  // namespace vocs

#endif  // VOCS_PLATFORM_PATH_STYLE_H_
