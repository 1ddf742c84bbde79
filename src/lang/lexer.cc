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

const char* nextWord(const char* position, std::string* word) {
  word->clear();
  const char* p = position;
  for (;;) {  // once per comment skipped before the word
    while (IsSeparator(*p)) ++p;
    const char* start = p;
    bool restart = false;
    while (!restart) {
      const char c = *p;
      if (c == '\0') {
        SetWord(start, p, word);
        return p;
      }
      if (static_cast<unsigned char>(c) >= 0x80 && p[1] != '\0') {
        p += 2;
        continue;
      }
      if (IsSeparator(c)) {
        SetWord(start, p, word);
        return p + 1;
      }
      if (c == '"') {
        if (p != start) {
          SetWord(start, p, word);
          return p;  // the quote opens the next word
        }
        const char* close = std::strchr(p + 1, '"');
        if (close == nullptr) return nullptr;
        SetWord(p, close + 1, word);
        return close + 1;
      }
      if (StartsComment(p)) {
        if (p != start) {
          SetWord(start, p, word);
          return p;
        }
        if (p[1] == '/') {
          const char* line_feed = std::strchr(p + 2, '\n');
          if (line_feed == nullptr) return nullptr;
          p = line_feed + 1;
        } else {
          const char* close = std::strstr(p + 2, "*/");
          if (close == nullptr) return nullptr;
          p = close + 2;
        }
        restart = true;
        continue;
      }
      if (IsPunctuation(c)) {
        if (p == start) {
          word->assign(1, c);
          return p + 1;
        }
        SetWord(start, p, word);
        return p;
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
  position_ = text;
  current_text_ = {};
  command_ = command;
  *command_ = StatCommand{};
  too_many_tokens_ = false;
  return 0;
}

int ParseState::nextToken() {
  if (position_ == nullptr) return kTokenEnd;
  std::string word;
  word.reserve(kMaxWordBytes + 2);
  position_ = nextWord(position_, &word);
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
