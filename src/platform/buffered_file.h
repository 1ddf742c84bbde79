// BufferedWritableFile: the write buffer both platform Envs put in front of
// their files. Appends collect in a buffer of kWriteBufferSize bytes and
// reach the system in whole buffers (a larger append goes through directly);
// the first failed write makes the file fail for good, so a caller may check
// once, at Close.
//
// A platform file derives from it and supplies the two system calls. Its
// destructor must call Close(), since the base cannot reach them any more.
// One thread at a time, like every WritableFile.
#ifndef VOCS_PLATFORM_BUFFERED_FILE_H_
#define VOCS_PLATFORM_BUFFERED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace vocs {

inline constexpr size_t kWriteBufferSize = 64 * 1024;

class BufferedWritableFile : public WritableFile {
 public:
  BufferedWritableFile() { buffer_.reserve(kWriteBufferSize); }

  bool Append(std::string_view data) final;
  bool Flush() final;
  bool Close() final;
  uint64_t Position() const final { return position_; }

 protected:
  // Writes all n bytes or fails.
  virtual bool WriteToSystem(const char* data, size_t n) = 0;
  // Releases the system's file; false when the system reports an error.
  virtual bool CloseInSystem() = 0;

 private:
  bool FlushBuffer();
  bool Write(const char* data, size_t n);

  bool open_ = true;
  bool failed_ = false;
  uint64_t position_ = 0;
  std::string buffer_;
};

}  // namespace vocs

#endif  // VOCS_PLATFORM_BUFFERED_FILE_H_
