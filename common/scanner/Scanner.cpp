#include "common/scanner/Scanner.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

const char kMsgSyntax[] = "Syntax error, scanner can't parse input stream";
const char kMsgEofComment[] = "unexpected end of file in comment";
const char kMsgMissingQuote[] = "missing ' in character constant";
const char kMsgExponent[] = "error in exponent of floating point numeral";
const char kMsgTooLong[] = "numeral is too long";
const char kMsgOctal[] = "oktal constant is out of range";

// Multi-character operators, sorted by text.
struct Operator {
    const char* text;
    int length;
    int kind;
};
constexpr Operator kOperators[] = {
    {"\n", 1, SCAN_EOL},
    {"/*", 2, SCAN_BLOCK_COMMENT},
    {"//", 2, SCAN_LINE_COMMENT},
};
constexpr int kOperatorCount = int(sizeof(kOperators) / sizeof(kOperators[0]));

// Character classes of the "C" locale, independent of the process locale.
inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsNameStart(int c) { return IsLetter(c) || c == '_'; }
inline bool IsNameChar(int c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
inline bool IsWhite(int c) { return c == ' ' || c == '\r' || c == '\t'; }
inline bool IsOctal(int c) { return c >= '0' && c <= '7'; }

void SetError(Scanner* s, const char* text)
{
    s->error = 1;
    s->message = text;
}

// Refills the block buffer of a stream; false at the end of the stream.
bool Refill(Scanner* s)
{
    if (s->memory || !s->block || !s->file)
        return false;
    std::size_t n = std::fread(s->block, 1, kBlockSize, s->file);
    if (n == 0)
        return false;
    s->bufPos = s->block;
    s->bufEnd = s->block + n;
    return true;
}

[[gnu::noinline]] int ReadSlow(Scanner* s)
{
    if (s->ended)
        return -1;
    int c;
    if (s->getChar == ScanDefaultGetChar) {
        c = Refill(s) ? *s->bufPos++ : -1;
    } else {
        c = s->getChar(s);
        if (c > 255)
            c &= 0xFF;
    }
    // A source is not asked again once it reported its end.
    if (c < 0) {
        s->ended = true;
        c = -1;
    }
    return c;
}

// Exact powers of ten as doubles.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The reading position, kept in locals while a token is scanned so that the
// per-character work stays in registers; written back to the scanner when the
// token is done and before a caller's getChar is asked.
struct Cursor {
    Scanner* s;
    const unsigned char* pos;
    const unsigned char* end;
    int cur;
    int next;
    int line;

    explicit Cursor(Scanner* sc)
        : s(sc), pos(sc->bufPos), end(sc->bufEnd), cur(sc->cur), next(sc->next), line(sc->line)
    {
    }
    [[gnu::always_inline]] void Store()
    {
        s->bufPos = pos;
        s->bufEnd = end;
        s->cur = cur;
        s->next = next;
        s->line = line;
    }
    [[gnu::always_inline]] int ReadFromSource()
    {
        Store();
        int c = ReadSlow(s);
        pos = s->bufPos;
        end = s->bufEnd;
        return c;
    }
    [[gnu::always_inline]] int Read() { return pos < end ? *pos++ : ReadFromSource(); }
    [[gnu::always_inline]] void ReadNext()
    {
        next = Read();
        if (next == '\n')
            ++line;
    }
    // One character on; a backslash right before a line feed joins the lines.
    [[gnu::always_inline]] void Advance()
    {
        cur = next;
        ReadNext();
        // Tested apart: a combined test of both characters is slower in the common case.
        if (__builtin_expect(cur == '\\', 0))
            JoinLines();
    }
    [[gnu::always_inline]] void JoinLines()
    {
        while (cur == '\\' && next == '\n') {
            ReadNext();
            cur = next;
            ReadNext();
        }
    }
};

bool GrowText(Scanner* s, std::size_t need)
{
    if (need <= s->textCap)
        return true;
    std::size_t cap = s->textCap ? s->textCap : 64;
    while (cap < need)
        cap *= 2;
    char* p = static_cast<char*>(std::realloc(s->textBuf, cap));
    if (!p)
        return false;
    s->textBuf = p;
    s->textCap = cap;
    return true;
}

// Escape after "\" in a character constant or "$" in a string; cur is the
// character after the escape sign. Returns the byte (-1 at the end of input)
// and leaves cur after the escape.
[[gnu::always_inline]] inline int ReadEscape(Cursor& c)
{
    int ch = c.cur;
    if (IsOctal(ch)) {
        int value = 0;
        for (int n = 0; n < 3 && IsOctal(c.cur); ++n) {
            value = value * 8 + (c.cur - '0');
            c.Advance();
        }
        if (value > 255)
            SetError(c.s, kMsgOctal);
        return value & 0xFF;
    }
    if (ch == -1)
        return -1;   // nothing to escape; the caller meets the end of input
    c.Advance();
    switch (ch) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return ch;
    }
}

