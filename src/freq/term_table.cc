#include "freq/term_table.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "sorted_run/radix_sort.h"
#include "text/order_prefix.h"

namespace vocs {

namespace {

constexpr size_t kInitialSlots = 1 << 12;
// Up to this many terms the spill order is radix sorted, which takes room
// again as large as the sort keys; past it a comparison sort in place keeps
// the peak of a table at the spill threshold lower.
constexpr size_t kRadixSortLimit = size_t{1} << 21;

inline uint64_t Load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

// The 128-bit product of a and b with its two halves folded together by
// xor: each bit of the result depends on every bit of a (b being an odd
// constant). One multiplication where a chain of multiplications and shifts
// would wait on each other: the hash runs once for every term read.
inline uint64_t FoldedMultiply(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
  __extension__ using Wide = unsigned __int128;
  const Wide product = static_cast<Wide>(a) * b;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
#else
  const uint64_t a_low = a & 0xFFFFFFFFu, a_high = a >> 32;
  const uint64_t b_low = b & 0xFFFFFFFFu, b_high = b >> 32;
  const uint64_t low_low = a_low * b_low, high_low = a_high * b_low;
  const uint64_t low_high = a_low * b_high, high_high = a_high * b_high;
  const uint64_t cross = (low_low >> 32) + (high_low & 0xFFFFFFFFu) + low_high;
  const uint64_t upper = (high_low >> 32) + (cross >> 32) + high_high;
  const uint64_t lower = (cross << 32) | (low_low & 0xFFFFFFFFu);
  return upper ^ lower;
#endif
}

constexpr uint64_t kLengthSeed = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kWordFactor = 0xD6E8FEB86659FD93ull;
constexpr uint64_t kLastFactor = 0xC4CEB9FE1A85EC53ull;

}  // namespace

uint32_t HashTerm(std::string_view term) {
  const char* p = term.data();
  size_t n = term.size();
  // The length enters first, so that terms that differ only by trailing 0
  // bytes (the same padded words) hash apart.
  uint64_t h = static_cast<uint64_t>(n) * kLengthSeed;
  while (n > 8) {
    h = FoldedMultiply(h ^ Load8(p), kWordFactor);
    p += 8;
    n -= 8;
  }
  h = FoldedMultiply(h ^ LoadPaddedWord(p, n), kLastFactor);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

TermTable::TermTable()
    : slots_(MakeTableArray<Slot>(kInitialSlots)), mask_(kInitialSlots - 1) {}

TermTable::~TermTable() = default;

const char* TermTable::LongBytes(const Slot& slot, uint32_t* length) {
  const char* data;
  std::memcpy(&data, &slot.key, sizeof(data));
  std::memcpy(length, data, sizeof(*length));
  return data + sizeof(*length);
}

bool TermTable::SameLongTerm(const Slot& slot, std::string_view term) {
  uint32_t length;
  const char* bytes = LongBytes(slot, &length);
  return length == term.size() && std::memcmp(bytes, term.data(), term.size()) == 0;
}

TermTable::Slot* TermTable::Locate(std::string_view term, uint32_t hash) const {
  const uint16_t shape = ShapeOf(term);
  if (shape != kLong) {
    // An inline term is its padded word and its length: no bytes elsewhere.
    const uint64_t key = LoadPaddedWord(term.data(), term.size());
    for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
      Slot* slot = &slots_[i];
      if (slot->key == key && (slot->shape & kShapeMask) == shape) return slot;
      if (slot->shape == 0) return slot;
    }
  }
  for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
    Slot* slot = &slots_[i];
    if (slot->shape == 0) return slot;
    if (slot->hash == hash && (slot->shape & kShapeMask) == kLong && SameLongTerm(*slot, term)) {
      return slot;
    }
  }
}

