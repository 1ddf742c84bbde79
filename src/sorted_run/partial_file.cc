#include "sorted_run/partial_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <charconv>
#include <memory>
#include <set>

#include "platform/env.h"

namespace vocs {

namespace {

constexpr size_t kChunk = 1 << 20;
// The longest header or trailer line accepted; term lines are longer (hex).
constexpr size_t kMaxTermLine = 2 * 4096 + 64;
// The trailer, "end L B CHECKSUM" and its line feed, fits in this.
constexpr size_t kMaxTrailer = 96;

constexpr char kHex[] = "0123456789abcdef";

bool IsHexFingerprint(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string HexOf(uint64_t value) {
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kHex[value & 15];
  return text;
}

// A decimal number without sign (or with a minus when `negative_ok`), the
// whole of `text`.
template <typename Int>
bool ParseNumber(std::string_view text, Int* value, bool negative_ok = false) {
  if (text.empty() || (text[0] == '-' && !negative_ok) || text[0] == '+') return false;
  if (text.size() > 1 && text[0] == '0') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

// Writes through one buffer and hashes what it writes.
class HashingWriter {
 public:
  explicit HashingWriter(std::unique_ptr<WritableFile> file) : file_(std::move(file)) {}
  bool ok() const { return file_ != nullptr && ok_; }
  void Write(std::string_view bytes) {
    hash_.Update(bytes);
    buffer_.append(bytes);
    if (buffer_.size() >= kChunk) Flush();
  }
  // Writes bytes outside the hash (the trailer).
  void WriteUnhashed(std::string_view bytes) { buffer_.append(bytes); }
  bool Close() {
    if (file_ == nullptr) return false;
    Flush();
    if (!file_->Close()) ok_ = false;
    return ok_;
  }
  uint64_t hash() const { return hash_.Final(); }

 private:
  void Flush() {
    if (ok_ && !buffer_.empty() && !file_->Append(buffer_)) ok_ = false;
    buffer_.clear();
  }
  std::unique_ptr<WritableFile> file_;
  std::string buffer_;
  PartialChecksum hash_;
  bool ok_ = true;
};

// Reads a file in chunks: lines of the header, then the rest in pieces.
class ChunkReader {
 public:
  explicit ChunkReader(std::unique_ptr<SequentialFile> file) : file_(std::move(file)) {}
  bool error() const { return error_; }

  // The next line including its line feed; false at the end of the file, on
  // a read error, or when no line feed comes within `limit` bytes.
  bool ReadLine(size_t limit, std::string_view* line) {
    for (;;) {
      const size_t lf = buffer_.find('\n', begin_);
      if (lf != std::string::npos) {
        if (lf + 1 - begin_ > limit) return false;
        *line = std::string_view(buffer_).substr(begin_, lf + 1 - begin_);
        begin_ = lf + 1;
        return true;
      }
      if (buffer_.size() - begin_ > limit || !Refill()) return false;
    }
  }
  // The bytes not read yet, in pieces; false at the end of the file.
  bool ReadRest(std::string_view* piece) {
    if (begin_ == buffer_.size() && !Refill()) return false;
    *piece = std::string_view(buffer_).substr(begin_);
    begin_ = buffer_.size();
    return true;
  }

 private:
  bool Refill() {
    buffer_.erase(0, begin_);
    begin_ = 0;
    const size_t old = buffer_.size();
    buffer_.resize(old + kChunk);
    const int64_t n = file_->Read(buffer_.data() + old, kChunk);
    if (n < 0) error_ = true;
    buffer_.resize(old + static_cast<size_t>(n > 0 ? n : 0));
    return n > 0;
  }
  std::unique_ptr<SequentialFile> file_;
  std::string buffer_;
  size_t begin_ = 0;
  bool error_ = false;
};

// Splits "key value..." into its words at single spaces.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t start = 0;
  for (;;) {
    const size_t space = line.find(' ', start);
    words.push_back(line.substr(start, space - start));
    if (space == std::string_view::npos) return words;
    start = space + 1;
  }
}

struct HeaderReader {
  ChunkReader* reader;
  PartialChecksum* hash;
  std::string* problem;

  // The next header line, which must begin with `key` and have `count`
  // words after it.
  bool Next(std::string_view key, size_t count, std::vector<std::string_view>* words) {
    std::string_view line;
    if (!reader->ReadLine(kMaxTermLine, &line)) {
      *problem = "the file ends before its \"" + std::string(key) + "\" line (truncated?)";
      return false;
    }
    hash->Update(line);
    line.remove_suffix(1);
    *words = Words(line);
    if (words->front() != key || words->size() != count + 1) {
      *problem = "expected a \"" + std::string(key) + "\" line, found \"" +
                 std::string(line.substr(0, 80)) + "\"";
      return false;
    }
    return true;
  }
};

bool ReadHeader(HeaderReader* in, PartialHeader* header) {
  std::vector<std::string_view> w;
  std::string& problem = *in->problem;
  std::string_view first;
  if (!in->reader->ReadLine(64, &first) || first.substr(0, 13) != "vocs partial ") {
    problem = "not a vocs partial result (no \"vocs partial\" line at its start)";
    return false;
  }
  in->hash->Update(first);
  int version = 0;
  if (!ParseNumber(first.substr(13, first.size() - 14), &version)) {
    problem = "not a vocs partial result (a malformed first line)";
    return false;
  }
  if (version != kPartialFormatVersion) {
    problem = "a partial result of format version " + std::to_string(version) +
              "; this vocs reads version " + std::to_string(kPartialFormatVersion);
    return false;
  }
  if (!in->Next("engine", 1, &w)) return false;
  header->engine = std::string(w[1]);
  if (header->engine != kFrequencyPartial && header->engine != kCooccurrencePartial) {
    problem = "an unknown engine \"" + header->engine + "\"";
    return false;
  }
  if (!in->Next("shard", 3, &w)) return false;
  if (!ParseNumber(w[1], &header->shard) || w[2] != "of" || !ParseNumber(w[3], &header->shards) ||
      header->shard < 1 || header->shard > header->shards) {
    problem = "a malformed \"shard\" line";
    return false;
  }
  if (!in->Next("run", 1, &w)) return false;
  if (w[1] != "-" && !IsHexFingerprint(w[1])) {
    problem = "a malformed \"run\" line";
    return false;
  }
  header->run = w[1] == "-" ? "" : std::string(w[1]);
  if (!in->Next("writer-mode", 1, &w)) return false;
  if (!ParseNumber(w[1], &header->writer_mode, true)) {
    problem = "a malformed \"writer-mode\" line";
    return false;
  }
  if (!in->Next("min-frequency", 1, &w)) return false;
  if (!ParseNumber(w[1], &header->min_frequency, true)) {
    problem = "a malformed \"min-frequency\" line";
    return false;
  }
  const std::pair<const char*, int64_t*> counts[] = {
      {"records", &header->records},
      {"term-total", &header->term_total},
      {"terms", &header->terms}};
  for (const auto& [key, value] : counts) {
    if (!in->Next(key, 1, &w)) return false;
    if (!ParseNumber(w[1], value)) {
      problem = std::string("a malformed \"") + key + "\" line";
      return false;
    }
  }
  return true;
}

bool ReadTerms(HeaderReader* in, const PartialHeader& header,
               const std::function<bool(std::string_view, int64_t)>& on_term) {
  std::string& problem = *in->problem;
  std::vector<std::string_view> w;
  std::string previous;
  std::string term;
  int64_t sum = 0;
  for (int64_t i = 0; i < header.terms; ++i) {
    if (!in->Next("t", 2, &w)) return false;
    int64_t count = 0;
    bool good = w[1].size() % 2 == 0 && !w[1].empty() && ParseNumber(w[2], &count) && count > 0;
    term.clear();
    for (size_t k = 0; good && k < w[1].size(); k += 2) {
      const int hi = HexValue(w[1][k]);
      const int lo = HexValue(w[1][k + 1]);
      good = hi >= 0 && lo >= 0;
      term.push_back(static_cast<char>(hi * 16 + lo));
    }
    if (!good) {
      problem = "a malformed term line (term " + std::to_string(i + 1) + ")";
      return false;
    }
    if (i > 0 && !(previous < term)) {
      problem = "its term lines are out of order (term " + std::to_string(i + 1) + ")";
      return false;
    }
    if (count > INT64_MAX - sum) {
      problem = "its term counts overflow";
      return false;
    }
    sum += count;
    if (!on_term(term, count)) {
      problem = "a term count could not be taken (term " + std::to_string(i + 1) + ")";
      return false;
    }
    previous.swap(term);
  }
  if (sum != header.term_total) {
    problem = "its term counts add up to " + std::to_string(sum) + ", not to its term-total " +
              std::to_string(header.term_total);
    return false;
  }
  return true;
}

// Reads the body and the trailer: every remaining byte is hashed except the
// last line, which must be the trailer.
bool ReadBody(ChunkReader* reader, PartialChecksum* hash, std::string* problem) {
  std::string tail;  // the last bytes, not hashed yet
  int64_t bytes = 0;
  int64_t lines = 0;
  std::string_view piece;
  auto consume = [&](std::string_view hashed) {
    hash->Update(hashed);
    bytes += static_cast<int64_t>(hashed.size());
    lines += std::count(hashed.begin(), hashed.end(), '\n');
  };
  while (reader->ReadRest(&piece)) {
    if (piece.size() >= kMaxTrailer) {
      // The held bytes and all of this piece but its end: no copy.
      consume(tail);
      consume(piece.substr(0, piece.size() - kMaxTrailer));
      tail.assign(piece.substr(piece.size() - kMaxTrailer));
      continue;
    }
    tail.append(piece);
    if (tail.size() > kMaxTrailer) {
      const size_t keep_from = tail.size() - kMaxTrailer;
      consume(std::string_view(tail).substr(0, keep_from));
      tail.erase(0, keep_from);
    }
  }
  if (reader->error()) {
    *problem = "it cannot be read";
    return false;
  }
  if (tail.empty() || tail.back() != '\n') {
    *problem = "it does not end in its \"end\" line (truncated?)";
    return false;
  }
  const size_t lf = tail.rfind('\n', tail.size() - 2);
  const size_t start = lf == std::string::npos ? 0 : lf + 1;
  if (lf == std::string::npos && bytes > 0) {
    *problem = "its last line is too long to be an \"end\" line (truncated?)";
    return false;
  }
  consume(std::string_view(tail).substr(0, start));
  const std::string_view trailer = std::string_view(tail).substr(start, tail.size() - start - 1);
  const std::vector<std::string_view> w = Words(trailer);
  int64_t want_lines = 0;
  int64_t want_bytes = 0;
  if (w.size() != 4 || w[0] != "end" || !ParseNumber(w[1], &want_lines) ||
      !ParseNumber(w[2], &want_bytes) || w[3].size() != 16) {
    *problem = "it does not end in its \"end\" line (truncated?)";
    return false;
  }
  if (want_bytes != bytes || want_lines != lines) {
    *problem = "its body has " + std::to_string(lines) + " lines in " + std::to_string(bytes) +
               " bytes where its \"end\" line says " + std::to_string(want_lines) + " in " +
               std::to_string(want_bytes) + " (truncated or extended)";
    return false;
  }
  if (w[3] != HexOf(hash->Final())) {
    *problem = "its checksum does not match its content (damaged, reordered or edited)";
    return false;
  }
  return true;
}

}  // namespace

namespace {

constexpr uint64_t kChecksumFactor = 0x9E3779B97F4A7C15ull;

uint64_t Fold(uint64_t h, uint64_t word) { return std::rotl((h ^ word) * kChecksumFactor, 29); }

uint64_t LoadWord(const unsigned char* p) {
  uint64_t word = 0;
  for (int i = 7; i >= 0; --i) word = (word << 8) | p[i];
  return word;
}

}  // namespace

void PartialChecksum::Update(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  length_ += n;
  while (pending_size_ > 0 && n > 0) {
    pending_[pending_size_++] = *p++;
    --n;
    if (pending_size_ == 8) {
      h_ = Fold(h_, LoadWord(pending_));
      pending_size_ = 0;
    }
  }
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) word = LoadWord(p);
    h_ = Fold(h_, word);
  }
  for (; n > 0; --n) pending_[pending_size_++] = *p++;
}

