#include "job/stat_job.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <set>

#include "job/stat_task.h"
#include "platform/env.h"
#include "platform/mbcs.h"
#include "platform/paths.h"
#include "platform/table_memory.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// The read buffer of readField, and padded source contents, start with room
// for a typical field value.
constexpr size_t kMinContentSize = 8192;
constexpr size_t kWorkBufferSize = 102400;
constexpr size_t kReadSlack = 1024;

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

bool HasTextSuffix(std::string_view name) {
  return name.size() > 4 && EqualsIgnoreCaseMbcs(name.substr(name.size() - 4), ".txt");
}

}  // namespace

StatJob::StatJob()
    : work_buffer_(MakeTableArray<char>(kWorkBufferSize)), work_size_(kWorkBufferSize) {
  sources_.reserve(5);
}

StatJob::~StatJob() { CloseQuery(); }

bool StatJob::AddFieldSource(const char* name, int32_t mode, const char* mode_text) {
  if (IsEmpty(name)) {
    error_code_ = VOCS_E_NO_SOURCE;
    return false;
  }
  for (const StatSource& source : sources_) {
    if (source.kind != kFile && EqualsIgnoreCaseMbcs(source.name, name)) {
      error_code_ = VOCS_E_REPEATED_NAME;
      return false;
    }
  }
  StatSource source;
  source.name = name;
  source.kind = kField;
  source.mode = mode;
  source.modeText = mode_text != nullptr ? mode_text : "";
  sources_.push_back(std::move(source));
  return true;
}

bool StatJob::AddBufferSource(const char* text, int32_t length, int32_t mode,
                              const char* mode_text) {
  if (IsEmpty(text) || length == 0) {
    error_code_ = VOCS_E_BAD_ARGUMENT;
    return false;
  }
  StatSource source;
  source.kind = kBuffer;
  source.mode = mode;
  source.modeText = mode_text != nullptr ? mode_text : "";
  if (length > 0) {
    source.content.assign(text, static_cast<size_t>(length));
  } else {
    source.content.assign(text);
  }
  sources_.push_back(std::move(source));
  return true;
}

bool StatJob::AddFileSource(const char* path, int32_t mode, const char* mode_text) {
  if (IsEmpty(path)) {
    error_code_ = VOCS_E_FILE_SOURCE;
    return false;
  }
  for (const StatSource& source : sources_) {
    if (source.kind == kFile && EqualsIgnoreCaseMbcs(source.name, path)) {
      error_code_ = VOCS_E_FILE_SOURCE;
      return false;
    }
  }
  bool is_directory = false;
  if (!CurrentEnv()->GetAttributes(path, &is_directory)) return false;
  StatSource source;
  source.name = path;
  source.kind = is_directory ? kDirectory : kFile;
  source.mode = mode;
  source.modeText = mode_text != nullptr ? mode_text : "";
  sources_.push_back(std::move(source));
  return true;
}

template <typename Op>
bool StatJob::CallTasks(Op op) {
  if (frequency_task_ != nullptr) error_code_ = op(frequency_task_);
  if (error_code_ != 0) return false;
  if (cooccurrence_task_ != nullptr) error_code_ = op(cooccurrence_task_);
  return error_code_ == 0;
}

bool StatJob::Run(const char* query) {
  if (host_ == nullptr) {
    error_code_ = VOCS_E_NO_HOST;
    return false;
  }
  if (handle_.id >= 0) CloseQuery();
  if (sources_.empty()) {
    error_code_ = VOCS_E_NO_SOURCE;
    return false;
  }

  bool ok = true;
  if (!IsEmpty(query)) {
    host_->runStatement(query, 0, &handle_);
    if (handle_.id < 0) {
      error_code_ = VOCS_E_QUERY_NOT_OPENED;
      ok = false;
    } else {
      query_ = query;
      // Only field sources name columns of the query; buffers, files and
      // directories keep their kind.
      for (StatSource& source : sources_) {
        if (!source.is_field()) continue;
        int32_t field = host_->resolveField(handle_, source.name.c_str(), 0);
        if (field < 0) {
          error_code_ = field;
          ok = false;
          break;
        }
        source.kind = field;
      }
    }
  } else {
    handle_.count = 1;
  }

  ok = ok && CallTasks([&](StatTask* t) { return t->SetRecordCount(handle_.count); });
  ok = ok && RunRecordLoop();
  ok = ok && CallTasks([](StatTask* t) { return t->Finish(); });
  ok = ok && CallTasks([](StatTask* t) { return t->DeliverResults(); });
  ok = ok && error_code_ == 0;

  frequency_task_ = nullptr;
  cooccurrence_task_ = nullptr;
  CloseQuery();
  return ok;
}

