// Path rules and temporary storage.
//
// Every name that reaches the module (an output file or table name, a
// temporary directory) becomes an absolute path here before anything is
// written. Relative names are taken relative to the program directory, the
// directory of the running executable (the database server, not this
// library); host tables live below "LOCAL_HS_DB" and a separator in it.
//
// Paths are byte strings in code page 936 limited to kMaxPathLength bytes (the
// 260-byte buffers of the Windows API, less the terminator). A result that
// would be longer is refused with the rule's failure result; no rule ever cuts
// a name into a different path. Every search for the separator, and every
// test for a trailing one, steps over two-byte characters whole: the trail
// byte 0x5C of a character is never taken for a backslash.
//
// The rules are written against a PathStyle (separator and absolute test);
// the module always uses NativePathStyle(), tests may also run the Windows
// style on any platform. File-system services go through CurrentEnv(), so
// these rules are the same on every platform the Env runs on.
//
// Threads: no state of their own except the Env's generator; safe to call
// from several threads.
#ifndef VOCS_PLATFORM_PATHS_H_
#define VOCS_PLATFORM_PATHS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vocs {

inline constexpr size_t kPathBufferSize = 260;
inline constexpr size_t kMaxPathLength = kPathBufferSize - 1;
// The parsed command's output name field holds 256 bytes with its terminator.
inline constexpr size_t kCommandNameLength = 255;

// What an output name names: a result file, or a host table, whose files
// live below the host table directory.
enum class OutputTarget { kFile, kTable };

struct PathStyle {
  char separator;
  bool (*is_absolute)(std::string_view name);
};

const PathStyle& NativePathStyle();
const PathStyle& WindowsPathStyle();

// "LOCAL_HS_DB" and the separator: the host table directory below the
// program directory.
std::string HostTableDirectoryName(const PathStyle& style = NativePathStyle());

// The program directory, ending in the separator; false when the executable's
// path cannot be read, is longer than kMaxPathLength or has no separator.
bool ProgramDirectory(std::string* directory, const PathStyle& style = NativePathStyle());

// Resolves a directory name: relative names go below the program directory (a
// name beginning with the separator brings its own), and the result ends in
// the separator. Returns the result's length and stores it in *out; 0 (out
// unchanged) when the name is empty, the executable's path cannot be read, or
// the result would not fit in `capacity` bytes with its terminator.
size_t ResolveDirectoryPath(std::string_view name, std::string* out,
                            size_t capacity = kPathBufferSize,
                            const PathStyle& style = NativePathStyle());

// The exports' output rule, on the name in place. Absolute: one trailing
// separator removed. Relative, for a table: program directory, "LOCAL_HS_DB",
// the name, the separator, the name again. Relative, for a file: program
// directory and the name. Returns 0, or -1 (name unchanged) when the name
// cannot be resolved or the result would exceed kMaxPathLength.
int ResolveExportOutputPath(std::string* name, OutputTarget target,
                            const PathStyle& style = NativePathStyle());

// The statement rule, on the parsed command's output name in place. Absolute:
// unchanged. Otherwise the program directory, for a table "LOCAL_HS_DB" and
// the separator, then the name. `target` is empty when the statement named
// an output kind that is neither a file nor a table. Returns 0;
// VOCS_E_EXECUTABLE_PATH when the executable's path has no separator (or
// cannot be read); VOCS_E_REPEATED_NAME for a relative name without a
// target; VOCS_E_OUTPUT_PATH when the result would not fit the 256-byte
// field.
int ResolveCommandOutputPath(std::string* name, std::optional<OutputTarget> target,
                             const PathStyle& style = NativePathStyle());

// The tasks' rule for the name they hand to their writer. An empty name gives
// an empty result. A relative name goes below the host table directory; an
// absolute one is kept. One trailing separator is removed. False (out
// unchanged) when the executable's path cannot be read or the result would
// exceed kMaxPathLength.
bool ResolveTaskOutputPath(std::string_view name, std::string* out,
                           const PathStyle& style = NativePathStyle());

// The directory that holds a table's load files: the table's path up to,
// not including, its last separator, followed by one separator, so "/db//t"
// gives "/db//". Empty when the path has no separator.
std::string TableLoadDirectory(std::string_view table_path,
                               const PathStyle& style = NativePathStyle());

// Appends the separator unless `directory` ends in one already. A two-byte
// character whose trail byte has the separator's value is not a separator.
void EnsureTrailingSeparator(std::string* directory,
                             const PathStyle& style = NativePathStyle());

bool DirectoryExists(const std::string& path);

// Creates the directory and any missing parents; true when it exists after.
bool MakeDirectoryTree(const std::string& path, const PathStyle& style = NativePathStyle());

// Creates a new directory parent + prefix + a number and stores its path.
bool MakeUniqueDirectory(const std::string& parent, std::string_view prefix, std::string* out);

// Creates a new empty file directory + prefix + a unique part + ".tmp" and
// stores its path; falls back to names of its own when the system call fails.
// Either way the file is created exclusively: an existing file is never
// taken or truncated.
bool MakeUniqueTempFile(const std::string& directory, std::string_view prefix,
                        std::string* out);

// Appends to `list` the non-empty pieces of `text` between characters of the
// delimiter set (two-byte characters match whole). Pieces are not trimmed.
void SplitList(std::string_view text, std::string_view delimiters,
               std::vector<std::string>* list);

}  // namespace vocs

#endif  // VOCS_PLATFORM_PATHS_H_
