// Token sequences and error texts of the text scanner, read from memory, from a
// stream and through a caller's getChar, which must all agree.

#include "common/scanner/Scanner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Describe(const Scanner* s)
{
    char buf[64];
    switch (s->kind) {
    case SCAN_EOF: return "EOF";
    case SCAN_EOL: return "EOL";
    case SCAN_INTEGER: return "i:" + std::to_string(s->value.i);
    case SCAN_FLOAT:
        std::snprintf(buf, sizeof buf, "f:%.17g", s->value.f);
        return buf;
    case SCAN_CHAR: return "c:" + std::to_string(int(s->value.c));
    case SCAN_STRING: return "s:" + std::string(s->value.text, std::size_t(s->length));
    case SCAN_IDENT: return "id:" + std::string(s->value.text, std::size_t(s->length));
    default:
        if (s->kind >= 0 && s->kind < 256)
            return std::string("'") + char(s->kind) + "'";
        return "kind:" + std::to_string(s->kind);
    }
}

// Tokens up to and including EOF, or up to the error ("ERR:<message>").
std::vector<std::string> Drain(Scanner* s)
{
    std::vector<std::string> out;
    for (int guard = 0; guard < 100000; ++guard) {
        if (ScanNext(s)) {
            out.push_back(std::string("ERR:") + s->message);
            return out;
        }
        out.push_back(Describe(s));
        if (s->kind == SCAN_EOF)
            return out;
    }
    out.push_back("NO END");
    return out;
}

struct MemSource {
    const std::string* text;
    std::size_t pos;
};

int MemGetChar(Scanner* s)
{
    auto* m = static_cast<MemSource*>(s->user);
    if (m->pos >= m->text->size())
        return -1;
    return static_cast<unsigned char>((*m->text)[m->pos++]);
}

// Scans `text` from memory, checks that a stream and a getChar callback give
// the same tokens, and returns them.
std::vector<std::string> Tokens(const std::string& text)
{
    Scanner* s = ScanOpenMemory(text.data(), text.size());
    std::vector<std::string> fromMemory = Drain(s);
    ScanClose(s);

    MemSource src{&text, 0};
    s = ScanOpen(nullptr, MemGetChar, &src);
    EXPECT_EQ(Drain(s), fromMemory) << "getChar source differs for: " << text;
    ScanClose(s);

    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    s = ScanOpen(f, nullptr);
    EXPECT_EQ(Drain(s), fromMemory) << "stream source differs for: " << text;
    ScanClose(s);
    std::fclose(f);
    return fromMemory;
}

using V = std::vector<std::string>;

