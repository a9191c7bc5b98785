#include "common/scanner/Scanner.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

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

int ReadSlow(Scanner* s)
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

inline int Read(Scanner* s)
{
    if (s->bufPos < s->bufEnd)
        return *s->bufPos++;
    return ReadSlow(s);
}

inline void ReadNext(Scanner* s)
{
    s->next = Read(s);
    if (s->next == '\n')
        ++s->line;
}

// One character on; a backslash right before a line feed joins the lines.
// Returns false at the end of input.
inline bool Advance(Scanner* s)
{
    s->cur = s->next;
    ReadNext(s);
    while (s->cur == '\\' && s->next == '\n') {
        ReadNext(s);
        s->cur = s->next;
        ReadNext(s);
    }
    return s->cur != -1;
}

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
// character after the escape sign. Returns the byte and leaves cur after the escape.
int ReadEscape(Scanner* s)
{
    int c = s->cur;
    if (IsOctal(c)) {
        int value = 0;
        for (int n = 0; n < 3 && IsOctal(s->cur); ++n) {
            value = value * 8 + (s->cur - '0');
            Advance(s);
        }
        if (value > 255)
            SetError(s, kMsgOctal);
        return value & 0xFF;
    }
    if (c == -1)
        return -1;   // nothing to escape; the caller meets the end of input
    Advance(s);
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return c;
    }
}

void ScanNumeral(Scanner* s)
{
    int len = 0;
    bool tooLong = false;
    auto put = [&](int c) {
        if (len < SCAN_NUMERAL_BUFFER - 1)
            s->numeral[len++] = char(c);
        else if (!tooLong) {
            tooLong = true;
            if (!s->error)
                SetError(s, kMsgTooLong);
        }
    };
    s->kind = SCAN_INTEGER;
    while (IsDigit(s->cur)) {
        put(s->cur);
        Advance(s);
    }
    if (s->cur == '.') {
        put('.');
        s->kind = SCAN_FLOAT;
        Advance(s);
        while (IsDigit(s->cur)) {
            put(s->cur);
            Advance(s);
        }
    }
    if (s->cur == 'e' || s->cur == 'E') {
        put('E');
        s->kind = SCAN_FLOAT;
        Advance(s);
        if (s->cur == '+' || s->cur == '-') {
            put(s->cur);
            Advance(s);
        }
        if (!IsDigit(s->cur)) {
            // The first error of a numeral is the one reported.
            if (!tooLong)
                SetError(s, kMsgExponent);
        }
        while (IsDigit(s->cur)) {
            put(s->cur);
            Advance(s);
        }
    }
    s->numeral[len] = '\0';
    if (s->error)
        return;
    if (s->kind == SCAN_INTEGER) {
        // atol of a 32-bit long: out-of-range values saturate.
        long long v = 0;
        for (int i = 0; i < len; ++i) {
            v = v * 10 + (s->numeral[i] - '0');
            if (v > INT_MAX) {
                v = INT_MAX;
                break;
            }
        }
        s->value.i = std::int32_t(v);
    } else {
        // Same value as atof in the "C" locale; strtod only for what
        // from_chars refuses (overflow to infinity, underflow to zero).
        double d = 0.0;
        auto r = std::from_chars(s->numeral, s->numeral + len, d);
        if (r.ec != std::errc() || r.ptr != s->numeral + len) {
            errno = 0;
            d = std::strtod(s->numeral, nullptr);
        }
        s->value.f = d;
    }
}

void ScanName(Scanner* s)
{
    int len = 0;
    char* t = s->textBuf;   // sized for a full name by ScanOpen
    while (IsNameChar(s->cur)) {
        if (len < SCAN_MAX_NAME)
            t[len++] = char(s->cur);
        Advance(s);
    }
    t[len] = '\0';
    s->kind = SCAN_IDENT;
    s->value.text = t;
    s->length = len;
}

