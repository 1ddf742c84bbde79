#include "freq/term_table.h"

#include <algorithm>
#include <cstring>
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

bool TermTable::SameTerm(const Entry& entry, std::string_view term) {
  if (entry.length != term.size()) return false;
  if (term.size() <= kInlineBytes) {
    // The stored term is zero-padded to the inline size; the probe's words
    // are padded the same way: two word compares.
    const size_t n = term.size();
    uint64_t a;
    uint32_t c;
    std::memcpy(&a, entry.bytes, 8);
    std::memcpy(&c, entry.bytes + 8, 4);
    const uint64_t b = LoadPaddedWord(term.data(), n < 8 ? n : 8);
    const uint64_t d = n > 8 ? LoadPaddedWord(term.data() + 8, n - 8) : 0;
    return a == b && c == d;
  }
  const char* data;
  std::memcpy(&data, entry.bytes, sizeof(data));
  return std::memcmp(data, term.data(), term.size()) == 0;
}

void TermTable::PrefetchSlot(uint32_t hash) const {
#if defined(__GNUC__)
  __builtin_prefetch(&slots_[hash & mask_]);
#else
  (void)hash;
#endif
}

void TermTable::PrefetchEntry(uint32_t hash) const {
#if defined(__GNUC__)
  const Slot& slot = slots_[hash & mask_];
  if (slot.hash == hash && slot.entry_plus_one != 0) {
    __builtin_prefetch(&EntryAt(slot.entry_plus_one - 1));
  }
#else
  (void)hash;
#endif
}

void TermTable::PrefetchIndex(uint32_t index) const {
#if defined(__GNUC__)
  __builtin_prefetch(&EntryAt(index));
#else
  (void)index;
#endif
}

TermStats* TermTable::Find(std::string_view term) {
  const uint32_t hash = HashTerm(term);
  for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
    const Slot& slot = slots_[i];
    if (slot.entry_plus_one == 0) return nullptr;
    if (slot.hash != hash) continue;
    Entry& entry = EntryAt(slot.entry_plus_one - 1);
    if (SameTerm(entry, term)) return &entry.stats;
  }
}

TermStats* TermTable::FindOrInsert(std::string_view term, uint32_t hash, bool* inserted) {
  size_t i = hash & mask_;
  for (;; i = (i + 1) & mask_) {
    const Slot& slot = slots_[i];
    if (slot.entry_plus_one == 0) break;
    if (slot.hash != hash) continue;
    Entry& entry = EntryAt(slot.entry_plus_one - 1);
    if (SameTerm(entry, term)) {
      *inserted = false;
      return &entry.stats;
    }
  }
  // New term. Keep the load factor at or below 0.7 so probes stay short.
  if ((size_ + 1) * 10 > (mask_ + 1) * 7) {
    Grow();
    for (i = hash & mask_; slots_[i].entry_plus_one != 0; i = (i + 1) & mask_) {
    }
  }
  const size_t index = size_;
  if (index / kEntriesPerBlock >= entry_blocks_.size()) {
    entry_blocks_.push_back(MakeTableArray<EntryRoom>(kEntriesPerBlock));
  }
  EntryRoom& room = entry_blocks_[index / kEntriesPerBlock][index % kEntriesPerBlock];
  Entry& entry = *std::construct_at(reinterpret_cast<Entry*>(room.bytes));
  entry.length = static_cast<uint32_t>(term.size());
  std::memset(entry.bytes, 0, kInlineBytes);
  if (term.size() <= kInlineBytes) {
    std::memcpy(entry.bytes, term.data(), term.size());
  } else {
    const char* data = CopyToArena(term);
    std::memcpy(entry.bytes, &data, sizeof(data));
  }
  slots_[i] = Slot{hash, static_cast<uint32_t>(index + 1)};
  ++size_;
  *inserted = true;
  return &entry.stats;
}

