#pragma once
// Tokenizer for text tables: integers, floating numerals, character and string
// constants, names, end-of-line tokens and single characters; comments are
// skipped. A plain structure driven by free functions: the caller opens a
// scanner, calls ScanNext until the end-of-file token or an error, reads the
// public fields after each call and closes it.
//
// Input is read through a block buffer (streams and memory) or, when the
// caller supplies its own getChar, one character per call. Token texts live in
// buffers the scanner reuses, so scanning allocates nothing per token once the
// buffers have grown to the longest token.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Token kinds. Values below 256 are single characters (the code is the kind).
enum : std::int32_t {
    SCAN_EOF = -1,
    SCAN_NONE = 256,        // right after ScanOpen
    SCAN_INTEGER = 257,
    SCAN_FLOAT = 258,
    SCAN_CHAR = 259,
    SCAN_STRING = 260,
    SCAN_IDENT = 261,
    SCAN_COMMENT = 262,     // internal, never returned
    SCAN_EOL = 263,
    SCAN_BLOCK_COMMENT = 264,   // internal: "/*"
    SCAN_LINE_COMMENT = 265     // internal: "//"
};

// Longest name kept; the rest of a longer name is read and dropped.
constexpr int SCAN_MAX_NAME = 48;
// Size of the numeral buffer: numerals of this many characters or more fail.
constexpr int SCAN_NUMERAL_BUFFER = 100;
// Longest string constant: a stray double quote must not make the scanner
// gather the rest of a large file before it can fail.
constexpr std::size_t SCAN_MAX_STRING = std::size_t(1) << 20;

struct Scanner;
using ScanGetChar = int (*)(Scanner*);

struct Scanner {
    // ---- readable by the caller after each call ----
    std::int32_t kind;          // kind of the current token
    union {
        std::int32_t i;         // SCAN_INTEGER (out-of-range values saturate, as atol did)
        double f;               // SCAN_FLOAT
        unsigned char c;        // SCAN_CHAR
        const char* text;       // SCAN_STRING, SCAN_IDENT: zero-terminated, owned by the
                                // scanner, valid until the next ScanNext or ScanClose
    } value;
    std::int32_t length;        // bytes of value.text (a string may hold "$0" zero bytes)
    std::int32_t line;          // line counter from 1; the caller may overwrite it
    unsigned char error;        // 1 after the first error
    const char* message;        // text of the last error, "" while none occurred
    std::int32_t cur;           // current character 0..255, -1 at end of input
    std::int32_t next;          // look-ahead character, -1 at end of input
    ScanGetChar getChar;        // source of characters (-1 at end of input)
    std::FILE* file;            // stream read by the default getChar
    void* user;                 // the caller's context for its own getChar
    // Text of the last numeral as collected ("1.5E-3"), zero-terminated.
    char numeral[SCAN_NUMERAL_BUFFER];

    // ---- private to the scanner ----
    const unsigned char* bufPos;
    const unsigned char* bufEnd;
    unsigned char* block;       // read buffer of a stream source
    bool memory;                // characters come from caller memory
    bool ended;                 // the source reported its end
    char* textBuf;              // token text of strings and names
    std::size_t textCap;
    char messageBuf[96];
};

// Creates a scanner on `stream` (read in blocks) or, when getChar is given, on
// that callback (stream is then only stored in `file`); `user` is stored
// before the first character is read. Null when neither source is given or
// memory runs out.
Scanner* ScanOpen(std::FILE* stream, ScanGetChar getChar, void* user = nullptr);
// Creates a scanner over `size` bytes of memory, which must outlive it.
Scanner* ScanOpenMemory(const void* data, std::size_t size);
// Reads the next token into kind and value; returns the error flag (0 = success).
int ScanNext(Scanner* s);
// As ScanNext, but end-of-line tokens are passed over.
int ScanNextSkipEol(Scanner* s);
// Name of a token kind for diagnostics ("integer", "EOL", "+", ...).
const char* ScanTokenName(int kind);
// Releases the scanner and its texts; null is accepted. The stream is not closed.
void ScanClose(Scanner* s);
// The getChar that ScanOpen installs for streams and memory.
int ScanDefaultGetChar(Scanner* s);
