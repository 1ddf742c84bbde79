// The C++ side of the six exported functions of vocs/vocs.h.
//
// exports.cc holds only the extern "C" trampolines; everything they do
// happens here, in ordinary C++ that the tests can call in-process (with a
// FaultInjectionEnv in place) and that may throw std::bad_alloc, which the
// trampolines turn into VOCS_E_OUT_OF_MEMORY.
//
// The four statistics calls share one sequence: validate the arguments
// (VOCS_E_BAD_ARGUMENT before anything is built), resolve the temporary path
// setting with ResolveDirectoryPath into the task's temporary directory,
// resolve the output name with ResolveExportOutputPath (VOCS_E_OUTPUT_PATH
// when that fails), describe the sources and hand the whole to RunStatistics.
// outputKind kExportTableOutput selects a table writer, any other value a
// file writer; the writer keeps the mode kAllFields.
//
// The temporary path setting is one process-wide value, "interpath" until
// SetTempPathSetting succeeds. It is not guarded: it must not change while a
// statistics call or GetTempPathSetting runs on another thread.
#ifndef VOCS_API_EXPORT_CALLS_H_
#define VOCS_API_EXPORT_CALLS_H_

#include <cstdint>

#include "vocs/host_interface.h"

namespace vocs {

// The outputKind argument of the statistics exports.
enum ExportOutputKind : int32_t {
  kExportFileOutput = 0,   // (so is every value but kExportTableOutput)
  kExportTableOutput = 1,
};

// Term frequency over the comma-separated `fields` of the query's records;
// empty pieces of the list are skipped.
int32_t ExportFrequency(const char* query, const char* fields, int32_t mode, const char* mode_text,
                        int32_t min_freq, int32_t output_kind, const char* output_name,
                        HostInterface* host);

// Term frequency over one buffer (text_length -1: up to the 0 byte).
int32_t ExportFrequency2(const char* text, int32_t text_length, int32_t mode, const char* mode_text,
                         int32_t min_freq, int32_t output_kind, const char* output_name,
                         HostInterface* host);

// Term co-occurrence within the first field, or across both fields when the
// second is non-empty.
int32_t ExportTogether(const char* query, const char* first_field, int32_t first_mode,
                       const char* first_mode_text, const char* second_field, int32_t second_mode,
                       const char* second_mode_text, int32_t min_freq, int32_t output_kind,
                       const char* output_name, HostInterface* host);

// Term co-occurrence within the first buffer, or across both buffers when the
// second is non-empty.
int32_t ExportTogether2(const char* first_text, int32_t first_length, int32_t first_mode,
                        const char* first_mode_text, const char* second_text, int32_t second_length,
                        int32_t second_mode, const char* second_mode_text, int32_t min_freq,
                        int32_t output_kind, const char* output_name, HostInterface* host);

// Copies the setting into dst (at most dst_size - 1 bytes and a 0 byte) and
// returns the bytes copied; with a null dst, returns the setting's length. A
// dst_size below 1 writes nothing and returns 0.
int32_t GetTempPathSetting(char* dst, int32_t dst_size);

// Resolves path with ResolveDirectoryPath into the setting and returns the
// setting's new length. A null or empty path, or one that cannot be
// resolved, returns 0 and keeps the setting.
int32_t SetTempPathSetting(const char* path);

}  // namespace vocs

#endif  // VOCS_API_EXPORT_CALLS_H_
