#pragma once
// The table writer: finds the block of numbers in a table, decides from its
// first column what kind of frequency abscissa the data have, and writes a
// new TRX data set whose channels are the block's other columns, each value
// x (a level in dB) stored as the amplitude 10^(0.05·x).
//
// See docs/spreadsheet.md for the block search and the abscissa cases.

#include "formats/spreadsheet/NumberTable.h"
#include "platform/CString.h"

// How the first column of the block was read.
enum class EAbscissaCase { Equidistant, Logarithmic, Increasing, None };

// Classifies an abscissa column (at least two values): equidistant when every
// step is within 10 % of the first step, logarithmic when every ratio is
// within 10 % of the first ratio, increasing when every value exceeds its
// predecessor; tried in that order.
EAbscissaCase ClassifyAbscissa(const double* values, std::size_t count);

// Where the block of numbers lies and how its first column reads: rows
// kFirst..kLast of the table's row index (consecutive row numbers), columns
// uFirstCol (the abscissa) to uLastCol (the last channel).
struct STableLayout {
    std::size_t kFirst = 0, kLast = 0;
    std::uint32_t uFirstCol = 0, uLastCol = 0;
    EAbscissaCase eCase = EAbscissaCase::None;
    std::size_t Scans() const { return kLast - kFirst + 1; }
    std::size_t Channels() const { return std::size_t(uLastCol - uFirstCol); }
};

// The block search and the abscissa case, without writing anything. False
// (with the reason) where the writer would refuse the table.
bool AnalyseTable(const CNumberTable& table, STableLayout& layout, CString* reason = nullptr);

// Writes the data set to `output` (replacing a file that is there). False
// when the table holds no block of at least two rows and two columns of
// numbers, when the first column fits none of the cases, or when the data set
// cannot be written; `reason` (may be null) then says which, and nothing is
// left at `output` that this call created.
bool WriteTableToTRX(const CNumberTable& table, const char* output, int dataKind, CString* reason = nullptr);
