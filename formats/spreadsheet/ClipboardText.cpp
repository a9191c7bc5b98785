#include "formats/spreadsheet/ClipboardText.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <stdlib.h>
#include <string>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// One number at p (after blanks, with an optional sign); advances p past it.
bool ReadNumber(const char*& p, const char* end, double& value)
{
    while (p < end && IsBlank(*p)) ++p;
    const char* q = p;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    // A second sign is not a number.
    if (q < end && (*q == '+' || *q == '-')) return false;
    double v = 0.0;
    const std::from_chars_result r = std::from_chars(q, end, v, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument || r.ptr == q) return false;
    // Out of range: from_chars leaves v alone; strtod gives the infinity or
    // the zero (or denormal) the text rounds to, read with "." whatever the
    // process's locale says.
    if (r.ec == std::errc::result_out_of_range) {
        static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
        const std::string digits(q, r.ptr);
        v = strtod_l(digits.c_str(), nullptr, c);
    }
    value = negative ? -v : v;
    p = r.ptr;
    return true;
}

// The line from p to its line feed (or the end), with "," turned into ".".
void NextLine(const char*& p, const char* end, std::string& line)
{
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
    const char* stop = nl ? nl : end;
    line.assign(p, stop);
    for (char& c : line)
        if (c == ',') c = '.';
    p = nl ? nl + 1 : end;
}

bool IsEmptyLine(const std::string& line) { return line.empty() || line == "\r"; }

} // namespace

bool ParseClipboardText(const char* text, std::size_t length, CNumberTable& table)
{
    if (!text) {
        table.Finish();
        return true;
    }
    if (const void* nul = std::memchr(text, '\0', length)) length = std::size_t(static_cast<const char*>(nul) - text);
    const char* p = text;
    const char* const end = text + length;
    std::string line;

    std::size_t columns = 0;
    if (p < end) {
        const char* save = p;
        NextLine(p, end, line);
        if (!IsEmptyLine(line)) {
            const char* q = line.data();
            double v;
            while (ReadNumber(q, line.data() + line.size(), v)) ++columns;
        }
        p = save;
    }

    std::uint32_t row = 0;
    while (columns > 0 && p < end) {
        NextLine(p, end, line);
        if (IsEmptyLine(line)) break;
        const char* q = line.data();
        const char* const lineEnd = line.data() + line.size();
        bool readable = true;
        for (std::size_t c = 0; c < columns; ++c) {
            double v = 0.0;
            if (readable && !ReadNumber(q, lineEnd, v)) {
                readable = false;
                v = 0.0;
            }
            if (!table.Set(row, std::uint32_t(c), v)) return false;
        }
        if (++row == 0) return false;
    }
    table.Finish();
    return true;
}
