// The result records that the engines hand to the writers, and their field
// vocabulary: column names, aliases, display names and tags.
//
// Every field is text: the engines format the numbers before handing a record
// over, and the writers copy the text unchanged. A record is a span of views
// that stays valid only for the writeRecord call it is passed to.
//
// The Chinese column names are GBK bytes (the module's code page); a tag is a
// column name in angle brackets. The display names equal the column names.
#ifndef VOCS_OUTPUT_RESULT_RECORD_H_
#define VOCS_OUTPUT_RESULT_RECORD_H_

#include <array>
#include <span>
#include <string_view>

namespace vocs {

using RecordView = std::span<const std::string_view>;

inline constexpr size_t kFrequencyFieldCount = 7;
inline constexpr size_t kCooccurrenceFieldCount = 6;

// ItemName, Frequency, LineCount, MaxValue, HypominValue, MinValue, Average.
using FrequencyRecord = std::array<std::string_view, kFrequencyFieldCount>;
// Item1Name, Item2Name, Frequency, Support1, Support2, Reliability.
using CooccurrenceRecord = std::array<std::string_view, kCooccurrenceFieldCount>;

struct FieldVocabulary {
  std::string_view column_name;   // also the display name
  std::string_view alias;
  std::string_view tag;
};

// "词条名称" 词频 出现行数 最大值 次小值 最小值 平均值, in GBK.
inline constexpr std::array<FieldVocabulary, kFrequencyFieldCount> kFrequencyFields = {{
    {"\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6", "ItemName", "<\xB4\xCA\xCC\xF5\xC3\xFB\xB3\xC6>"},
    {"\xB4\xCA\xC6\xB5", "Frequency", "<\xB4\xCA\xC6\xB5>"},
    {"\xB3\xF6\xCF\xD6\xD0\xD0\xCA\xFD", "LineCount", "<\xB3\xF6\xCF\xD6\xD0\xD0\xCA\xFD>"},
    {"\xD7\xEE\xB4\xF3\xD6\xB5", "MaxValue", "<\xD7\xEE\xB4\xF3\xD6\xB5>"},
    {"\xB4\xCE\xD0\xA1\xD6\xB5", "HypominValue", "<\xB4\xCE\xD0\xA1\xD6\xB5>"},
    {"\xD7\xEE\xD0\xA1\xD6\xB5", "MinValue", "<\xD7\xEE\xD0\xA1\xD6\xB5>"},
    {"\xC6\xBD\xBE\xF9\xD6\xB5", "Average", "<\xC6\xBD\xBE\xF9\xD6\xB5>"},
}};

// 词条1名称 词条2名称 共现频率 支持度1 支持度2 置信度, in GBK.
inline constexpr std::array<FieldVocabulary, kCooccurrenceFieldCount> kCooccurrenceFields = {{
    {"\xB4\xCA\xCC\xF5"
     "1\xC3\xFB\xB3\xC6",
     "Item1Name",
     "<\xB4\xCA\xCC\xF5"
     "1\xC3\xFB\xB3\xC6>"},
    {"\xB4\xCA\xCC\xF5"
     "2\xC3\xFB\xB3\xC6",
     "Item2Name",
     "<\xB4\xCA\xCC\xF5"
     "2\xC3\xFB\xB3\xC6>"},
    {"\xB9\xB2\xCF\xD6\xC6\xB5\xC2\xCA", "Frequency", "<\xB9\xB2\xCF\xD6\xC6\xB5\xC2\xCA>"},
    {"\xD6\xA7\xB3\xD6\xB6\xC8"
     "1",
     "Support1",
     "<\xD6\xA7\xB3\xD6\xB6\xC8"
     "1>"},
    {"\xD6\xA7\xB3\xD6\xB6\xC8"
     "2",
     "Support2",
     "<\xD6\xA7\xB3\xD6\xB6\xC8"
     "2>"},
    {"\xD6\xC3\xD0\xC5\xB6\xC8", "Reliability", "<\xD6\xC3\xD0\xC5\xB6\xC8>"},
}};

}  // namespace vocs

#endif  // VOCS_OUTPUT_RESULT_RECORD_H_