[[gnu::always_inline]] inline void ScanNumeral(Cursor& c)
{
    Scanner* s = c.s;
    // The cursor lives in locals, so these byte stores force no reloads.
    char* text = s->numeral;
    int len = 0;
    bool tooLong = false;
    auto put = [&](int ch) {
        if (len < SCAN_NUMERAL_BUFFER - 1)
            text[len++] = char(ch);
        else if (!tooLong) {
            tooLong = true;
            if (!s->error)
                SetError(s, kMsgTooLong);
        }
    };
    // The value is gathered while the digits pass: the significant digits of
    // the mantissa (exact up to 19 of them) and the decimal exponent.
    std::uint64_t mant = 0;
    int digits = 0;
    bool exact = true;
    int e10 = 0;
    auto digit = [&](int ch) {
        if (digits || ch != '0') {
            if (digits < 19) {
                mant = mant * 10 + std::uint64_t(ch - '0');
                ++digits;
            } else {
                exact = false;
            }
        }
    };
    // Hands every digit of a run to `take`. Digits are neither backslashes nor
    // line feeds, so a run that continues in the read buffer is taken from it
    // directly; the look-ahead is rebuilt behind the run.
    auto run = [&c](auto take) {
        while (IsDigit(c.cur)) {
            take(c.cur);
            if (!IsDigit(c.next)) {
                c.Advance();
                continue;
            }
            take(c.next);
            const unsigned char* p = c.pos;
            while (p < c.end && IsDigit(*p))
                take(*p++);
            c.pos = p;
            c.ReadNext();
            c.Advance();
        }
    };
    int kind = SCAN_INTEGER;
    run([&](int ch) {
        put(ch);
        digit(ch);
    });
    // atol of a 32-bit long: out-of-range values saturate.
    const bool intOverflow = !exact || mant > std::uint64_t(INT_MAX);
    if (c.cur == '.') {
        put('.');
        kind = SCAN_FLOAT;
        c.Advance();
        run([&](int ch) {
            put(ch);
            digit(ch);
            --e10;   // a dropped digit makes the value inexact, which then goes the slow way
        });
    }
    if (c.cur == 'e' || c.cur == 'E') {
        put('E');
        kind = SCAN_FLOAT;
        c.Advance();
        int sign = 1;
        if (c.cur == '+' || c.cur == '-') {
            sign = c.cur == '-' ? -1 : 1;
            put(c.cur);
            c.Advance();
        }
        // The first error of a numeral is the one reported.
        if (!IsDigit(c.cur) && !tooLong)
            SetError(s, kMsgExponent);
        int ex = 0;
        run([&](int ch) {
            put(ch);
            if (ex < 100000)
                ex = ex * 10 + (ch - '0');
        });
        e10 += sign * ex;
    }
    text[len] = '\0';
    s->kind = kind;
    if (s->error)
        return;
    if (kind == SCAN_INTEGER) {
        s->value.i = intOverflow ? INT_MAX : std::int32_t(mant);
        return;
    }
    // Mantissa and power of ten exact as doubles: one rounding, the same value
    // as atof in the "C" locale. Otherwise from_chars, and strtod for what
    // from_chars refuses (overflow to infinity, underflow to zero).
    double d;
    if (exact && mant <= (std::uint64_t(1) << 53) && e10 >= -22 && e10 <= 22) {
        double v = double(mant);
        d = e10 < 0 ? v / kPow10[-e10] : v * kPow10[e10];
    } else {
        auto r = std::from_chars(text, text + len, d);
        if (r.ec != std::errc() || r.ptr != text + len) {
            errno = 0;
            d = std::strtod(text, nullptr);
        }
    }
    s->value.f = d;
}

