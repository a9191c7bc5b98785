#pragma once
// The text of printf's "%.*e" for the common case of a table of samples,
// at a fraction of the cost of the general conversion: the ASCII and the UFF
// exports write millions of such numbers, and the general algorithm (or
// printf) would take most of their time.
//
// The digits are |value| × 10^k rounded to an integer, where 10^k is exact
// (|k| <= 22) and the product carries a single rounding. A value whose digits
// lie that close to a rounding tie, or that needs more than 12 digits after
// the point or a power of ten beyond 22, is left to the caller's exact
// conversion: then nothing is written and the result is null.

namespace ScientificText {

// Writes the value as "%.*e" would (with cPlus before a non-negative value
// when cPlus is not 0, as "%+.*e" does for '+') and returns the end of the
// text; null when the value is not taken (zero, subnormal, non-finite, or as
// above). At most 24 bytes are written.
char* Append(double value, int digits, char cPlus, char* out);

} // namespace ScientificText
