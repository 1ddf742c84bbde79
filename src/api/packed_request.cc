#include "api/packed_request.h"

#include <cstring>

namespace vocs {

namespace {

int32_t LoadLittleEndian32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                              static_cast<uint32_t>(b[2]) << 16 |
                              static_cast<uint32_t>(b[3]) << 24);
}

// Reads fields in order from [position, end).
class BodyReader {
 public:
  BodyReader(const char* position, const char* end) : position_(position), end_(end) {}

  bool ReadInt(int32_t* value) {
    if (end_ - position_ < 4) return false;
    *value = LoadLittleEndian32(position_);
    position_ += 4;
    return true;
  }

  bool ReadString(std::string* value) {
    const void* nul = std::memchr(position_, '\0', static_cast<size_t>(end_ - position_));
    if (nul == nullptr) return false;
    const char* stop = static_cast<const char*>(nul);
    value->assign(position_, stop);
    position_ = stop + 1;
    return true;
  }

 private:
  const char* position_;
  const char* end_;
};

}  // namespace

bool DecodePackedBody(const char* body, const char* end, bool has_min_frequency,
                      PackedRequest* request) {
  if (body == nullptr || end < body) return false;
  BodyReader reader(body, end);
  int32_t count = 0;
  if (!reader.ReadInt(&count)) return false;
  for (int32_t i = 0; i < count; ++i) {
    PackedItem item;
    if (!reader.ReadString(&item.text) || !reader.ReadInt(&item.mode) ||
        !reader.ReadString(&item.modeText)) {
      return false;
    }
    request->items.push_back(std::move(item));
  }
  if (!reader.ReadInt(&request->outputKind) || !reader.ReadString(&request->outputName)) {
    return false;
  }
  if (has_min_frequency && !reader.ReadInt(&request->minFrequency)) return false;
  return true;
}

const char* MeasurePackedBody(const char* body, bool has_min_frequency) {
  const char* p = body;
  const int32_t count = LoadLittleEndian32(p);
  p += 4;
  for (int32_t i = 0; i < count; ++i) {
    p += std::strlen(p) + 1;
    p += 4;
    p += std::strlen(p) + 1;
  }
  p += 4;
  p += std::strlen(p) + 1;
  if (has_min_frequency) p += 4;
  return p;
}

}  // namespace vocs
