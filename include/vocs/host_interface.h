// HostInterface: the database server's callback object as the module sees it.
//
// The server owns the object and hands the module a pointer to it (through the
// module object's SetHostInterface, or as the last argument of the statistics
// exports); the module never releases it. The module calls eight operations, at
// fixed positions of the object's table of virtual operations:
//
//   33 getFieldDescriptors   35 getFieldTypeText    36 getFieldCount
//   51 runStatement          52 closeResult         60 readField
//   66 resolveField          67 convertText
//
// Every other position is a reserved placeholder that the module never calls.
// The class declares no virtual destructor, because one would take table
// positions. A host written in another language can be a plain table of 68
// function pointers, called as the platform's C++ compilers call member
// functions: on 32-bit Windows with the this-call convention (the object in
// ECX, the other arguments on the stack, removed by the callee), which a C
// host gets from __fastcall functions whose second parameter, passed in EDX,
// is a dummy; elsewhere with the object as an ordinary first argument.
//
// Threads: the module calls the host on the thread that runs the command or
// export, and adds no locking around the calls.
#ifndef VOCS_HOST_INTERFACE_H_
#define VOCS_HOST_INTERFACE_H_

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VOCS_HOSTCALL __thiscall
#else
#define VOCS_HOSTCALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// An opened query or an executed statement: three 32-bit values filled by the
// host and passed back to it by value. For a query, `id` is negative when it
// could not be opened and `count` is the number of records.
typedef struct ResultHandle {
  int32_t id;
  int32_t count;
  int32_t extra;
} ResultHandle;

// Error code a host returns from readField when the destination is too small;
// the in/out length then tells the size needed.
#define VOCS_HOST_BUFFER_TOO_SMALL (-1107)

// Size of one record filled by getFieldDescriptors: bytes 0..191 the field
// name (NUL-terminated), 192..195 the field identifier passed to
// getFieldTypeText, 196..199 the field length; the rest is not read.
#define VOCS_FIELD_DESCRIPTOR_SIZE 216
#define VOCS_FIELD_DESCRIPTOR_NAME_SIZE 192
#define VOCS_FIELD_DESCRIPTOR_ID_OFFSET 192
#define VOCS_FIELD_DESCRIPTOR_LENGTH_OFFSET 196

#define VOCS_HOST_SLOT_COUNT 68

#ifdef __cplusplus
}  // extern "C"
#else
// C programs see the host only as an opaque object (see the C host in the
// tests for a table-of-functions host).
typedef struct HostInterface HostInterface;
#endif

#ifdef __cplusplus

// Reserved slots return this and do nothing else.
#define VOCS_RESERVED_SLOT(n) \
  virtual int32_t VOCS_HOSTCALL reservedSlot##n() { return -1; }

class HostInterface {
 public:
  VOCS_RESERVED_SLOT(0)
  VOCS_RESERVED_SLOT(1)
  VOCS_RESERVED_SLOT(2)
  VOCS_RESERVED_SLOT(3)
  VOCS_RESERVED_SLOT(4)
  VOCS_RESERVED_SLOT(5)
  VOCS_RESERVED_SLOT(6)
  VOCS_RESERVED_SLOT(7)
  VOCS_RESERVED_SLOT(8)
  VOCS_RESERVED_SLOT(9)
  VOCS_RESERVED_SLOT(10)
  VOCS_RESERVED_SLOT(11)
  VOCS_RESERVED_SLOT(12)
  VOCS_RESERVED_SLOT(13)
  VOCS_RESERVED_SLOT(14)
  VOCS_RESERVED_SLOT(15)
  VOCS_RESERVED_SLOT(16)
  VOCS_RESERVED_SLOT(17)
  VOCS_RESERVED_SLOT(18)
  VOCS_RESERVED_SLOT(19)
  VOCS_RESERVED_SLOT(20)
  VOCS_RESERVED_SLOT(21)
  VOCS_RESERVED_SLOT(22)
  VOCS_RESERVED_SLOT(23)
  VOCS_RESERVED_SLOT(24)
  VOCS_RESERVED_SLOT(25)
  VOCS_RESERVED_SLOT(26)
  VOCS_RESERVED_SLOT(27)
  VOCS_RESERVED_SLOT(28)
  VOCS_RESERVED_SLOT(29)
  VOCS_RESERVED_SLOT(30)
  VOCS_RESERVED_SLOT(31)
  VOCS_RESERVED_SLOT(32)

