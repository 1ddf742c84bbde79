// The command's corpus readers on any bytes: input decoding (UTF-8 or
// GBK/GB18030, a byte order mark, UTF-16 refused) and the TSV, JSON Lines and
// fortune parsers. Every record holds UTF-8 names and values; a refusal says
// why.
//
// Input: a selector byte (bits 0-1: TSV, JSON Lines, fortune, and again TSV;
// bits 2-3: the encoding, detected, UTF-8 when valid, GB18030 or UTF-8), then
// the file's bytes.
#include <string>

#include "cli/corpus_reader.h"
#include "fuzz_support.h"
#include "host/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vocs::fuzz::Check;
  using vocs::cli::FieldValue;
  if (size == 0) return 0;
  static vocs::host::TextCodec codec;
  const vocs::host::TextEncoding encodings[] = {
      vocs::host::TextEncoding::kDetect, vocs::host::TextEncoding::kUtf8WhenValid,
      vocs::host::TextEncoding::kGb18030, vocs::host::TextEncoding::kUtf8};
  const std::string_view bytes = vocs::fuzz::AsText(data + 1, size - 1);
  std::string text;
  std::string error;
  if (!vocs::cli::DecodeInput(bytes, encodings[data[0] >> 2 & 3], "input", &codec, &text,
                              &error)) {
    Check(error.find("input") != std::string::npos, "a refusal names the input");
    return 0;
  }
  Check(vocs::host::IsValidUtf8(text), "decoded text is UTF-8");
  size_t records = 0;
  const auto sink = [&](const vocs::cli::CorpusRecord& record, std::string*) {
    // A JSON line may be an empty object and a TSV header may leave a name
    // empty: the importer refuses such a record, or column, with a message.
    for (const auto& [name, value] : record) {
      Check(vocs::host::IsValidUtf8(name), "a field has a UTF-8 name");
      if (value.kind == FieldValue::Kind::kText) {
        Check(vocs::host::IsValidUtf8(value.text), "a text value is UTF-8");
      }
    }
    ++records;
    return true;
  };
  bool ok = false;
  switch (data[0] & 3) {
    case 1: ok = vocs::cli::ParseJsonLines(text, sink, &error); break;
    case 2: ok = vocs::cli::ParseFortunes(text, sink, &error); break;
    default: ok = vocs::cli::ParseTsv(text, sink, &error); break;
  }
  if (!ok) Check(!error.empty(), "a refusal says why");
  return 0;
}