void TermTable::Count(std::string_view term, uint32_t hash, int32_t record) {
  Slot* slot = Locate(term, hash);
  if (slot->shape == 0) {
    Insert(slot, term, hash, record);
    return;
  }
  if (slot->shape & kWide) {
    CountWide(&wide_[slot->total], record);
    return;
  }
  if (slot->total == total_limit_ || (slot->last_record == record && slot->current == count_limit_)) {
    Widen(slot);
    CountWide(&wide_[slot->total], record);
    return;
  }
  ++slot->total;
  if (slot->last_record == record) {
    ++slot->current;
    return;
  }
  // First occurrence in a new record: fold the finished one.
  if (slot->current > slot->max_count) slot->max_count = slot->current;
  if (slot->min_count == 0 || slot->current < slot->min_count) slot->min_count = slot->current;
  ++slot->records;
  slot->current = 1;
  slot->last_record = record;
}

void TermTable::CountWide(TermStats* s, int32_t record) {
  ++s->total;
  if (s->lastRecord == record) {
    ++s->currentCount;
    return;
  }
  if (s->currentCount > s->maxCount) s->maxCount = s->currentCount;
  if (s->currentCount < s->minCount) s->minCount = s->currentCount;
  ++s->records;
  s->currentCount = 1;
  s->lastRecord = record;
}

void TermTable::Insert(Slot* slot, std::string_view term, uint32_t hash, int32_t record) {
  // Keep the load factor at or below 0.7 so probes stay short.
  if ((size_ + 1) * 10 > (mask_ + 1) * 7) {
    Grow();
    slot = Locate(term, hash);
  }
  Slot fresh{};
  fresh.hash = hash;
  fresh.total = 1;
  fresh.records = 1;
  fresh.last_record = record;
  fresh.current = 1;
  fresh.shape = ShapeOf(term);
  if (fresh.shape == kLong) {
    const char* data = CopyToArena(term);
    std::memcpy(&fresh.key, &data, sizeof(data));
  } else {
    fresh.key = LoadPaddedWord(term.data(), term.size());
  }
  *slot = fresh;
  ++size_;
}

void TermTable::Widen(Slot* slot) {
  TermStats wide;
  wide.total = slot->total;
  wide.records = slot->records;
  wide.maxCount = slot->max_count;
  wide.minCount = slot->min_count == 0 ? std::numeric_limits<int64_t>::max() : slot->min_count;
  wide.currentCount = slot->current;
  wide.lastRecord = slot->last_record;
  slot->total = static_cast<uint32_t>(wide_.size());
  slot->shape = static_cast<uint16_t>(slot->shape | kWide);
  wide_.push_back(wide);
}

std::optional<TermStats> TermTable::Find(std::string_view term) const {
  const Slot* slot = Locate(term, HashTerm(term));
  if (slot->shape == 0) return std::nullopt;
  return Stats(static_cast<uint32_t>(slot - slots_.get()));
}

bool TermTable::IsWideForTesting(std::string_view term) const {
  const Slot* slot = Locate(term, HashTerm(term));
  return (slot->shape & kWide) != 0;
}

TermStats TermTable::Stats(uint32_t position) const {
  const Slot& slot = slots_[position];
  if (slot.shape & kWide) return wide_[slot.total];
  TermStats stats;
  stats.total = slot.total;
  stats.records = slot.records;
  stats.maxCount = slot.max_count;
  stats.minCount = slot.min_count == 0 ? std::numeric_limits<int64_t>::max() : slot.min_count;
  stats.currentCount = slot.current;
  stats.lastRecord = slot.last_record;
  return stats;
}

void TermTable::FoldPendingCounts() {
  for (size_t i = 0; i <= mask_; ++i) {
    Slot& slot = slots_[i];
    if (slot.shape == 0) continue;
    if (slot.shape & kWide) {
      TermStats& s = wide_[slot.total];
      if (s.currentCount > s.maxCount) s.maxCount = s.currentCount;
      if (s.currentCount < s.minCount) s.minCount = s.currentCount;
      continue;
    }
    if (slot.current > slot.max_count) slot.max_count = slot.current;
    if (slot.min_count == 0 || slot.current < slot.min_count) slot.min_count = slot.current;
  }
}

