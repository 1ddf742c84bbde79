/* A host written in C: a plain table of 68 function pointers that take the
 * object as the member functions of the C++ class do (the this-call
 * convention on 32-bit Windows, see c_host.c), without any C++ class. It pins the slot positions
 * of HostInterface from outside C++: the module calls it through the C++
 * class, and every call must land on the intended function with the intended
 * arguments.
 *
 * It serves a small table from memory and appends every call to `log` as
 * "name(arg,arg,...);". A call through any other slot counts in
 * `wrong_slot_calls`. */
#ifndef VOCS_TESTS_SUPPORT_C_HOST_H_
#define VOCS_TESTS_SUPPORT_C_HOST_H_

#include <stdint.h>

#include "vocs/host_interface.h"

#ifdef __cplusplus
extern "C" {
#endif

#define C_HOST_MAX_COLUMNS 4
#define C_HOST_MAX_ROWS 8

typedef struct CHost {
  void* const* vtable; /* must come first: the object's table pointer */
  int column_count;
  const char* columns[C_HOST_MAX_COLUMNS];
  int row_count;
  const char* values[C_HOST_MAX_ROWS][C_HOST_MAX_COLUMNS];
  int32_t statement_id; /* id answered to module statements */
  char log[8192];
  int wrong_slot_calls;
} CHost;

void CHost_Init(CHost* host);

#ifdef __cplusplus
}
#endif

#endif /* VOCS_TESTS_SUPPORT_C_HOST_H_ */