void ScanCharConstant(Scanner* s)
{
    s->kind = SCAN_CHAR;
    Advance(s);
    int c;
    if (s->cur == '\\') {
        Advance(s);
        c = ReadEscape(s);
    } else {
        c = s->cur;
        Advance(s);
    }
    s->value.c = static_cast<unsigned char>(c < 0 ? 0 : c);
    if (!s->error && s->cur != '\'')
        SetError(s, kMsgMissingQuote);
    Advance(s);
}

void ScanString(Scanner* s)
{
    s->kind = SCAN_STRING;
    std::size_t len = 0;
    for (;;) {
        // Line of the opening quote itself: the counter already includes a
        // line feed waiting in the look-ahead.
        int startLine = s->line - (s->next == '\n' ? 1 : 0);
        Advance(s);   // the opening quote
        while (s->cur != '"') {
            if (s->cur == -1) {
                std::snprintf(s->messageBuf, sizeof s->messageBuf,
                              "Unexpected end of file in string constant, started in line %u",
                              unsigned(startLine));
                SetError(s, s->messageBuf);
                break;
            }
            int c;
            if (s->cur == '$') {
                Advance(s);
                c = ReadEscape(s);
                if (c < 0)
                    continue;   // "$" at the very end: the loop reports the end of input
            } else {
                c = s->cur;
                Advance(s);
            }
            if (len + 2 > s->textCap && !GrowText(s, len + 2)) {
                SetError(s, kMsgSyntax);
                break;
            }
            s->textBuf[len++] = char(c);
        }
        s->textBuf[len] = '\0';
        if (s->cur == '"')
            Advance(s);
        while (IsWhite(s->cur) || s->cur == '\n')
            Advance(s);
        if (s->error || s->cur != '"')
            break;
    }
    s->value.text = s->textBuf;
    s->length = std::int32_t(len);
}

void ScanOperator(Scanner* s)
{
    int lo = 0, hi = kOperatorCount;   // candidate range [lo, hi)
    int lastLo = 0;
    int matched = 0;
    for (;;) {
        int nlo = lo, nhi = lo;
        bool any = false;
        for (int i = lo; i < hi; ++i) {
            const Operator& op = kOperators[i];
            if (matched < op.length && (unsigned char)op.text[matched] == s->cur) {
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
        Advance(s);
    }
    if (matched == 0) {
        s->kind = s->cur;   // the character itself; -1 is the end-of-file token
        Advance(s);
    } else if (kOperators[lastLo].length == matched) {
        s->kind = kOperators[lastLo].kind;
    } else if (matched == 1) {
        s->kind = (unsigned char)kOperators[lastLo].text[0];
    } else {
        s->kind = SCAN_NONE;
        SetError(s, kMsgSyntax);
    }
}

void SkipBlockComment(Scanner* s)
{
    for (;;) {
        if (s->cur == -1) {
            SetError(s, kMsgEofComment);
            return;
        }
        if (s->cur == '*' && s->next == '/') {
            Advance(s);
            Advance(s);
            return;
        }
        Advance(s);
    }
}

void SkipLineComment(Scanner* s)
{
    while (s->cur != '\n' && s->cur != -1)
        Advance(s);
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
    Advance(s);
    Advance(s);
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
    for (;;) {
        s->length = 0;
        while (IsWhite(s->cur))
            Advance(s);
        int c = s->cur;
        if (c == '"') {
            ScanString(s);
        } else if (IsDigit(c)) {
            ScanNumeral(s);
        } else if (IsNameStart(c)) {
            ScanName(s);
        } else if (c == '\'') {
            ScanCharConstant(s);
        } else {
            ScanOperator(s);
            if (s->kind == SCAN_BLOCK_COMMENT || s->kind == SCAN_LINE_COMMENT) {
                if (s->kind == SCAN_BLOCK_COMMENT)
                    SkipBlockComment(s);
                else
                    SkipLineComment(s);
                s->kind = SCAN_COMMENT;
                if (!s->error)
                    continue;
            }
        }
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
