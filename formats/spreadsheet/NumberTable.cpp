#include "formats/spreadsheet/NumberTable.h"

#include <algorithm>

bool CNumberTable::Set(std::uint32_t row, std::uint32_t col, double value)
{
    if (m_cells.size() >= m_maxCells) {
        m_bFull = true;
        return false;
    }
    // Readers deliver cells row by row, left to right; anything else is
    // sorted once at the end.
    if (!m_cells.empty()) {
        const SCell& last = m_cells.back();
        if (row < last.uRow || (row == last.uRow && col <= last.uCol)) m_bSorted = false;
    }
    m_cells.push_back({row, col, value});
    return true;
}

void CNumberTable::Finish()
{
    if (!m_bSorted) {
        // Stable, so that of two values for one cell the later one ends last.
        std::stable_sort(m_cells.begin(), m_cells.end(), [](const SCell& a, const SCell& b) {
            return a.uRow != b.uRow ? a.uRow < b.uRow : a.uCol < b.uCol;
        });
        std::vector<SCell> unique;
        unique.reserve(m_cells.size());
        for (const SCell& c : m_cells) {
            if (!unique.empty() && unique.back().uRow == c.uRow && unique.back().uCol == c.uCol)
                unique.back() = c;
            else
                unique.push_back(c);
        }
        m_cells.swap(unique);
        m_bSorted = true;
    }
    m_rows.clear();
    for (std::size_t i = 0; i < m_cells.size();) {
        std::size_t j = i + 1;
        while (j < m_cells.size() && m_cells[j].uRow == m_cells[i].uRow) ++j;
        m_rows.push_back({m_cells[i].uRow, i, j});
        i = j;
    }
}

const CNumberTable::SCell* CNumberTable::Find(std::size_t k, std::uint32_t col) const
{
    const SCell* b = RowBegin(k);
    const SCell* e = RowEnd(k);
    const SCell* p = std::lower_bound(b, e, col, [](const SCell& c, std::uint32_t v) { return c.uCol < v; });
    return p != e && p->uCol == col ? p : nullptr;
}