// Token sequences up to the end or the first error, each scanned from
// memory, a stream and a getChar callback.
TEST(ScannerTokens, Sequences)
{
    const std::string longText(5000, 'q');   // longer than the first text buffer
    const std::string name60 = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefgh";
    const std::string eofInString = "ERR:Unexpected end of file in string constant, started in line ";
    const std::string badChar = "ERR:missing ' in character constant";
    const struct {
        std::string text;
        V tokens;
    } cases[] = {
        // numerals
        {"12", {"i:12", "EOF"}},
        {"12.", {"f:12", "EOF"}},
        {"1.5E-3", {"f:0.0015", "EOF"}},
        {"2.5e+2 007", {"f:250", "i:7", "EOF"}},
        // a second point ends the numeral; letters after digits start a name
        {"1.2.3", {"f:1.2", "'.'", "i:3", "EOF"}},
        {"0x1F", {"i:0", "id:x1F", "EOF"}},
        // signs and points are character tokens
        {".5", {"'.'", "i:5", "EOF"}},
        {"+1.0e1,-2", {"'+'", "f:10", "','", "'-'", "i:2", "EOF"}},
        // integers saturate at the limits of a 32-bit long
        {"2147483647", {"i:2147483647", "EOF"}},
        {"2147483648", {"i:2147483647", "EOF"}},
        {"99999999999999999999", {"i:2147483647", "EOF"}},
        {"1e+x", {"ERR:error in exponent of floating point numeral"}},
        {"1.0E-", {"ERR:error in exponent of floating point numeral"}},
        {"3 12else", {"i:3", "ERR:error in exponent of floating point numeral"}},
        // names and operators; bytes above 127 are no letters in the "C" classification
        {"a/b", {"id:a", "'/'", "id:b", "EOF"}},
        {"_x1 y_2", {"id:_x1", "id:y_2", "EOF"}},
        {name60 + "+", {"id:" + name60.substr(0, 48), "'+'", "EOF"}},  // names are cut at 48
        {"\xB0" "C", {"'\xB0'", "id:C", "EOF"}},
        // lines; a backslash before a line feed joins the lines, elsewhere it is a token
        {"1\r\n2\t3\r\n", {"i:1", "EOL", "i:2", "i:3", "EOL", "EOF"}},
        {"12\\\n34", {"i:1234", "EOF"}},
        {"ab\\\n\\\ncd", {"id:abcd", "EOF"}},
        {"1\\2", {"i:1", "'\\'", "i:2", "EOF"}},
        // a zero byte is a character token, also right after a line feed
        {std::string("\n\0" "1", 3), {"EOL", std::string("'\0'", 3), "i:1", "EOF"}},
        // comments, which do not nest
        {"abc // note 1 2\n7", {"id:abc", "EOL", "i:7", "EOF"}},
        {"1 /* 2\n 3 */ 4", {"i:1", "i:4", "EOF"}},
        {"1 /* a /* b */ 2 */", {"i:1", "i:2", "'*'", "'/'", "EOF"}},
        {"/**/5", {"i:5", "EOF"}},
        {"", {"EOF"}},
        {"// only", {"EOF"}},
        {"1 /* open", {"i:1", "ERR:unexpected end of file in comment"}},
        {"/*/", {"ERR:unexpected end of file in comment"}},
        // strings: adjacent ones join, line feeds after one are passed over,
        // "$0" puts a zero byte into the text
        {"\"ab\" \"cd\"", {"s:abcd", "EOF"}},
        {"\"ab\"\n\n  \"cd\" x", {"s:abcd", "id:x", "EOF"}},
        {"\"a$tb$101$n$$$\"\"", {"s:a\tbA\n$\"", "EOF"}},
        {"\"line\nfeed\"", {"s:line\nfeed", "EOF"}},
        {"\"\"", {"s:", "EOF"}},
        {"\"a\"\n1", {"s:a", "i:1", "EOF"}},
        {"\"a$0b\"", {std::string("s:a\0b", 5), "EOF"}},
        {"\"" + longText + "\"", {"s:" + longText, "EOF"}},
        // an unterminated string names the line of its opening quote
        {"\n\n\n\n\n\n\"abc", {"EOL", "EOL", "EOL", "EOL", "EOL", "EOL", eofInString + "7"}},
        {"\"\nabc\n", {eofInString + "1"}},
        {"\"ab\" \"cd", {eofInString + "1"}},
        {"\"ab$", {eofInString + "1"}},
        {"\"$777\"", {"ERR:oktal constant is out of range"}},
        {"'\\400'", {"ERR:oktal constant is out of range"}},
        {"\"$377$0101\"", {"s:\xFF\x08" "1", "EOF"}},
        // character constants
        {"'x'", {"c:120", "EOF"}},
        {"'\\n' '\\t' '\\r' '\\q' '\\101' '\\''", {"c:10", "c:9", "c:13", "c:113", "c:65", "c:39", "EOF"}},
        {"'xy'", {badChar}},
        {"'x", {badChar}},
        {"'", {badChar}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

// Numerals of the shapes tables hold, each bit-identical to atof.
TEST(ScannerNumerals, RandomNumeralsMatchAtof)
{
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> mant(0.0, 10.0);
    std::uniform_int_distribution<int> expo(-330, 310);
    std::uniform_int_distribution<int> digits(0, 25);
    // Ties, limits, overflow and underflow first, then random ones.
    std::vector<std::string> numerals = {"0.1", "3.14159265358979323846", "1e308", "2.2250738585072014e-308",
                                         "9.999999999999999e22", "1e400", "1e-400", "4.9e-324"};
    std::string text;
    for (const std::string& n : numerals)
        text += n + "\t";
    for (int i = 0; i < 20000; ++i) {
        char buf[128];
        double v = mant(rng) * std::pow(10.0, expo(rng) / 10);
        switch (i % 4) {
        case 0: std::snprintf(buf, sizeof buf, "%.17g", v); break;
        case 1: std::snprintf(buf, sizeof buf, "%.*f", digits(rng) % 9, mant(rng) * 1000); break;
        case 2: std::snprintf(buf, sizeof buf, "%.*e", digits(rng), v); break;
        default: {
            // Long digit strings around the 19-digit and 2^53 limits.
            std::string d;
            int n = 1 + digits(rng);
            for (int k = 0; k < n; ++k)
                d += char('0' + rng() % 10);
            std::snprintf(buf, sizeof buf, "%s.%sE%d", d.c_str(), d.c_str(), int(rng() % 60) - 30);
        }
        }
        if (!std::strchr(buf, '.') && !std::strchr(buf, 'e') && !std::strchr(buf, 'E'))
            std::strcat(buf, ".");
        numerals.push_back(buf);
        text += buf;
        text += (i % 9 == 8) ? "\n" : "\t";
    }
    Scanner* s = ScanOpenMemory(text.data(), text.size());
    std::size_t k = 0;
    while (ScanNextSkipEol(s) == 0 && s->kind != SCAN_EOF) {
        ASSERT_EQ(s->kind, SCAN_FLOAT) << numerals[k];
        ASSERT_LT(k, numerals.size());
        double expected = std::atof(numerals[k].c_str());
        ASSERT_EQ(std::memcmp(&s->value.f, &expected, sizeof(double)), 0)
            << numerals[k] << ": " << s->value.f << " vs " << expected;
        ++k;
    }
    EXPECT_EQ(s->error, 0) << s->message;
    EXPECT_EQ(k, numerals.size());
    ScanClose(s);
}

TEST(ScannerNumerals, NumeralTextAndLengthLimit)
{
    Scanner* s = ScanOpenMemory("1.5e-3", 6);
    ASSERT_EQ(ScanNext(s), 0);
    EXPECT_STREQ(s->numeral, "1.5E-3");
    ScanClose(s);

    EXPECT_EQ(Tokens(std::string(99, '7')), (V{"i:2147483647", "EOF"}));
    EXPECT_EQ(Tokens(std::string(100, '1')), (V{"ERR:numeral is too long"}));
    EXPECT_EQ(Tokens(std::string(98, '1') + ".25"), (V{"ERR:numeral is too long"}));
    // The first error of a numeral stays: a bad exponent after an overlong mantissa.
    EXPECT_EQ(Tokens(std::string(120, '1') + "e "), (V{"ERR:numeral is too long"}));

    std::string n150(150, '1');
    s = ScanOpenMemory(n150.data(), n150.size());
    EXPECT_NE(ScanNext(s), 0);
    EXPECT_EQ(std::strlen(s->numeral), 99u);
    ScanClose(s);
}

// The line counter after each token before the end.
std::vector<int> Lines(const std::string& text)
{
    Scanner* s = ScanOpenMemory(text.data(), text.size());
    std::vector<int> lines;
    while (ScanNext(s) == 0 && s->kind != SCAN_EOF)
        lines.push_back(s->line);
    ScanClose(s);
    return lines;
}

TEST(ScannerLines, LineCounter)
{
    // The look-ahead has already counted the line feed ending line n.
    EXPECT_EQ(Lines("1\n22\n"), (std::vector<int>{2, 2, 3, 3}));
    // Lines joined by a backslash still count.
    EXPECT_EQ(Lines("12\\\n34\n"), (std::vector<int>{3, 3}));
}

TEST(ScannerStrings, AStrayQuoteStopsAtTheStringLimit)
{
    // A quote in front of 3 MiB of text that never closes: the scanner gives
    // up once the string is 1 MiB long instead of gathering the whole rest.
    const std::string text = "1 \"" + std::string(3u << 20, 'x');
    MemSource src{&text, 0};
    Scanner* s = ScanOpen(nullptr, MemGetChar, &src);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ScanNext(s), 0);
    EXPECT_NE(ScanNext(s), 0);
    EXPECT_STREQ(s->message, "Syntax error, scanner can't parse input stream");
    EXPECT_LT(src.pos, (1u << 20) + 1024u);
    EXPECT_LE(s->textCap, std::size_t(2) << 20);
    ScanClose(s);
    // A string of exactly the limit is still one token.
    const std::string full(1u << 20, 'y');
    EXPECT_EQ(Tokens("\"" + full + "\""), (V{"s:" + full, "EOF"}));
}

TEST(ScannerLifecycle, NoSourceAndAStickyError)
{
    EXPECT_EQ(ScanOpen(nullptr, nullptr), nullptr);
    ScanClose(nullptr);
    Scanner* s = ScanOpenMemory("'xy' 5", 6);
    EXPECT_EQ(ScanNext(s), 1);
    EXPECT_EQ(ScanNext(s), 1) << "an error stays";
    ScanClose(s);
}

TEST(ScannerInput, NumeralsAcrossTheReadBlockBorder)
{
    // Digit runs are taken from the read buffer in one sweep; a run that
    // reaches the end of the 64 KiB block must continue in the next one.
    for (std::size_t start = 65520; start <= 65540; ++start) {
        std::string text(start, ' ');
        text[10] = '\n';
        text += "1234567.125e+2\n98765 x";
        EXPECT_EQ(Tokens(text), (V{"EOL", "f:123456712.5", "EOL", "i:98765", "id:x", "EOF"})) << start;
    }
}

int CountingGetChar(Scanner* s)
{
    int* calls = static_cast<int*>(s->user);
    ++*calls;
    return *calls <= 3 ? '7' : -1;
}

TEST(ScannerInput, EndOfCallbackIsFinal)
{
    int calls = 0;
    Scanner* s = ScanOpen(nullptr, CountingGetChar, &calls);
    EXPECT_EQ(Drain(s), (V{"i:777", "EOF"}));
    ASSERT_EQ(ScanNext(s), 0);
    EXPECT_EQ(s->kind, SCAN_EOF) << "the end stays the end";
    EXPECT_EQ(calls, 4);   // not asked again after it reported its end
    ScanClose(s);
}

}  // namespace
