#include "lang/lexer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/mbcs.h"

namespace vocs {

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool IsPunctuation(char c) { return c == '(' || c == ')' || c == ',' || c == '='; }

// "/" or "'" followed by "/" or "*".
bool StartsComment(const char* p) {
  return (p[0] == '/' || p[0] == '\'') && (p[1] == '/' || p[1] == '*');
}

void SetWord(const char* begin, const char* end, std::string* word) {
  size_t length = static_cast<size_t>(end - begin);
  word->assign(begin, std::min(length, kMaxWordBytes));
}

}  // namespace

const char* nextWord(const char* position, std::string* word, WordSpan* span) {
  word->clear();
  WordSpan ignored;
  if (span == nullptr) span = &ignored;
  // The word is [start, end); the result is where the next search begins.
  const auto cut = [&](const char* start, const char* end, const char* next) {
    SetWord(start, end, word);
    *span = {start, end};
    return next;
  };
  const auto unterminated = [&](const char* start) -> const char* {
    *span = {start, start + std::strlen(start)};
    return nullptr;
  };
  const char* p = position;
  for (;;) {  // once per comment skipped before the word
    while (IsSeparator(*p)) ++p;
    const char* start = p;
    bool restart = false;
    while (!restart) {
      const char c = *p;
      if (c == '\0') return cut(start, p, p);
      if (static_cast<unsigned char>(c) >= 0x80 && p[1] != '\0') {
        p += 2;
        continue;
      }
      if (IsSeparator(c)) return cut(start, p, p + 1);
      if (c == '"') {
        if (p != start) return cut(start, p, p);  // the quote opens the next word
        const char* close = std::strchr(p + 1, '"');
        if (close == nullptr) return unterminated(p);
        return cut(p, close + 1, close + 1);
      }
      if (StartsComment(p)) {
        if (p != start) return cut(start, p, p);
        if (p[1] == '/') {
          const char* line_feed = std::strchr(p + 2, '\n');
          if (line_feed == nullptr) return unterminated(p);
          p = line_feed + 1;
        } else {
          const char* close = std::strstr(p + 2, "*/");
          if (close == nullptr) return unterminated(p);
          p = close + 2;
        }
        restart = true;
        continue;
      }
      if (IsPunctuation(c)) {
        if (p == start) return cut(p, p + 1, p + 1);
        return cut(start, p, p);
      }
      ++p;
    }
  }
}

int lookupKeyword(std::string_view word) {
  for (const Keyword& keyword : kKeywordTable) {
    if (EqualsIgnoreCaseMbcs(word, keyword.name)) return keyword.code;
  }
  return kTokenWord;
}

const std::string* TokenRegistry::Register(std::string text) {
  if (texts_.size() >= kCapacity) return nullptr;
  texts_.push_back(std::move(text));
  return &texts_.back();
}

int ParseState::beginParse(const char* text, StatCommand* command) {
  registry_.Clear();
  text_ = text;
  position_ = text;
  current_text_ = {};
  current_begin_ = current_end_ = 0;
  unterminated_at_ = syntax_error_begin_ = syntax_error_end_ = std::string_view::npos;
  command_ = command;
  *command_ = StatCommand{};
  too_many_tokens_ = false;
  return 0;
}

int ParseState::nextToken() {
  if (position_ == nullptr) return kTokenEnd;
  std::string word;
  word.reserve(kMaxWordBytes + 2);
  WordSpan span;
  position_ = nextWord(position_, &word, &span);
  current_begin_ = static_cast<size_t>(span.begin - text_);
  current_end_ = static_cast<size_t>(span.end - text_);
  if (position_ == nullptr) {
    unterminated_at_ = current_begin_;
    current_begin_ = current_end_;  // the parser meets the end of the input
  }
  if (word.empty()) return kTokenEnd;

  // A word that opens with a quote or an apostrophe is a string: it loses its
  // first and its last byte, whatever the last byte is.
  const bool is_string = word[0] == '"' || word[0] == '\'';
  if (is_string) {
    word.erase(0, 1);
    if (!word.empty()) word.pop_back();
  }
  const std::string* stored = registry_.Register(std::move(word));
  if (stored == nullptr) {
    too_many_tokens_ = true;
    current_text_ = {};
    return kTokenTooMany;
  }
  current_text_ = *stored;
  return is_string ? kTokenWord : lookupKeyword(*stored);
}

void ParseState::endParse() {
  current_text_ = {};
  registry_.Clear();
}

}  // namespace vocs
