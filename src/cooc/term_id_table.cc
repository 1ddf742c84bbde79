#include "cooc/term_id_table.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "text/order_prefix.h"

namespace vocs {

namespace {

constexpr size_t kInitialSlots = 1 << 12;

inline uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace

TermIdTable::TermIdTable() : slots_(kInitialSlots, Slot{0, 0, 0}), mask_(kInitialSlots - 1) {}

uint32_t TermIdTable::Hash(std::string_view term) {
  const char* p = term.data();
  size_t n = term.size();
  uint64_t h = 0x9E3779B97F4A7C15ull ^ (n * 0x100000001B3ull);
  while (n >= 8) {
    h = (h ^ Load64(p)) * 0x87C37B91114253D5ull;
    h ^= h >> 31;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    h = (h ^ LoadPaddedWord(p, n)) * 0x4CF5AD432745937Full;
  }
  return static_cast<uint32_t>(Mix(h));
}

size_t TermIdTable::Probe(std::string_view term, uint32_t hash) const {
  const uint32_t tag = Tag(hash, term.size());
  const uint64_t prefix = OrderPrefix(term);
  size_t i = hash & mask_;
  for (;;) {
    const Slot& slot = slots_[i];
    if (slot.id1 == 0) return i;
    if (slot.tag == tag && slot.prefix == prefix) {
      if (term.size() <= 8) return i;
      const Entry& e = entries_[slot.id1 - 1];
      if (e.length == term.size() &&
          std::memcmp(arena_.data() + e.offset + 8, term.data() + 8, term.size() - 8) == 0) {
        return i;
      }
    }
    i = (i + 1) & mask_;
  }
}

uint32_t TermIdTable::FindHashed(std::string_view term, uint32_t hash) const {
  const Slot& slot = slots_[Probe(term, hash)];
  return slot.id1 == 0 ? kNoTerm : slot.id1 - 1;
}

void TermIdTable::PrefetchSlot(uint32_t hash) const {
#if defined(__GNUC__)
  __builtin_prefetch(&slots_[hash & mask_]);
#else
  (void)hash;
#endif
}

void TermIdTable::PrefetchCount(uint32_t id) const {
#if defined(__GNUC__)
  if (id < counts_.size()) __builtin_prefetch(&counts_[id]);
#else
  (void)id;
#endif
}

uint32_t TermIdTable::Intern(std::string_view term) {
  const uint32_t hash = Hash(term);
  const size_t i = Probe(term, hash);
  if (slots_[i].id1 != 0) return slots_[i].id1 - 1;
  const uint32_t id = static_cast<uint32_t>(entries_.size());
  entries_.push_back(Entry{arena_.size(), static_cast<uint32_t>(term.size()), hash});
  counts_.push_back(0);
  arena_.append(term);
  slots_[i] = Slot{Tag(hash, term.size()), id + 1, OrderPrefix(term)};
  // Keep the load at or below one half so that probes stay short.
  if (entries_.size() * 2 > slots_.size()) Grow();
  return id;
}

void TermIdTable::Grow() {
  std::vector<Slot> old(slots_.size() * 2, Slot{0, 0, 0});
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.id1 == 0) continue;
    size_t i = entries_[slot.id1 - 1].hash & mask_;
    while (slots_[i].id1 != 0) i = (i + 1) & mask_;
    slots_[i] = slot;
  }
}

void TermIdTable::UpdateOrder() {
  const size_t known = sorted_.size();
  const size_t total = entries_.size();
  if (known == total) return;
  auto less = [this](uint32_t a, uint32_t b) { return Term(a) < Term(b); };
  sorted_.reserve(total);
  for (size_t id = known; id < total; ++id) sorted_.push_back(static_cast<uint32_t>(id));
  auto middle = sorted_.begin() + static_cast<ptrdiff_t>(known);
  std::sort(middle, sorted_.end(), less);
  std::inplace_merge(sorted_.begin(), middle, sorted_.end(), less);
  rank_.resize(total);
  ordered_arena_.clear();
  ordered_arena_.reserve(arena_.size());
  ordered_.resize(total);
  for (size_t r = 0; r < total; ++r) {
    rank_[sorted_[r]] = static_cast<uint32_t>(r);
    const std::string_view term = Term(sorted_[r]);
    ordered_[r] = OrderedTerm{OrderPrefix(term), ordered_arena_.size(),
                              static_cast<uint32_t>(term.size())};
    ordered_arena_.append(term);
  }
}

}  // namespace vocs