  // Slot 33. Fills the descriptors of the table's fields into `descriptors`,
  // an array of *size_in_bytes bytes (VOCS_FIELD_DESCRIPTOR_SIZE each). The
  // result is not used.
  virtual int32_t VOCS_HOSTCALL getFieldDescriptors(const char* table_name,
                                                    void* descriptors,
                                                    int32_t* size_in_bytes) = 0;

  VOCS_RESERVED_SLOT(34)

  // Slot 35. Writes the NUL-terminated type text of a field (identified as in
  // its descriptor) into `buffer` of *buffer_size bytes; negative: no text.
  virtual int32_t VOCS_HOSTCALL getFieldTypeText(int32_t field_id, char* buffer,
                                                 int32_t* buffer_size) = 0;

  // Slot 36. Number of fields of the table; 0 or less means none.
  virtual int32_t VOCS_HOSTCALL getFieldCount(const char* table_name) = 0;

  VOCS_RESERVED_SLOT(37)
  VOCS_RESERVED_SLOT(38)
  VOCS_RESERVED_SLOT(39)
  VOCS_RESERVED_SLOT(40)
  VOCS_RESERVED_SLOT(41)
  VOCS_RESERVED_SLOT(42)
  VOCS_RESERVED_SLOT(43)
  VOCS_RESERVED_SLOT(44)
  VOCS_RESERVED_SLOT(45)
  VOCS_RESERVED_SLOT(46)
  VOCS_RESERVED_SLOT(47)
  VOCS_RESERVED_SLOT(48)
  VOCS_RESERVED_SLOT(49)
  VOCS_RESERVED_SLOT(50)

  // Slot 51. Opens a query (flag 0) or runs a module statement (flag 1) and
  // fills *handle. The result is not used: the handle's id tells success
  // (0 or more for a query; above 0 for a statement).
  virtual int32_t VOCS_HOSTCALL runStatement(const char* text, int32_t flag,
                                             ResultHandle* handle) = 0;

  // Slot 52. Releases what the handle holds. The result is not used.
  virtual int32_t VOCS_HOSTCALL closeResult(ResultHandle handle) = 0;

  VOCS_RESERVED_SLOT(53)
  VOCS_RESERVED_SLOT(54)
  VOCS_RESERVED_SLOT(55)
  VOCS_RESERVED_SLOT(56)
  VOCS_RESERVED_SLOT(57)
  VOCS_RESERVED_SLOT(58)
  VOCS_RESERVED_SLOT(59)

  // Slot 60. Copies the text of one field of one record into `buffer`
  // (*length in: usable size; out: text length) followed by a 0 byte.
  // VOCS_HOST_BUFFER_TOO_SMALL: *length tells the size needed. Other negative
  // results are errors. The last two arguments are always 0.
  virtual int32_t VOCS_HOSTCALL readField(ResultHandle handle, int32_t field,
                                          int32_t record, char* buffer,
                                          int32_t* length, int32_t reserved1,
                                          int32_t reserved2) = 0;

  VOCS_RESERVED_SLOT(61)
  VOCS_RESERVED_SLOT(62)
  VOCS_RESERVED_SLOT(63)
  VOCS_RESERVED_SLOT(64)
  VOCS_RESERVED_SLOT(65)

  // Slot 66. Field number (0 or more) of `name` in the result, or a negative
  // error code. The last argument is always 0.
  virtual int32_t VOCS_HOSTCALL resolveField(ResultHandle handle,
                                             const char* name,
                                             int32_t reserved) = 0;

  // Slot 67. Converts `source` (NUL-terminated) into terms separated by "/",
  // written NUL-terminated into `destination` of *length bytes. 0: success.
  virtual int32_t VOCS_HOSTCALL convertText(const char* source,
                                            char* destination,
                                            int32_t* length) = 0;

 protected:
  // Not virtual on purpose (see above); hosts are never deleted through the
  // interface.
  ~HostInterface() = default;
};

#undef VOCS_RESERVED_SLOT

#endif  // __cplusplus

#endif  // VOCS_HOST_INTERFACE_H_