const char* TermTable::CopyToArena(std::string_view term) {
  // A long term is stored as its length, then its bytes.
  const uint32_t length = static_cast<uint32_t>(term.size());
  const size_t bytes = sizeof(length) + term.size();
  char* data;
  if (bytes > kArenaBlockSize) {
    // A term larger than a whole block gets a block of its own, placed before
    // the block being filled so that filling goes on where it was.
    auto block = std::make_unique_for_overwrite<char[]>(bytes);
    data = block.get();
    arena_blocks_.insert(arena_blocks_.begin() + static_cast<ptrdiff_t>(arena_block_),
                         std::move(block));
    ++arena_block_;
  } else {
    if (arena_block_ >= arena_blocks_.size() || arena_used_ + bytes > kArenaBlockSize) {
      if (arena_block_ < arena_blocks_.size()) ++arena_block_;
      arena_used_ = 0;
      if (arena_block_ >= arena_blocks_.size()) {
        arena_blocks_.push_back(std::make_unique_for_overwrite<char[]>(kArenaBlockSize));
      }
    }
    data = arena_blocks_[arena_block_].get() + arena_used_;
    arena_used_ += bytes;
  }
  std::memcpy(data, &length, sizeof(length));
  std::memcpy(data + sizeof(length), term.data(), term.size());
  return data;
}

void TermTable::Grow() {
  const size_t count = (mask_ + 1) * 2;
  TableArray<Slot> bigger = MakeTableArray<Slot>(count);
  const size_t mask = count - 1;
  for (size_t r = 0; r <= mask_; ++r) {
    const Slot& slot = slots_[r];
    if (slot.shape == 0) continue;
    size_t i = slot.hash & mask;
    while (bigger[i].shape != 0) i = (i + 1) & mask;
    bigger[i] = slot;
  }
  slots_.swap(bigger);
  mask_ = mask;
}

std::string_view TermTable::Term(uint32_t position) const {
  const Slot& slot = slots_[position];
  const uint16_t shape = slot.shape & kShapeMask;
  if (shape == kLong) {
    uint32_t length;
    const char* bytes = LongBytes(slot, &length);
    return std::string_view(bytes, length);
  }
  // The key's bytes in memory are the term's, padded: on any byte order.
  return std::string_view(reinterpret_cast<const char*>(&slot.key), shape - 1u);
}

void TermTable::SortedOrder(std::vector<uint32_t>* order) const {
  struct Key {
    uint64_t prefix;
    uint32_t position;
  };
  std::vector<Key> keys(size_);
  size_t k = 0;
  for (size_t i = 0; i <= mask_; ++i) {
    if (slots_[i].shape == 0) continue;
    const uint32_t position = static_cast<uint32_t>(i);
    keys[k++] = Key{OrderPrefix(Term(position)), position};
  }
  // Equal first eight bytes (zero-padded): the whole terms decide.
  auto by_term = [this](const Key& a, const Key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return Term(a.position) < Term(b.position);
  };
  if (size_ <= kRadixSortLimit) {
    // Radix sort by prefix, then the terms of each run of equal prefixes.
    std::vector<Key> room(size_);
    Key* sorted = RadixSortByKey(keys.data(), room.data(), size_, 64,
                                 [](const Key& key) { return key.prefix; });
    for (size_t begin = 0; begin < size_;) {
      size_t end = begin + 1;
      while (end < size_ && sorted[end].prefix == sorted[begin].prefix) ++end;
      if (end - begin > 1) std::sort(sorted + begin, sorted + end, by_term);
      begin = end;
    }
    order->resize(size_);
    for (size_t i = 0; i < size_; ++i) (*order)[i] = sorted[i].position;
    return;
  }
  std::sort(keys.begin(), keys.end(), by_term);
  order->resize(size_);
  for (size_t i = 0; i < size_; ++i) (*order)[i] = keys[i].position;
}

void TermTable::Clear() {
  if (size_ == 0) return;
  std::fill(slots_.get(), slots_.get() + mask_ + 1, Slot{});
  size_ = 0;
  wide_.clear();
  arena_block_ = 0;
  arena_used_ = 0;
}

size_t TermTable::MemoryUsage() const {
  return (mask_ + 1) * sizeof(Slot) + wide_.capacity() * sizeof(TermStats) +
         arena_blocks_.size() * kArenaBlockSize;
}

}  // namespace vocs
