#include "support/c_host.h"

#include <stdio.h>
#include <string.h>

/* The module calls the host's operations as C++ member functions. On 32-bit
 * Windows that is the this-call convention: the object in ECX, the other
 * arguments on the stack, removed by the callee. C has no such convention,
 * but __fastcall comes down to it when its second register parameter (EDX)
 * is a dummy that the caller never sets: the object arrives in ECX and the
 * rest on the stack, which the callee clears. MSVC's C compiler takes the
 * same spelling. Elsewhere the object is an ordinary first argument. */
#if defined(_WIN32) && !defined(_WIN64)
#if defined(__GNUC__)
#define C_HOST_UNUSED __attribute__((unused))
#else
#define C_HOST_UNUSED
#endif
#define C_HOST_CALL __fastcall
#define C_HOST_SELF CHost *h, void *unused_edx C_HOST_UNUSED
#else
#define C_HOST_CALL
#define C_HOST_SELF CHost *h
#endif

static void Append(CHost* h, const char* entry) {
  size_t used = strlen(h->log);
  size_t room = sizeof(h->log) - used - 1;
  strncat(h->log, entry, room);
}

static int32_t C_HOST_CALL Reserved(C_HOST_SELF) {
  h->wrong_slot_calls++;
  return -1;
}

static int32_t C_HOST_CALL GetFieldDescriptors(C_HOST_SELF, const char* table, void* descriptors,
                                               int32_t* size) {
  char entry[512];
  snprintf(entry, sizeof entry, "getFieldDescriptors(%s,%d);", table, (int)*size);
  Append(h, entry);
  if (*size >= VOCS_FIELD_DESCRIPTOR_SIZE) {
    unsigned char* d = (unsigned char*)descriptors;
    int32_t id = 11, length = 16;
    strcpy((char*)d, "word");
    memcpy(d + VOCS_FIELD_DESCRIPTOR_ID_OFFSET, &id, 4);
    memcpy(d + VOCS_FIELD_DESCRIPTOR_LENGTH_OFFSET, &length, 4);
  }
  return 0;
}

static int32_t C_HOST_CALL GetFieldTypeText(C_HOST_SELF, int32_t field_id, char* buffer,
                                            int32_t* size) {
  char entry[128];
  snprintf(entry, sizeof entry, "getFieldTypeText(%d,%d);", (int)field_id, (int)*size);
  Append(h, entry);
  strcpy(buffer, "CHAR");
  return 0;
}

static int32_t C_HOST_CALL GetFieldCount(C_HOST_SELF, const char* table) {
  char entry[512];
  snprintf(entry, sizeof entry, "getFieldCount(%s);", table);
  Append(h, entry);
  return 1;
}

static int32_t C_HOST_CALL RunStatement(C_HOST_SELF, const char* text, int32_t flag,
                                        ResultHandle* handle) {
  char entry[1024];
  snprintf(entry, sizeof entry, "runStatement(%s,%d);", text, (int)flag);
  Append(h, entry);
  if (flag == 0) {
    handle->id = 5;
    handle->count = h->row_count;
    handle->extra = 99;
  } else {
    handle->id = h->statement_id;
  }
  return 0;
}

static int32_t C_HOST_CALL CloseResult(C_HOST_SELF, ResultHandle handle) {
  char entry[128];
  snprintf(entry, sizeof entry, "closeResult(%d,%d,%d);", (int)handle.id, (int)handle.count,
           (int)handle.extra);
  Append(h, entry);
  return 0;
}

static int32_t C_HOST_CALL ReadField(C_HOST_SELF, ResultHandle handle, int32_t field,
                                     int32_t record, char* buffer, int32_t* length, int32_t r1,
                                     int32_t r2) {
  char entry[256];
  const char* value;
  size_t n;
  snprintf(entry, sizeof entry, "readField(%d,%d,%d,%d,%d,%d,%d);", (int)handle.id,
           (int)handle.extra, (int)field, (int)record, (int)*length, (int)r1, (int)r2);
  Append(h, entry);
  if (record < 0 || record >= h->row_count || field < 0 || field >= h->column_count) return -8;
  value = h->values[record][field];
  n = strlen(value);
  if ((int32_t)n > *length) {
    *length = (int32_t)n;
    return VOCS_HOST_BUFFER_TOO_SMALL;
  }
  memcpy(buffer, value, n + 1);
  *length = (int32_t)n;
  return 0;
}

static int32_t C_HOST_CALL ResolveField(C_HOST_SELF, ResultHandle handle, const char* name,
                                        int32_t r) {
  char entry[512];
  int i;
  snprintf(entry, sizeof entry, "resolveField(%d,%s,%d);", (int)handle.id, name, (int)r);
  Append(h, entry);
  for (i = 0; i < h->column_count; ++i) {
    if (strcmp(h->columns[i], name) == 0) return i;
  }
  return -2001;
}

/* Upper-cases ASCII, so a test can see that the converted text was used. */
static int32_t C_HOST_CALL ConvertText(C_HOST_SELF, const char* source, char* destination,
                                       int32_t* length) {
  char entry[512];
  size_t i, n = strlen(source);
  snprintf(entry, sizeof entry, "convertText(%s);", source);
  Append(h, entry);
  if ((int32_t)n >= *length) return -1;
  for (i = 0; i <= n; ++i) {
    char c = source[i];
    destination[i] = (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
  }
  return 0;
}

static void* c_host_table[VOCS_HOST_SLOT_COUNT];

void CHost_Init(CHost* host) {
  int i;
  for (i = 0; i < VOCS_HOST_SLOT_COUNT; ++i) c_host_table[i] = (void*)&Reserved;
  c_host_table[33] = (void*)&GetFieldDescriptors;
  c_host_table[35] = (void*)&GetFieldTypeText;
  c_host_table[36] = (void*)&GetFieldCount;
  c_host_table[51] = (void*)&RunStatement;
  c_host_table[52] = (void*)&CloseResult;
  c_host_table[60] = (void*)&ReadField;
  c_host_table[66] = (void*)&ResolveField;
  c_host_table[67] = (void*)&ConvertText;
  memset(host, 0, sizeof *host);
  host->vtable = c_host_table;
  host->statement_id = 1;
}
