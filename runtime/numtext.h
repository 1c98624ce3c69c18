// Numbers to and from decimal text the way the runtime converts them.
#pragma once

#include <string>
#include <string_view>

namespace wv {

// 10 to the n-th (exact from a table up to 10^22).
double pow10(int n);

// Rounds half away from zero to the given decimals (tolerant of the binary representation, so
// that 1.005 rounds to 1.01).
double roundTo(double value, int decimals);

// STR(value, width, decimals): right-aligned in width, rounded to decimals; asterisks in every
// position when it does not fit. Width 0 or less gives an empty text.
std::string str(double value, int width, int decimals);
// Writes the same into out[0..width) without allocating; returns false when it did not fit
// (out then holds asterisks).
bool strInto(double value, int width, int decimals, char* out);

// The leading number of a text: blanks skipped, optional sign, digits, optional point and
// digits; anything else ends it. A text without digits reads 0.
double val(std::string_view s);

}  // namespace wv