uint64_t PartialChecksum::Final() const {
  unsigned char last[8] = {};
  std::memcpy(last, pending_, pending_size_);
  uint64_t h = Fold(h_, LoadWord(last) ^ (static_cast<uint64_t>(pending_size_) << 56));
  h ^= length_;
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

uint64_t PartialChecksumOf(std::string_view bytes) {
  PartialChecksum checksum;
  checksum.Update(bytes);
  return checksum.Final();
}

bool WritePartialFile(const std::string& path, PartialHeader header,
                      std::vector<PartialTermCount> term_counts, const std::string& body_path,
                      std::string* error) {
  if (header.engine != kFrequencyPartial && header.engine != kCooccurrencePartial) {
    *error = "a partial result of an unknown engine";
    return false;
  }
  if ((!header.run.empty() && !IsHexFingerprint(header.run)) || header.shard < 1 ||
      header.shard > header.shards || header.records < 0) {
    *error = "a partial result header that cannot be written (shard, records or fingerprint)";
    return false;
  }
  std::sort(term_counts.begin(), term_counts.end());
  header.terms = static_cast<int64_t>(term_counts.size());
  Env* env = CurrentEnv();
  std::unique_ptr<SequentialFile> body =
      body_path.empty() ? nullptr : env->NewSequentialFile(body_path);
  if (body == nullptr && !body_path.empty()) {
    *error = "the counted result " + body_path + " cannot be read";
    return false;
  }
  HashingWriter out(env->NewWritableFile(path));
  if (!out.ok()) {
    *error = path + " cannot be written";
    return false;
  }
  out.Write("vocs partial " + std::to_string(kPartialFormatVersion) + "\n");
  out.Write("engine " + header.engine + "\n");
  out.Write("shard " + std::to_string(header.shard) + " of " + std::to_string(header.shards) +
            "\n");
  out.Write("run " + (header.run.empty() ? std::string("-") : header.run) + "\n");
  out.Write("writer-mode " + std::to_string(header.writer_mode) + "\n");
  out.Write("min-frequency " + std::to_string(header.min_frequency) + "\n");
  out.Write("records " + std::to_string(header.records) + "\n");
  out.Write("term-total " + std::to_string(header.term_total) + "\n");
  out.Write("terms " + std::to_string(header.terms) + "\n");
  std::string line;
  for (const auto& [term, count] : term_counts) {
    line.assign("t ");
    for (const char c : term) {
      line.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
      line.push_back(kHex[static_cast<unsigned char>(c) & 15]);
    }
    line += " " + std::to_string(count) + "\n";
    out.Write(line);
  }
  int64_t bytes = 0;
  int64_t lines = 0;
  char last = '\n';
  std::string chunk(kChunk, '\0');
  while (body != nullptr) {
    const int64_t n = body->Read(chunk.data(), chunk.size());
    if (n < 0) {
      *error = "the counted result " + body_path + " cannot be read";
      return false;
    }
    if (n == 0) break;
    const std::string_view piece(chunk.data(), static_cast<size_t>(n));
    out.Write(piece);
    bytes += n;
    lines += std::count(piece.begin(), piece.end(), '\n');
    last = piece.back();
  }
  if (last != '\n') {
    *error = "the counted result " + body_path + " does not end in a line feed";
    return false;
  }
  out.WriteUnhashed("end " + std::to_string(lines) + " " + std::to_string(bytes) + " " +
                    HexOf(out.hash()) + "\n");
  if (!out.Close()) {
    *error = path + " could not be written completely";
    return false;
  }
  return true;
}

namespace {

// Reads the header of the partial at `path` and, when `on_term` is given, the
// rest of it with every check.
bool ReadPartial(const std::string& path, PartialHeader* header,
                 const std::function<bool(std::string_view, int64_t)>* on_term,
                 std::string* error) {
  std::unique_ptr<SequentialFile> file = CurrentEnv()->NewSequentialFile(path);
  if (file == nullptr) {
    *error = path + ": cannot be opened";
    return false;
  }
  ChunkReader reader(std::move(file));
  PartialChecksum hash;
  std::string problem;
  HeaderReader in{&reader, &hash, &problem};
  const bool ok = ReadHeader(&in, header) &&
                  (on_term == nullptr ||
                   (ReadTerms(&in, *header, *on_term) && ReadBody(&reader, &hash, &problem)));
  if (!ok) *error = path + ": " + (reader.error() ? "it cannot be read" : problem);
  return ok;
}

}  // namespace

bool ReadPartialFile(const std::string& path, PartialHeader* header,
                     const std::function<bool(std::string_view term, int64_t count)>& on_term,
                     std::string* error) {
  return ReadPartial(path, header, &on_term, error);
}

bool ReadPartialHeader(const std::string& path, PartialHeader* header, std::string* error) {
  return ReadPartial(path, header, nullptr, error);
}

bool CheckPartialSet(const std::vector<std::string>& paths,
                     const std::vector<PartialHeader>& headers, std::string* error) {
  if (headers.empty()) {
    *error = "no partial result given";
    return false;
  }
  const PartialHeader& first = headers.front();
  for (size_t i = 1; i < headers.size(); ++i) {
    const PartialHeader& h = headers[i];
    const char* what = h.engine != first.engine           ? "the engine"
                       : h.run != first.run               ? "the statement (run fingerprint)"
                       : h.shards != first.shards         ? "the number of shards"
                       : h.writer_mode != first.writer_mode ? "the writer mode"
                       : h.min_frequency != first.min_frequency ? "the minimum frequency"
                                                               : nullptr;
    if (what != nullptr) {
      *error = paths[i] + " and " + paths[0] + " differ in " + what +
               ": they are not shards of one run";
      return false;
    }
  }
  std::vector<size_t> holder(static_cast<size_t>(first.shards), SIZE_MAX);
  for (size_t i = 0; i < headers.size(); ++i) {
    size_t& slot = holder[static_cast<size_t>(headers[i].shard - 1)];
    if (slot != SIZE_MAX) {
      *error = paths[i] + " and " + paths[slot] + " are both shard " +
               std::to_string(headers[i].shard) + " of " + std::to_string(first.shards);
      return false;
    }
    slot = i;
  }
  std::string missing;
  for (size_t s = 0; s < holder.size(); ++s) {
    if (holder[s] == SIZE_MAX) missing += (missing.empty() ? "" : ", ") + std::to_string(s + 1);
  }
  if (!missing.empty()) {
    *error = "shard " + missing + " of " + std::to_string(first.shards) +
             " is missing: a merge of some shards is not the whole result";
    return false;
  }
  return true;
}

}  // namespace vocs
