#pragma once
// Reads a text table line by line as numbers, from the position where the data
// begin. Plain lines go through a block-buffered reader; as soon as a line
// holds anything else (unit suffixes, dB values, comments, errors) the reader
// starts over from the data with the token scanner, which decides every such
// case and words every failure. The caller discards what it took before the
// restart, so both ways give the same numbers.

#include "formats/ascii/AsciiColumnStats.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct Scanner;

class CAsciiLineReader {
public:
    enum class EResult {
        line,    // `count` numbers of one line (at most 257 kept)
        end,     // no further line
        error,   // Error() holds the diagnostic (ends with a line feed)
        restart, // reading starts over at the first data line: forget what came before
    };

    // f stays owned by the caller. offset and lineNo: the first data line.
    // useScanner: read with the scanner from the start (a former pass of the
    // same file needed it).
    CAsciiLineReader(std::FILE* f, std::int64_t offset, unsigned lineNo, bool useScanner);
    ~CAsciiLineReader();
    CAsciiLineReader(const CAsciiLineReader&) = delete;
    CAsciiLineReader& operator=(const CAsciiLineReader&) = delete;

    EResult Next(double* values, unsigned& count);
    const std::string& Error() const { return m_sError; }
    // Line number (from the first data line's number on) of the line Next
    // returned last.
    unsigned Line() const { return m_uLastLine; }
    bool UsesScanner() const { return m_pScanner != nullptr || m_bScannerMode; }

    // Reads one number at the scanner's current token: signs, an integer
    // (its digits read exactly, as far as a double holds them) or a floating
    // numeral, then a "dB" or one-letter unit suffix. False: "error in
    // numeral" (or a scanner error). The value may come out infinite.
    static bool ReadNumber(Scanner* s, double& value);

private:
    EResult NextFast(double* values, unsigned& count);
    EResult NextScanned(double* values, unsigned& count);
    bool OpenScanner();
    bool Fill();
    EResult Fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    std::FILE* m_f;
    std::int64_t m_llOffset;
    unsigned m_uLine;
    unsigned m_uNextLine;      // fast reader: number of the line at m_nPos
    unsigned m_uLastLine = 0;
    bool m_bScannerMode;
    bool m_bStarted = false;
    Scanner* m_pScanner = nullptr;
    std::string m_sError;

    // Fast reader: [m_nPos, m_nEnd) of m_buffer is unread input.
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_nCap = 0;
    std::size_t m_nPos = 0;
    std::size_t m_nEnd = 0;
    bool m_bEof = false;
};
