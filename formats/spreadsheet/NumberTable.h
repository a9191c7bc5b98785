#pragma once
// The table that a spreadsheet's first worksheet or the clipboard text hands
// to the table writer. Row and column numbers count from 0 at the sheet's
// first cell (A1).
//
// Only cells that hold numbers are kept. Text, booleans, dates, errors and
// empty cells are all "not a number" to the writer, so dropping them loses
// nothing, and a sheet whose used range is stretched by a stray far-away cell
// costs no memory for the gap.

#include <cstddef>
#include <cstdint>
#include <vector>

class CNumberTable {
public:
    struct SCell {
        std::uint32_t uRow;
        std::uint32_t uCol;
        double dValue;
    };

    // 2^27 cells (2 GiB of cells): far above what a spreadsheet program can
    // hold in one worksheet with numbers that mean something, and low enough
    // that a file whose repeat counts promise billions of cells is refused
    // instead of filling the memory.
    static constexpr std::size_t kDefaultMaxCells = std::size_t(1) << 27;

    explicit CNumberTable(std::size_t maxCells = kDefaultMaxCells) : m_maxCells(maxCells) {}

    // Keeps a number at (row, column); a cell set twice keeps its last value.
    // False once the cell limit is reached (the cell is not kept).
    bool Set(std::uint32_t row, std::uint32_t col, double value);
    bool Full() const { return m_bFull; }
    std::size_t MaxCells() const { return m_maxCells; }
    // Sorts the cells into rows and builds the row index; call once after the
    // last Set and before any query.
    void Finish();

    std::size_t CellCount() const { return m_cells.size(); }
    // Rows that hold at least one number, in ascending order.
    std::size_t RowCount() const { return m_rows.size(); }
    std::uint32_t RowNumber(std::size_t k) const { return m_rows[k].uRow; }
    // The number cells of row k (index into the rows above), by column.
    const SCell* RowBegin(std::size_t k) const { return m_cells.data() + m_rows[k].uBegin; }
    const SCell* RowEnd(std::size_t k) const { return m_cells.data() + m_rows[k].uEnd; }
    // The cell of row k at column col, or null when it holds no number.
    const SCell* Find(std::size_t k, std::uint32_t col) const;

private:
    struct SRow {
        std::uint32_t uRow;
        std::size_t uBegin, uEnd;
    };
    std::vector<SCell> m_cells;
    std::vector<SRow> m_rows;
    std::size_t m_maxCells;
    bool m_bSorted = true;
    bool m_bFull = false;
};
