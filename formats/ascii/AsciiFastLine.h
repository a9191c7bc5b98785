#pragma once
// The plain case of a number line, read without the token scanner: blanks,
// tabs and CRs between numbers, one optional comma after a number, signs before
// it, decimal numerals. Whatever else a line holds (unit suffixes, dB, comments,
// odd characters, anything that is an error) is declined, and the caller reads
// the table with the scanner instead, which gives the same values for every
// line accepted here.

#include <cstddef>

enum class EAsciiFastLine {
    numbers, // count numbers were read (at most values' 257 are kept)
    empty,   // blanks only: the scanner skips such a line
    decline, // not the plain case
};

// [p, e) is one line without its line feed.
EAsciiFastLine ParseAsciiNumberLine(const char* p, const char* e, double* values, unsigned& count);

// One decimal numeral as the scanner collects it (digits, optional point and
// digits, optional exponent), converted like atof: correctly rounded. Returns
// the end of the numeral, or null when the text there is not a complete
// numeral or is one the scanner would treat differently (too long or out of
// the range of a double).
const char* ParseAsciiNumeral(const char* p, const char* e, double& value);