const char* TermTable::CopyToArena(std::string_view term) {
  if (term.size() > kArenaBlockSize) {
    // A term larger than a whole block gets a block of its own, placed before
    // the block being filled so that filling goes on where it was.
    auto block = std::make_unique_for_overwrite<char[]>(term.size());
    std::memcpy(block.get(), term.data(), term.size());
    const char* data = block.get();
    arena_blocks_.insert(arena_blocks_.begin() + static_cast<ptrdiff_t>(arena_block_),
                         std::move(block));
    ++arena_block_;
    return data;
  }
  if (arena_block_ >= arena_blocks_.size() || arena_used_ + term.size() > kArenaBlockSize) {
    if (arena_block_ < arena_blocks_.size()) ++arena_block_;
    arena_used_ = 0;
    if (arena_block_ >= arena_blocks_.size()) {
      arena_blocks_.push_back(std::make_unique_for_overwrite<char[]>(kArenaBlockSize));
    }
  }
  char* data = arena_blocks_[arena_block_].get() + arena_used_;
  std::memcpy(data, term.data(), term.size());
  arena_used_ += term.size();
  return data;
}

void TermTable::Grow() {
  const size_t count = (mask_ + 1) * 2;
  TableArray<Slot> bigger = MakeTableArray<Slot>(count);
  const size_t mask = count - 1;
  for (size_t r = 0; r <= mask_; ++r) {
    const Slot& slot = slots_[r];
    if (slot.entry_plus_one == 0) continue;
    size_t i = slot.hash & mask;
    while (bigger[i].entry_plus_one != 0) i = (i + 1) & mask;
    bigger[i] = slot;
  }
  slots_.swap(bigger);
  mask_ = mask;
}

std::string_view TermTable::Term(uint32_t index) const {
  const Entry& entry = EntryAt(index);
  if (entry.length <= kInlineBytes) return std::string_view(entry.bytes, entry.length);
  const char* data;
  std::memcpy(&data, entry.bytes, sizeof(data));
  return std::string_view(data, entry.length);
}

void TermTable::SortedOrder(std::vector<uint32_t>* order) const {
  struct Key {
    uint64_t prefix;
    uint32_t index;
  };
  std::vector<Key> keys(size_);
  for (size_t i = 0; i < size_; ++i) {
    const std::string_view term = Term(static_cast<uint32_t>(i));
    keys[i] = Key{OrderPrefix(term), static_cast<uint32_t>(i)};
  }
  // Equal first eight bytes (zero-padded): the whole terms decide.
  auto by_term = [this](const Key& a, const Key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return Term(a.index) < Term(b.index);
  };
  if (size_ <= kRadixSortLimit) {
    // Radix sort by prefix, then the terms of each run of equal prefixes.
    std::vector<Key> room(size_);
    Key* sorted = RadixSortByKey(keys.data(), room.data(), size_, 64,
                                 [](const Key& k) { return k.prefix; });
    for (size_t begin = 0; begin < size_;) {
      size_t end = begin + 1;
      while (end < size_ && sorted[end].prefix == sorted[begin].prefix) ++end;
      if (end - begin > 1) std::sort(sorted + begin, sorted + end, by_term);
      begin = end;
    }
    order->resize(size_);
    for (size_t i = 0; i < size_; ++i) (*order)[i] = sorted[i].index;
    return;
  }
  std::sort(keys.begin(), keys.end(), by_term);
  order->resize(size_);
  for (size_t i = 0; i < size_; ++i) (*order)[i] = keys[i].index;
}

void TermTable::Clear() {
  if (size_ == 0) return;
  std::fill(slots_.get(), slots_.get() + mask_ + 1, Slot{0, 0});
  size_ = 0;
  arena_block_ = 0;
  arena_used_ = 0;
}

size_t TermTable::MemoryUsage() const {
  return (mask_ + 1) * sizeof(Slot) +
         entry_blocks_.size() * kEntriesPerBlock * sizeof(Entry) +
         arena_blocks_.size() * kArenaBlockSize;
}

}  // namespace vocs
