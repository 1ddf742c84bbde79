// FormatFixed4: a number as "%0.4f" prints it, at a fraction of printf's
// cost: the average of every delivered frequency record and the three values
// of every delivered co-occurrence record. Any thread.
//
// The digits are those of the exact binary value rounded to four decimals,
// ties to even, as printf rounds in the default rounding mode. Negative,
// infinite, NaN and very large values go to snprintf itself.
#ifndef VOCS_TEXT_FIXED_FORMAT_H_
#define VOCS_TEXT_FIXED_FORMAT_H_

#include <string_view>

namespace vocs {

// Formats into `buffer` (NUL-terminated, at most 39 characters, as a 40-byte
// buffer given to snprintf) and returns a view of the text.
std::string_view FormatFixed4(double value, char (&buffer)[40]);

}  // namespace vocs

#endif  // VOCS_TEXT_FIXED_FORMAT_H_