[[gnu::always_inline]] inline void ScanName(Cursor& c)
{
    char text[SCAN_MAX_NAME + 1];
    int len = 0;
    while (IsNameChar(c.cur)) {
        if (len < SCAN_MAX_NAME)
            text[len++] = char(c.cur);
        c.Advance();
    }
    text[len] = '\0';
    Scanner* s = c.s;
    std::memcpy(s->textBuf, text, std::size_t(len) + 1);   // sized for a full name by ScanOpen
    s->kind = SCAN_IDENT;
    s->value.text = s->textBuf;
    s->length = len;
}

[[gnu::always_inline]] inline void ScanCharConstant(Cursor& c)
{
    Scanner* s = c.s;
    s->kind = SCAN_CHAR;
    c.Advance();
    int ch;
    if (c.cur == '\\') {
        c.Advance();
        ch = ReadEscape(c);
    } else {
        ch = c.cur;
        c.Advance();
    }
    s->value.c = static_cast<unsigned char>(ch < 0 ? 0 : ch);
    if (!s->error && c.cur != '\'')
        SetError(s, kMsgMissingQuote);
    c.Advance();
}

[[gnu::always_inline]] inline void ScanString(Cursor& c)
{
    Scanner* s = c.s;
    s->kind = SCAN_STRING;
    std::size_t len = 0;
    for (;;) {
        // Line of the opening quote itself: the counter already includes a
        // line feed waiting in the look-ahead.
        int startLine = c.line - (c.next == '\n' ? 1 : 0);
        c.Advance();   // the opening quote
        while (c.cur != '"') {
            if (c.cur == -1) {
                std::snprintf(s->messageBuf, sizeof s->messageBuf,
                              "Unexpected end of file in string constant, started in line %u",
                              unsigned(startLine));
                SetError(s, s->messageBuf);
                break;
            }
            int ch;
            if (c.cur == '$') {
                c.Advance();
                ch = ReadEscape(c);
                if (ch < 0)
                    continue;   // "$" at the very end: the loop reports the end of input
            } else {
                ch = c.cur;
                c.Advance();
            }
            if (len >= SCAN_MAX_STRING || (len + 2 > s->textCap && !GrowText(s, len + 2))) {
                SetError(s, kMsgSyntax);
                break;
            }
            s->textBuf[len++] = char(ch);
        }
        s->textBuf[len] = '\0';
        if (c.cur == '"')
            c.Advance();
        while (IsWhite(c.cur) || c.cur == '\n')
            c.Advance();
        if (s->error || c.cur != '"')
            break;
    }
    s->value.text = s->textBuf;
    s->length = std::int32_t(len);
}

[[gnu::always_inline]] inline void ScanOperator(Cursor& c)
{
    Scanner* s = c.s;
    int lo = 0, hi = kOperatorCount;   // candidate range [lo, hi)
    int lastLo = 0;
    int matched = 0;
    for (;;) {
        int nlo = lo, nhi = lo;
        bool any = false;
        for (int i = lo; i < hi; ++i) {
            const Operator& op = kOperators[i];
            if (matched < op.length && (unsigned char)op.text[matched] == c.cur) {
                if (!any) {
                    nlo = i;
                    any = true;
                }
                nhi = i + 1;
            }
        }
        if (!any)
            break;
        lo = nlo;
        hi = nhi;
        lastLo = lo;
        ++matched;
        c.Advance();
    }
    if (matched == 0) {
        s->kind = c.cur;   // the character itself; -1 is the end-of-file token
        c.Advance();
    } else if (kOperators[lastLo].length == matched) {
        s->kind = kOperators[lastLo].kind;
    } else if (matched == 1) {
        s->kind = (unsigned char)kOperators[lastLo].text[0];
    } else {
        s->kind = SCAN_NONE;
        SetError(s, kMsgSyntax);
    }
}

[[gnu::always_inline]] inline void SkipBlockComment(Cursor& c)
{
    for (;;) {
        if (c.cur == -1) {
            SetError(c.s, kMsgEofComment);
            return;
        }
        if (c.cur == '*' && c.next == '/') {
            c.Advance();
            c.Advance();
            return;
        }
        c.Advance();
    }
}

