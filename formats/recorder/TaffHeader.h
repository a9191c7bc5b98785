#pragma once
// The ".hdr" file of a TAFFmat recording (TEAC data Acquisition File
// Format): text lines "KEYWORD value" in a fixed order, lists separated by
// commas. The reader works on the file's bytes in memory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct STaffHeader {
    // More series than this are no recording of a TEAC instrument; the
    // header is refused before lists of that length are made.
    static constexpr int kMaxSeries = 1024;
    // Longest line the reader takes.
    static constexpr std::size_t kMaxLine = 65536;

    int iVersion = 0;
    std::vector<std::string> series;
    std::string sDate, sTime;
    std::int32_t lRate = 0;                 // samples per second
    std::vector<std::string> vertUnits;
    std::string sHorzUnits;                 // upper case
    std::string sComment;
    int iNumSeries = 0;                     // N; every list has max(N, 0) entries
    std::string sStorageMode;               // upper case
    std::vector<std::string> slopes;
    std::vector<std::string> yOffsets;
    std::int32_t lNumSamps = 0;
    std::vector<std::string> chSlots;       // optional: empty when the header has none
    std::vector<std::string> rateMulti;     // optional: empty when the header has none
};

// 0 on success. 77 when a line cannot be read (the file ends, or a line is
// longer than kMaxLine, or NUM_SERIES is beyond kMaxSeries): `detail` says
// which; 78 when a line lacks its keyword: `detail` is the keyword.
unsigned ReadTaffHeader(const char* data, std::size_t size, STaffHeader& header, std::string& detail);

// Entry i of a list value: up to the next comma, trimmed; the last entry
// filled takes what is left when the commas run out.
std::vector<std::string> SplitTaffList(const std::string& value, int count);
