#include "cli/corpus_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "cli/cli_common.h"
#include "cli/json_line.h"

namespace vocs::cli {

namespace {

bool EndsWithIgnoreCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i]) {
      return false;
    }
  }
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  // ASCII blanks and the ideographic space U+3000.
  while (true) {
    const size_t before = s.size();
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
      s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
      s.remove_suffix(1);
    }
    if (s.substr(0, 3) == "\xE3\x80\x80") s.remove_prefix(3);
    if (s.size() >= 3 && s.substr(s.size() - 3) == "\xE3\x80\x80") s.remove_suffix(3);
    if (s.size() == before) return s;
  }
}

// Lines of a text without their line ends.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Removes terminal colour and cursor sequences (ESC "[" ... final byte).
std::string StripEscapes(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\x1B' && i + 1 < s.size() && s[i + 1] == '[') {
      size_t j = i + 2;
      while (j < s.size() && !(s[j] >= 0x40 && s[j] <= 0x7E)) ++j;
      i = j;
      continue;
    }
    out += s[i];
  }
  return out;
}

bool RemovePrefix(std::string_view* s, std::initializer_list<std::string_view> prefixes) {
  for (std::string_view prefix : prefixes) {
    if (s->substr(0, prefix.size()) == prefix) {
      s->remove_prefix(prefix.size());
      return true;
    }
  }
  return false;
}

std::string LineError(int64_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

bool EmitFortune(const std::vector<std::string>& entry_lines, const RecordSink& sink,
                 std::string* error) {
  std::vector<std::string_view> lines;
  for (const std::string& line : entry_lines) {
    const std::string_view trimmed = TrimBlanks(line);
    if (!trimmed.empty()) lines.push_back(trimmed);
  }
  if (lines.empty()) return true;
  std::string_view title = lines[0];
  RemovePrefix(&title, {"题目:", "题目："});
  title = TrimBlanks(title);
  if (title.size() > 6 && title.substr(0, 3) == "《" && title.substr(title.size() - 3) == "》") {
    title = title.substr(3, title.size() - 6);
  }
  std::string_view author;
  size_t body_start = 1;
  if (lines.size() > 1) {
    std::string_view second = lines[1];
    if (RemovePrefix(&second, {"作者:", "作者：", "作者 "})) {
      author = TrimBlanks(second);
      for (auto [open, close] : {std::pair<std::string_view, std::string_view>{"（", "）"},
                                 {"(", ")"}}) {
        const size_t at = author.rfind(open);
        if (at != std::string_view::npos && at > 0 && author.size() >= close.size() &&
            author.substr(author.size() - close.size()) == close) {
          author = TrimBlanks(author.substr(0, at));
        }
      }
      body_start = 2;
    }
  }
  std::string body;
  for (size_t i = body_start; i < lines.size(); ++i) {
    if (!body.empty()) body += '\n';
    body += lines[i];
  }
  const CorpusRecord record{{"title", FieldValue::Text(std::string(title))},
                            {"author", FieldValue::Text(std::string(author))},
                            {"body", FieldValue::Text(std::move(body))}};
  return sink(record, error);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> values;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    values.push_back(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start));
    if (tab == std::string_view::npos) return values;
    start = tab + 1;
  }
}

// The narrowest kind that holds every value seen so far and `text`:
// integer, then real, then text. Empty values fit any kind.
FieldValue::Kind WidenKind(FieldValue::Kind kind, std::string_view text) {
  if (text.empty() || kind == FieldValue::Kind::kText) return kind;
  FieldValue value = TypedValue(FieldValue::Kind::kInteger, text);
  if (value.kind == FieldValue::Kind::kInteger) {
    return kind == FieldValue::Kind::kReal ? kind : FieldValue::Kind::kInteger;
  }
  value = TypedValue(FieldValue::Kind::kReal, text);
  return value.kind == FieldValue::Kind::kReal ? FieldValue::Kind::kReal : FieldValue::Kind::kText;
}

}  // namespace

