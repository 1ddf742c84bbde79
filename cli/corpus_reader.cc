#include "cli/corpus_reader.h"

#include <algorithm>
#include <cctype>
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

}  // namespace

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
    const bool wanted = format == CorpusFormat::kText ? EndsWithIgnoreCase(name, ".txt")
                                                       : FormatOfName(name) == format;
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
  if (encoding == host::TextEncoding::kDetect) {
    encoding = host::IsValidUtf8(text) ? host::TextEncoding::kUtf8 : host::TextEncoding::kGbk;
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
  if (!codec->GbkToUtf8(text, utf8, &bad)) {
    *error = name + " is neither UTF-8 nor GBK text (byte " + std::to_string(bad) + ")";
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
  std::vector<std::string> header;
  int64_t number = 0;
  for (std::string_view line : Lines(text)) {
    ++number;
    if (line.empty()) continue;
    const std::vector<std::string_view> values = SplitTabs(line);
    if (header.empty()) {
      for (std::string_view name : values) header.emplace_back(TrimBlanks(name));
      continue;
    }
    if (values.size() != header.size()) {
      *error = LineError(number, std::to_string(values.size()) + " values, the header names " +
                                     std::to_string(header.size()) + " columns");
      return false;
    }
    CorpusRecord record;
    for (size_t i = 0; i < values.size(); ++i) {
      record.emplace_back(header[i], FieldValue::Text(std::string(values[i])));
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
    case CorpusFormat::kText: {
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
