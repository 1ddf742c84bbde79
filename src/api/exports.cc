// The exported functions of libvocs.so: extern "C" trampolines that run the
// C++ side (api/export_calls.h) behind the boundary guard. Nothing else
// belongs here.
#include "api/boundary_guard.h"
#include "api/export_calls.h"
#include "vocs/vocs.h"

extern "C" {

VOCS_EXPORT int32_t VOCS_CALL VOCS_Frequency(const char* query, const char* fields, int32_t mode,
                                             const char* modeText, int32_t minFreq,
                                             int32_t outputKind, const char* outputName,
                                             HostInterface* host) {
  return vocs::GuardBoundary([&] {
    return vocs::ExportFrequency(query, fields, mode, modeText, minFreq, outputKind, outputName,
                                 host);
  });
}

VOCS_EXPORT int32_t VOCS_CALL VOCS_Frequency2(const char* text, int32_t textLength, int32_t mode,
                                              const char* modeText, int32_t minFreq,
                                              int32_t outputKind, const char* outputName,
                                              HostInterface* host) {
  return vocs::GuardBoundary([&] {
    return vocs::ExportFrequency2(text, textLength, mode, modeText, minFreq, outputKind, outputName,
                                  host);
  });
}

VOCS_EXPORT int32_t VOCS_CALL VOCS_Together(const char* query, const char* firstField,
                                            int32_t firstMode, const char* firstModeText,
                                            const char* secondField, int32_t secondMode,
                                            const char* secondModeText, int32_t minFreq,
                                            int32_t outputKind, const char* outputName,
                                            HostInterface* host) {
  return vocs::GuardBoundary([&] {
    return vocs::ExportTogether(query, firstField, firstMode, firstModeText, secondField,
                                secondMode, secondModeText, minFreq, outputKind, outputName, host);
  });
}

VOCS_EXPORT int32_t VOCS_CALL VOCS_Together2(const char* firstText, int32_t firstLength,
                                             int32_t firstMode, const char* firstModeText,
                                             const char* secondText, int32_t secondLength,
                                             int32_t secondMode, const char* secondModeText,
                                             int32_t minFreq, int32_t outputKind,
                                             const char* outputName, HostInterface* host) {
  return vocs::GuardBoundary([&] {
    return vocs::ExportTogether2(firstText, firstLength, firstMode, firstModeText, secondText,
                                 secondLength, secondMode, secondModeText, minFreq, outputKind,
                                 outputName, host);
  });
}

VOCS_EXPORT int32_t VOCS_CALL VOCS_GetTempPath(char* dst, int32_t dstSize) {
  return vocs::GuardBoundary([&] { return vocs::GetTempPathSetting(dst, dstSize); });
}

VOCS_EXPORT int32_t VOCS_CALL VOCS_SetTempPath(const char* path) {
  return vocs::GuardBoundary([&] { return vocs::SetTempPathSetting(path); });
}

}  // extern "C"
