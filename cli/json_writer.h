// JsonWriter: JSON text written front to back, for data that a page embeds
// in a <script> element. Besides what JSON requires, "<", ">" and "&" and
// the line separators U+2028 and U+2029 are written as \u escapes, so no
// text from a corpus can close the element or be read as markup.
//
// Not thread-safe; one writer per text.
#ifndef VOCS_CLI_JSON_WRITER_H_
#define VOCS_CLI_JSON_WRITER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vocs::cli {

class JsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // The key of the next value in an object.
  void Key(std::string_view key);

  // UTF-8 text; bytes that are not UTF-8 are written as U+FFFD.
  void String(std::string_view utf8);
  void Integer(int64_t value);
  // The shortest text that reads back as the same double; null when the
  // value is not finite.
  void Number(double value);
  void Bool(bool value);
  void Null();

  const std::string& text() const { return text_; }

 private:
  void Open(char bracket);
  void Close(char bracket);
  // The comma before a value that follows another one.
  void Separate();

  std::string text_;
  std::vector<bool> has_item_;  // per open bracket: whether a value is in it
  bool after_key_ = false;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_JSON_WRITER_H_
