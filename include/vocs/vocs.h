/* The statistics functions that libvocs.so exports, for C and C++ programs
 * that load or link the module.
 *
 * Each statistics call runs synchronously on the caller's thread: it builds a
 * task, a writer and a job, runs them and destroys them, and returns 0 or a
 * negative code of vocs/errors.h. Strings are 0-terminated byte strings in
 * code page 936 (GBK).
 *
 *   mode        0 NONE (the whole trimmed text is one term), 1 SEGASCOL (cut
 *               at the characters of modeText, which must be non-empty),
 *               2 NORMAL (the host converts the text, cut at "/")
 *   outputKind  1: a new host table; any other value: a tab-separated file
 *   outputName  relative names resolve in the program directory (tables below
 *               "LOCAL_HS_DB")
 *   host        the host's callback object; the query variants read records
 *               through it, table output is created through it
 *
 * The temporary path setting (VOCS_SetTempPath) is process-wide and unguarded:
 * do not change it while a statistics call runs on another thread. */
#ifndef VOCS_VOCS_H_
#define VOCS_VOCS_H_

#include <stdint.h>

#include "vocs/errors.h"
#include "vocs/host_interface.h"

#if defined(_WIN32)
#define VOCS_EXPORT __declspec(dllexport)
#define VOCS_CALL __cdecl
#else
#define VOCS_EXPORT __attribute__((visibility("default")))
#define VOCS_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Term frequency over the fields (a comma-separated list) of the query's
 * records. */
VOCS_EXPORT int32_t VOCS_CALL VOCS_Frequency(const char* query, const char* fields,
                                             int32_t mode, const char* modeText,
                                             int32_t minFreq, int32_t outputKind,
                                             const char* outputName, HostInterface* host);

/* Term frequency over one buffer; textLength -1 reads up to the 0 byte. */
VOCS_EXPORT int32_t VOCS_CALL VOCS_Frequency2(const char* text, int32_t textLength,
                                              int32_t mode, const char* modeText,
                                              int32_t minFreq, int32_t outputKind,
                                              const char* outputName, HostInterface* host);

/* Term co-occurrence within one field, or across two fields, of the query's
 * records. */
VOCS_EXPORT int32_t VOCS_CALL VOCS_Together(const char* query, const char* firstField,
                                            int32_t firstMode, const char* firstModeText,
                                            const char* secondField, int32_t secondMode,
                                            const char* secondModeText, int32_t minFreq,
                                            int32_t outputKind, const char* outputName,
                                            HostInterface* host);

/* Term co-occurrence within one buffer, or across two buffers. */
VOCS_EXPORT int32_t VOCS_CALL VOCS_Together2(const char* firstText, int32_t firstLength,
                                             int32_t firstMode, const char* firstModeText,
                                             const char* secondText, int32_t secondLength,
                                             int32_t secondMode, const char* secondModeText,
                                             int32_t minFreq, int32_t outputKind,
                                             const char* outputName, HostInterface* host);

/* Copies the temporary path setting ("interpath" until set) into dst and
 * returns the bytes copied; with a null dst, returns its length. */
VOCS_EXPORT int32_t VOCS_CALL VOCS_GetTempPath(char* dst, int32_t dstSize);

/* Resolves path to an absolute directory (ending in the separator), stores it
 * as the temporary path setting and returns its length; 0 for an empty path,
 * which keeps the setting. */
VOCS_EXPORT int32_t VOCS_CALL VOCS_SetTempPath(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* VOCS_VOCS_H_ */