void StatJob::CloseQuery() {
  if (handle_.id >= 0 && host_ != nullptr) host_->closeResult(handle_);
  handle_ = ResultHandle{-1, 0, 0};
}

bool StatJob::RunRecordLoop() {
  // Buffers and unresolved fields start padded with zero bytes to a typical
  // field size; a resolved field's content is replaced by each record's text.
  for (StatSource& source : sources_) {
    if (source.kind < 0 && source.content.size() < kMinContentSize) {
      source.content.resize(kMinContentSize, '\0');
    }
  }
  const int32_t record_count = handle_.count;
  for (int32_t i = 0; i < record_count; ++i) {
    for (StatSource& source : sources_) source.loaded = 0;
    if (!CallTasks([i](StatTask* t) { return t->BeginRecord(i); })) return false;
    if (frequency_task_ != nullptr && !ProcessFrequency(i)) return false;
    if (cooccurrence_task_ != nullptr && !ProcessCooccurrence(i)) return false;
    if (!CallTasks([i](StatTask* t) { return t->EndRecord(i); })) return false;
  }
  return true;
}

bool StatJob::ProcessFrequency(int32_t record) {
  for (size_t k = 0; k < sources_.size();) {
    if (sources_[k].kind == kDirectory) {
      if (!ExpandDirectory(k)) return false;
      continue;
    }
    if (!LoadSource(record, &sources_[k])) return false;
    int result = frequency_task_->ProcessRecord(record, &sources_[k], nullptr);
    if (result != 0) {
      error_code_ = result;
      return false;
    }
    ++k;
  }
  return true;
}

bool StatJob::ProcessCooccurrence(int32_t record) {
  if (sources_.size() == 1 && sources_[0].kind != kDirectory) {
    if (!LoadSource(record, &sources_[0])) return false;
    int result = cooccurrence_task_->ProcessRecord(record, &sources_[0], nullptr);
    if (result != 0) error_code_ = result;
    return result == 0;
  }
  for (size_t a = 0; a < sources_.size();) {
    if (sources_[a].kind == kDirectory) {
      if (!ExpandDirectory(a)) return false;
      continue;
    }
    for (size_t b = a + 1; b < sources_.size();) {
      if (sources_[b].kind == kDirectory) {
        if (!ExpandDirectory(b)) return false;
        continue;
      }
      if (!LoadSource(record, &sources_[a]) || !LoadSource(record, &sources_[b])) return false;
      int result = cooccurrence_task_->ProcessRecord(record, &sources_[a], &sources_[b]);
      if (result != 0) {
        error_code_ = result;
        return false;
      }
      ++b;
    }
    ++a;
  }
  return true;
}

bool StatJob::LoadSource(int32_t record, StatSource* source) {
  if (source->loaded) return true;
  if (source->kind >= 0) {
    if (!ReadFieldText(record, source)) return false;
    if (source->mode == kModeNormal) {
      // The host converts straight from the read buffer: no copy in between.
      if (!ConvertText(read_buffer_.data(), read_length_, source)) {
        error_code_ = VOCS_E_PREPARE_TEXT;
        return false;
      }
      source->loaded = 1;
      return true;
    }
    source->content.assign(read_buffer_.data(), read_length_);
  } else if (source->kind == kFile) {
    std::string bytes;
    if (!ReadFileToString(CurrentEnv(), source->name, &bytes)) {
      // A file that cannot be read fails the run with a code of its own
      // instead of a failure that reports 0.
      error_code_ = VOCS_E_SOURCE_UNREADABLE;
      return false;
    }
    bytes.push_back('\0');
    source->content.swap(bytes);
  }
  if (!PrepareText(source)) {
    error_code_ = VOCS_E_PREPARE_TEXT;
    return false;
  }
  source->loaded = 1;
  return true;
}