[[gnu::always_inline]] inline void SkipLineComment(Cursor& c)
{
    while (c.cur != '\n' && c.cur != -1)
        c.Advance();
}

Scanner* NewScanner()
{
    Scanner* s = static_cast<Scanner*>(std::calloc(1, sizeof(Scanner)));
    if (!s)
        return nullptr;
    s->textCap = 64;
    s->textBuf = static_cast<char*>(std::malloc(s->textCap));
    if (!s->textBuf) {
        std::free(s);
        return nullptr;
    }
    static_assert(SCAN_MAX_NAME + 1 <= 64, "the first text buffer holds a full name");
    s->textBuf[0] = '\0';
    return s;
}

void Start(Scanner* s)
{
    s->error = 0;
    s->message = "";
    s->line = 1;
    s->kind = SCAN_NONE;
    s->next = ' ';
    s->numeral[0] = '\0';
    Cursor c(s);
    c.Advance();
    c.Advance();
    c.Store();
}

}  // namespace

int ScanDefaultGetChar(Scanner* s)
{
    if (s->bufPos < s->bufEnd)
        return *s->bufPos++;
    if (s->ended || !Refill(s))
        return -1;
    return *s->bufPos++;
}

Scanner* ScanOpen(std::FILE* stream, ScanGetChar getChar, void* user)
{
    if (!getChar && !stream)
        return nullptr;
    Scanner* s = NewScanner();
    if (!s)
        return nullptr;
    s->file = stream;
    s->user = user;
    if (getChar) {
        s->getChar = getChar;
    } else {
        s->getChar = ScanDefaultGetChar;
        s->block = static_cast<unsigned char*>(std::malloc(kBlockSize));
        if (!s->block) {
            ScanClose(s);
            return nullptr;
        }
    }
    Start(s);
    return s;
}

Scanner* ScanOpenMemory(const void* data, std::size_t size)
{
    if (!data && size)
        return nullptr;
    Scanner* s = NewScanner();
    if (!s)
        return nullptr;
    s->getChar = ScanDefaultGetChar;
    s->memory = true;
    s->bufPos = static_cast<const unsigned char*>(data);
    s->bufEnd = s->bufPos + size;
    Start(s);
    return s;
}

int ScanNext(Scanner* s)
{
    Cursor c(s);
    for (;;) {
        s->length = 0;
        while (IsWhite(c.cur))
            c.Advance();
        int ch = c.cur;
        if (ch == '"') {
            ScanString(c);
        } else if (IsDigit(ch)) {
            ScanNumeral(c);
        } else if (IsNameStart(ch)) {
            ScanName(c);
        } else if (ch == '\'') {
            ScanCharConstant(c);
        } else {
            ScanOperator(c);
            if (s->kind == SCAN_BLOCK_COMMENT || s->kind == SCAN_LINE_COMMENT) {
                if (s->kind == SCAN_BLOCK_COMMENT)
                    SkipBlockComment(c);
                else
                    SkipLineComment(c);
                s->kind = SCAN_COMMENT;
                if (!s->error)
                    continue;
            }
        }
        c.Store();
        return s->error;
    }
}

int ScanNextSkipEol(Scanner* s)
{
    int err;
    do {
        err = ScanNext(s);
    } while (!err && s->kind == SCAN_EOL);
    return err;
}

const char* ScanTokenName(int kind)
{
    // Printable single characters name themselves.
    static const struct Names {
        char text[128][2];
        Names()
        {
            for (int i = 0; i < 128; ++i) {
                text[i][0] = char(i);
                text[i][1] = '\0';
            }
        }
    } names;
    if (kind >= 33 && kind <= 127)
        return names.text[kind];
    switch (kind) {
    case SCAN_EOF: return "EOF";
    case SCAN_INTEGER: return "integer";
    case SCAN_FLOAT: return "floating point numeral";
    case SCAN_CHAR: return "character constant";
    case SCAN_STRING: return "string constant";
    case SCAN_IDENT: return "identifier";
    case SCAN_EOL: return "EOL";
    default: return "unknown";
    }
}

void ScanClose(Scanner* s)
{
    if (!s)
        return;
    std::free(s->textBuf);
    std::free(s->block);
    std::free(s);
}
