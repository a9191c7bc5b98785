#include "formats/recorder/RecorderText.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace RecorderText {
namespace {

locale_t CLocale()
{
    static const locale_t loc = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

}  // namespace

std::int32_t Atol(std::string_view text)
{
    std::string s(text.substr(0, 64));
    long long v = ::strtoll_l(s.c_str(), nullptr, 10, CLocale());
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return std::int32_t(v);
}

double Atof(std::string_view text, std::size_t& end)
{
    // A numeral longer than this is no value of a recorder file; the cut
    // keeps a hostile line from costing more than a copy of its start.
    std::string s(text.substr(0, 512));
    char* stop = nullptr;
    double v = ::strtod_l(s.c_str(), &stop, CLocale());
    end = std::size_t(stop - s.c_str());
    return v;
}

double Atof(std::string_view text)
{
    std::size_t end = 0;
    return Atof(text, end);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text)
{
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Upper(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

EReadResult ReadSmallFile(const char* path, std::size_t limit, std::string& bytes, std::string& reason)
{
    bytes.clear();
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        reason = std::string(path) + ": " + std::strerror(errno);
        return EReadResult::CannotOpen;
    }
    char block[8192];
    EReadResult result = EReadResult::Ok;
    for (;;) {
        std::size_t n = std::fread(block, 1, sizeof block, f);
        if (bytes.size() + n > limit) {
            reason = std::string(path) + ": larger than " + std::to_string(limit) + " bytes";
            result = EReadResult::TooLarge;
            break;
        }
        bytes.append(block, n);
        if (n < sizeof block) {
            if (std::ferror(f)) {
                reason = std::string(path) + ": " + std::strerror(errno);
                result = EReadResult::CannotOpen;
            }
            break;
        }
    }
    std::fclose(f);
    return result;
}

}  // namespace RecorderText