FieldValue TypedValue(FieldValue::Kind kind, std::string_view text) {
  FieldValue value;
  if (text.empty() && kind != FieldValue::Kind::kText) return value;  // NULL
  // Only canonical forms become numbers: "007" and "1e5" stay text, so that
  // no value changes when it is shown again.
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  const size_t dot = digits.find('.');
  const std::string_view whole = digits.substr(0, dot);
  const bool canonical_whole = !whole.empty() && whole.size() <= 18 &&
                               whole.find_first_not_of("0123456789") == std::string_view::npos &&
                               (whole.size() == 1 || whole[0] != '0');
  if (kind == FieldValue::Kind::kInteger && canonical_whole && dot == std::string_view::npos) {
    value.kind = FieldValue::Kind::kInteger;
    std::from_chars(text.data(), text.data() + text.size(), value.integer);
    return value;
  }
  if ((kind == FieldValue::Kind::kReal || kind == FieldValue::Kind::kInteger) && canonical_whole) {
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : digits.substr(dot + 1);
    if (dot == std::string_view::npos ||
        (!fraction.empty() && fraction.find_first_not_of("0123456789") == std::string_view::npos)) {
      value.kind = FieldValue::Kind::kReal;
      std::from_chars(text.data(), text.data() + text.size(), value.real);
      return value;
    }
  }
  return FieldValue::Text(std::string(text));
}

bool ParseCorpusFormat(std::string_view text, CorpusFormat* out) {
  if (text == "text" || text == "txt") {
    *out = CorpusFormat::kText;
  } else if (text == "tsv") {
    *out = CorpusFormat::kTsv;
  } else if (text == "jsonl" || text == "ndjson") {
    *out = CorpusFormat::kJsonl;
  } else if (text == "fortune") {
    *out = CorpusFormat::kFortune;
  } else {
    return false;
  }
  return true;
}

CorpusFormat FormatOfName(std::string_view name) {
  if (EndsWithIgnoreCase(name, ".tsv") || EndsWithIgnoreCase(name, ".tab")) {
    return CorpusFormat::kTsv;
  }
  if (EndsWithIgnoreCase(name, ".jsonl") || EndsWithIgnoreCase(name, ".ndjson")) {
    return CorpusFormat::kJsonl;
  }
  return CorpusFormat::kText;
}

CorpusFormat FormatOfNamedFile(const std::string& path) {
  const CorpusFormat by_name = FormatOfName(path);
  if (by_name != CorpusFormat::kText) return by_name;
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec) &&
      std::filesystem::is_regular_file(path + ".dat", ec)) {
    return CorpusFormat::kFortune;
  }
  return by_name;
}

