#pragma once
// Statistics of the columns of a text table, gathered in the first pass: they
// decide whether the first column is an equidistant abscissa and how integer
// samples are scaled.

#include <array>
#include <cstddef>

// A line keeps at most this many numbers: an abscissa and 256 channels.
inline constexpr unsigned g_uAsciiMaxColumns = 257;

struct SAsciiColumnStats {
    double dMin;
    double dMax;
    double dMaxAbs = 0.0;
    double dSum = 0.0;        // of value - shift
    double dSumSq = 0.0;      // of (value - shift)^2
    double dSumIdxVal = 0.0;  // of index * (value - shift)
    double dCorrelation = 0.0;
    double dSlope = 0.0;
    double dIntercept = 0.0;
};

class CAsciiTableStats {
public:
    CAsciiTableStats() { Reset(); }
    void Reset();

    // One line of the table; values beyond `count` count as 0.0.
    void AddLine(const double* values, unsigned count);
    // Works out correlation, slope, intercept and the largest magnitude of the
    // first Columns() columns.
    void Finish();

    unsigned Lines() const { return m_uLines; }     // N
    unsigned Columns() const { return m_uColumns; } // M, at most 257
    const SAsciiColumnStats& Column(unsigned i) const { return m_cols[i]; }

private:
    std::array<SAsciiColumnStats, g_uAsciiMaxColumns> m_cols;
    // Each column's sums are taken relative to its first value, so that an
    // abscissa of large values (clock times) keeps its step to full precision.
    std::array<double, g_uAsciiMaxColumns> m_shift;
    // Lines that held a value in the column; the others contributed a 0.0.
    std::array<unsigned, g_uAsciiMaxColumns> m_present;
    // Sum of the line indices of those lines.
    std::array<double, g_uAsciiMaxColumns> m_presentIdx;
    unsigned m_uLines = 0;
    unsigned m_uColumns = 0;
};

// What the statistics decide about the abscissa and the channels.
struct SAsciiLayout {
    bool bAbscInFile = false;    // column 1 is the abscissa
    bool bEquidistant = false;   // the abscissa is x_start + i * x_delta
    double dXStart = 0.0;
    double dXDelta = 0.0;
    unsigned uFirstChannelColumn = 0; // 0-based column of the first channel
    unsigned uChannels = 0;
};

// The channel slots of an import: a 257th column is dropped when the abscissa
// does not come from the file.
inline constexpr unsigned g_uAsciiMaxChannels = 256;

// The abscissa decision. abscProvided: the settings say column 1 is the
// abscissa; settingsDelta: the step used when the abscissa is not in the file.
// The caller has checked that there are at least 2 lines and 1 column.
SAsciiLayout DecideAsciiLayout(const CAsciiTableStats& stats, bool abscProvided, double settingsDelta);
