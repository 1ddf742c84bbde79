#include "support/c_host.h"

#include <stdio.h>
#include <string.h>

static void Append(CHost* h, const char* entry) {
  size_t used = strlen(h->log);
  size_t room = sizeof(h->log) - used - 1;
  strncat(h->log, entry, room);
}

static int32_t Reserved(CHost* h) {
  h->wrong_slot_calls++;
  return -1;
}

static int32_t GetFieldDescriptors(CHost* h, const char* table, void* descriptors,
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

static int32_t GetFieldTypeText(CHost* h, int32_t field_id, char* buffer, int32_t* size) {
  char entry[128];
  snprintf(entry, sizeof entry, "getFieldTypeText(%d,%d);", (int)field_id, (int)*size);
  Append(h, entry);
  strcpy(buffer, "CHAR");
  return 0;
}

static int32_t GetFieldCount(CHost* h, const char* table) {
  char entry[512];
  snprintf(entry, sizeof entry, "getFieldCount(%s);", table);
  Append(h, entry);
  return 1;
}

static int32_t RunStatement(CHost* h, const char* text, int32_t flag, ResultHandle* handle) {
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

static int32_t CloseResult(CHost* h, ResultHandle handle) {
  char entry[128];
  snprintf(entry, sizeof entry, "closeResult(%d,%d,%d);", (int)handle.id, (int)handle.count,
           (int)handle.extra);
  Append(h, entry);
  return 0;
}

static int32_t ReadField(CHost* h, ResultHandle handle, int32_t field, int32_t record,
                         char* buffer, int32_t* length, int32_t r1, int32_t r2) {
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

static int32_t ResolveField(CHost* h, ResultHandle handle, const char* name, int32_t r) {
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
static int32_t ConvertText(CHost* h, const char* source, char* destination, int32_t* length) {
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
