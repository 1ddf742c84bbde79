/* The module object a database server creates with PlugModule_CreateInstance.
 *
 * The server hands the object its callback interface (SetHostInterface) and
 * sends commands through Execute:
 *
 *   "sql!" 0 <statement> 0                  a statement of the statistics
 *                                           language (STAT WORDFREQ ... or
 *                                           STAT ASSOCIATEDFREQ ...)
 *   "r!" 0 <name> 0 <body>                  a packed request, name
 *                                           "VOCS_Frequency" or
 *                                           "VOCS_Associated" (any case)
 *
 * Packed bodies: int32 N (little-endian, unaligned), N items of
 * (text 0, int32 mode, mode text 0), int32 output kind (2 = table, other =
 * file), output name 0, and for VOCS_Frequency an int32 minimum frequency.
 *
 * Execute returns 0 or a negative code of vocs/errors.h. Commands run
 * synchronously on the caller's thread; several may run at once on one
 * module. The object has nine operations at fixed positions; position 8
 * destroys it (bit 0 of the flag: free the memory) and is not a C++ virtual
 * destructor. Release (position 0) destroys and frees it. */
#ifndef VOCS_MODULE_H_
#define VOCS_MODULE_H_

#include <stdint.h>

#include "vocs/host_interface.h"
#include "vocs/vocs.h"

#if defined(_WIN32) && !defined(_WIN64)
#define VOCS_MODCALL __thiscall
#else
#define VOCS_MODCALL
#endif

#ifdef __cplusplus

class PlugModuleInterface {
 public:
  virtual void VOCS_MODCALL Release() = 0;                                      /* 0 */
  virtual void VOCS_MODCALL Reserved1() = 0;                                    /* 1 */
  virtual int32_t VOCS_MODCALL Execute(const char* request, int32_t value1, int32_t value2,
                                       int32_t value3) = 0;                     /* 2 */
  virtual bool VOCS_MODCALL Reserved3() = 0;                                    /* 3 */
  virtual void VOCS_MODCALL Reserved4(int32_t value) = 0;                       /* 4 */
  virtual bool VOCS_MODCALL Reserved5(int32_t value) = 0;                       /* 5 */
  virtual void VOCS_MODCALL SetHostInterface(HostInterface* host) = 0;          /* 6 */
  virtual void VOCS_MODCALL SetHostValue(int32_t value) = 0;                    /* 7 */
  virtual PlugModuleInterface* VOCS_MODCALL Destroy(int32_t flags) = 0;         /* 8 */

 protected:
  ~PlugModuleInterface() = default;
};

#else
typedef struct PlugModuleInterface PlugModuleInterface;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Creates a module named `name` and stores it in *out (null when it cannot be
 * allocated). Always returns 0. */
VOCS_EXPORT int32_t VOCS_CALL PlugModule_CreateInstance(const char* name,
                                                        PlugModuleInterface** out);

typedef int32_t(VOCS_CALL* PlugModuleCreateFunction)(const char* name,
                                                     PlugModuleInterface** out);

#ifdef __cplusplus
}
#endif

#endif /* VOCS_MODULE_H_ */