bool ExpandInput(const std::string& input, CorpusFormat format, std::vector<std::string>* files,
                 std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(input, ec);
  if (ec || !fs::exists(status)) {
    *error = "no such file or directory: " + input;
    return false;
  }
  if (!fs::is_directory(status)) {
    files->push_back(input);
    return true;
  }
  if (format == CorpusFormat::kFortune) {
    *error = input + " is a directory; name fortune files one by one";
    return false;
  }
  std::vector<std::string> found;
  for (fs::recursive_directory_iterator it(input, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = it->path().filename().string();
    bool wanted = false;
    switch (format) {
      case CorpusFormat::kText: wanted = EndsWithIgnoreCase(name, ".txt"); break;
      case CorpusFormat::kAnyText: wanted = name[0] != '.'; break;
      default: wanted = FormatOfName(name) == format; break;
    }
    if (wanted) found.push_back(it->path().string());
  }
  if (ec) {
    *error = "cannot list " + input + ": " + ec.message();
    return false;
  }
  std::sort(found.begin(), found.end());
  files->insert(files->end(), found.begin(), found.end());
  return true;
}

bool DecodeInput(std::string_view bytes, host::TextEncoding encoding, const std::string& name,
                 host::TextCodec* codec, std::string* utf8, std::string* error) {
  const std::string_view text = host::StripUtf8Bom(bytes);
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                            (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    *error = name + " is UTF-16 text; convert it to UTF-8";
    return false;
  }
  if (encoding == host::TextEncoding::kDetect || encoding == host::TextEncoding::kUtf8WhenValid) {
    encoding = host::IsValidUtf8(text) ? host::TextEncoding::kUtf8 : host::TextEncoding::kGb18030;
  }
  if (encoding == host::TextEncoding::kUtf8) {
    if (!host::IsValidUtf8(text)) {
      *error = name + " is not UTF-8 text";
      return false;
    }
    utf8->assign(text);
    return true;
  }
  size_t bad = 0;
  if (!codec->Gb18030ToUtf8(text, utf8, &bad)) {
    *error = name + " is neither UTF-8 nor GBK/GB18030 text (byte " + std::to_string(bad) + ")";
    return false;
  }
  return true;
}

bool ParseFortunes(std::string_view text, const RecordSink& sink, std::string* error) {
  std::vector<std::string> entry;
  for (std::string_view line : Lines(text)) {
    if (TrimBlanks(line) == "%") {
      if (!EmitFortune(entry, sink, error)) return false;
      entry.clear();
    } else {
      entry.push_back(StripEscapes(line));
    }
  }
  return EmitFortune(entry, sink, error);
}

bool ParseTsv(std::string_view text, const RecordSink& sink, std::string* error) {
  const std::vector<std::string_view> lines = Lines(text);
  std::vector<std::string> header;
  // A column whose values (empty ones aside) are all integers, or all
  // numbers, holds numbers, so that queries compare them as numbers.
  std::vector<FieldValue::Kind> kinds;
  int64_t number = 0;
  for (std::string_view line : lines) {
    ++number;
    if (line.empty()) continue;
    const std::vector<std::string_view> values = SplitTabs(line);
    if (header.empty()) {
      for (std::string_view name : values) header.emplace_back(TrimBlanks(name));
      kinds.assign(header.size(), FieldValue::Kind::kNull);
      continue;
    }
    if (values.size() != header.size()) {
      *error = LineError(number, std::to_string(values.size()) + " values, the header names " +
                                     std::to_string(header.size()) + " columns");
      return false;
    }
    for (size_t i = 0; i < values.size(); ++i) kinds[i] = WidenKind(kinds[i], values[i]);
  }
  number = 0;
  bool header_seen = false;
  for (std::string_view line : lines) {
    ++number;
    if (line.empty()) continue;
    if (!header_seen) {
      header_seen = true;
      continue;
    }
    const std::vector<std::string_view> values = SplitTabs(line);
    CorpusRecord record;
    for (size_t i = 0; i < values.size(); ++i) {
      record.emplace_back(header[i], TypedValue(kinds[i], values[i]));
    }
    std::string sink_error;
    if (!sink(record, &sink_error)) {
      *error = LineError(number, sink_error);
      return false;
    }
  }
  if (header.empty()) {
    *error = "no header line";
    return false;
  }
  return true;
}

bool ParseJsonLines(std::string_view text, const RecordSink& sink, std::string* error) {
  int64_t number = 0;
  for (std::string_view line : Lines(text)) {
    ++number;
    if (TrimBlanks(line).empty()) continue;
    CorpusRecord record;
    std::string parse_error;
    if (!ParseJsonObject(line, &record, &parse_error)) {
      *error = LineError(number, parse_error);
      return false;
    }
    if (!sink(record, &parse_error)) {
      *error = LineError(number, parse_error);
      return false;
    }
  }
  return true;
}

bool ReadCorpusFile(const std::string& path, CorpusFormat format, host::TextEncoding encoding,
                    host::TextCodec* codec, const RecordSink& sink, std::string* error) {
  std::string bytes;
  if (!ReadFile(path, &bytes, error)) return false;
  std::string text;
  if (!DecodeInput(bytes, encoding, path, codec, &text, error)) return false;
  std::string message;
  bool ok = true;
  switch (format) {
    case CorpusFormat::kText:
    case CorpusFormat::kAnyText: {
      const CorpusRecord record{
          {"path", FieldValue::Text(path)},
          {"title", FieldValue::Text(std::filesystem::path(path).stem().string())},
          {"body", FieldValue::Text(std::move(text))}};
      ok = sink(record, &message);
      break;
    }
    case CorpusFormat::kTsv: ok = ParseTsv(text, sink, &message); break;
    case CorpusFormat::kJsonl: ok = ParseJsonLines(text, sink, &message); break;
    case CorpusFormat::kFortune: ok = ParseFortunes(text, sink, &message); break;
  }
  if (!ok) *error = path + ": " + message;
  return ok;
}

}  // namespace vocs::cli