bool StatJob::ReadFieldText(int32_t record, StatSource* source) {
  // The read buffer only grows, and only the growth is cleared: clearing all
  // of it for every record would cost records times the largest record.
  if (read_buffer_.size() < kMinContentSize) read_buffer_.resize(kMinContentSize, '\0');
  for (int attempt = 0;; ++attempt) {
    const int32_t available = static_cast<int32_t>(
        std::min<size_t>(read_buffer_.size() - 1, static_cast<size_t>(INT32_MAX)));
    int32_t length = available;
    int32_t result = host_->readField(handle_, source->kind, record, read_buffer_.data(),
                                      &length, 0, 0);
    if (result == VOCS_E_BUFFER_TOO_SMALL) {
      if (attempt + 1 >= kMaxBufferRetries || length < 0 ||
          static_cast<size_t>(length) > INT32_MAX - kReadSlack) {
        error_code_ = VOCS_E_BUFFER_TOO_SMALL;
        return false;
      }
      const size_t wanted = static_cast<size_t>(length) + kReadSlack;
      if (read_buffer_.size() < wanted) read_buffer_.resize(wanted, '\0');
      continue;
    }
    if (result >= 0 && length != -1) {
      if (length < 0 || length > available) {
        // A length the buffer cannot hold would read past what the host wrote.
        error_code_ = VOCS_E_SOURCE_UNREADABLE;
        return false;
      }
      read_length_ = static_cast<size_t>(length);
      read_buffer_[read_length_] = '\0';  // the conversion reads up to a 0 byte
      return true;
    }
    // A result of 0 with no length would fail the run with code 0.
    error_code_ = result == 0 ? VOCS_E_SOURCE_UNREADABLE : result;
    return false;
  }
}

bool StatJob::ConvertText(const char* text, size_t length, StatSource* source) {
  // Like the read buffer, the conversion buffer only grows. It offers twice
  // the text's size, which the converted text seldom needs: its pages become
  // resident only as the host writes them.
  const size_t needed = length * 2 + kReadSlack;
  if (work_size_ < needed) {
    work_buffer_.reset();
    work_buffer_ = MakeTableArray<char>(needed);
    work_size_ = needed;
  }
  char* work = work_buffer_.get();
  int32_t available =
      static_cast<int32_t>(std::min<size_t>(work_size_ - 1, static_cast<size_t>(INT32_MAX)));
  if (host_->convertText(text, work, &available) != 0) return false;
  const void* end = std::memchr(work, '\0', work_size_);
  if (end == nullptr) return false;
  source->content.assign(work, static_cast<const char*>(end) - work);
  return true;
}

bool StatJob::PrepareText(StatSource* source) {
  std::string& content = source->content;
  switch (source->mode) {
    case kModeNone:
    case kModeDelimited: {
      const size_t n = content.size();
      char* bytes = content.data();
      for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
          ++i;  // the trail byte of a two-byte character is never changed
        } else if (c >= 0x01 && c <= 0x13) {
          bytes[i] = ' ';
        } else if (c == 0x27) {
          bytes[i] = '"';
        }
      }
      return true;
    }
    case kModeNormal:
      // c_str() ends the text at its first 0 byte for the host; the room
      // offered for the result follows the whole content, padding included.
      return ConvertText(content.c_str(), content.size(), source);
    default:
      return false;
  }
}

bool StatJob::ExpandDirectory(size_t position) {
  Env* env = CurrentEnv();
  const StatSource& directory = sources_[position];
  std::vector<StatSource> files;
  std::set<FileIdentity> entered;
  // Entries waiting to be visited; the last one listed is visited first.
  struct Pending {
    std::string path;
    bool is_directory;
  };
  std::vector<Pending> pending = {{directory.name, true}};
  while (!pending.empty()) {
    Pending next = std::move(pending.back());
    pending.pop_back();
    if (!next.is_directory) {
      StatSource file;
      file.name = std::move(next.path);
      file.kind = kFile;
      file.mode = directory.mode;
      file.modeText = directory.modeText;
      files.push_back(std::move(file));
      continue;
    }
    FileIdentity identity;
    if (env->GetIdentity(next.path, &identity) && !entered.insert(identity).second) continue;
    std::string prefix = std::move(next.path);
    EnsureTrailingSeparator(&prefix);
    std::vector<DirectoryEntry> entries;
    if (!env->ListDirectory(prefix, &entries)) {
      // Going on without it would count a part of the tree as the whole.
      error_code_ = VOCS_E_SOURCE_UNREADABLE;
      return false;
    }
    for (const DirectoryEntry& entry : entries) {
      const bool wanted = entry.is_directory ? !entry.is_link : HasTextSuffix(entry.name);
      if (wanted) pending.push_back({prefix + entry.name, entry.is_directory});
    }
  }
  sources_.erase(sources_.begin() + static_cast<ptrdiff_t>(position));
  sources_.insert(sources_.begin() + static_cast<ptrdiff_t>(position),
                  std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
  return true;
}

}  // namespace vocs
