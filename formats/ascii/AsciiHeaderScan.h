#pragma once
// Finding where the numbers of a text table begin: the lines before the first
// run of ten number lines are the table's header.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

enum class EAsciiLine { number, blank, other };

// Classifies one line given without its line feed; a CR right before the line
// feed is the line end of a CR LF file and is ignored.
//  number: not empty, only "0123456789+-.,eE \t", not all blank or tab;
//  blank: not empty, only blanks and tabs;
//  other: anything else, the empty line included.
EAsciiLine ClassifyAsciiLine(std::string_view line);

struct SAsciiDataStart {
    std::int64_t llOffset = 0;  // file position of the first data line
    unsigned uLine = 1;         // its line number, counted from 1
    bool bNumbersFound = false; // false: no number line at all, data start at 0
    std::string sHeader;        // the header lines, each ended by "\r\n"
};

// The header text kept for the data set comment is cut here, so that a file
// that is text throughout cannot make the scan hold it all.
inline constexpr std::size_t g_nMaxAsciiHeader = 1u << 20;
// Runs of this many number lines mark the data.
inline constexpr unsigned g_uAsciiDataRun = 10;

// Scans f from its start. Number lines count up a run; a blank line ends the
// run; any other line ends it too and moves the text gathered since the last
// other line (number and blank lines) and itself into the header. The scan
// stops at the tenth line of a run or at the end of the file; the data begin
// with the run that was current then. Returns false when reading fails.
bool ScanAsciiHeader(std::FILE* f, SAsciiDataStart& out);
