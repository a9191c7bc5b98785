#include "formats/ascii/AsciiColumnStats.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

void CAsciiTableStats::Reset()
{
    for (auto& c : m_cols) {
        c = SAsciiColumnStats();
        c.dMin = DBL_MAX;
        c.dMax = -DBL_MAX;
    }
    m_shift.fill(0.0);
    m_present.fill(0);
    m_presentIdx.fill(0.0);
    m_uLines = 0;
    m_uColumns = 0;
}

void CAsciiTableStats::AddLine(const double* values, unsigned count)
{
    count = std::min(count, g_uAsciiMaxColumns);
    const double index = double(m_uLines);
    for (unsigned i = 0; i < count; ++i) {
        SAsciiColumnStats& c = m_cols[i];
        const double v = values[i];
        if (m_present[i] == 0 && m_uLines == 0) m_shift[i] = v;
        ++m_present[i];
        m_presentIdx[i] += index;
        c.dMin = std::min(c.dMin, v);
        c.dMax = std::max(c.dMax, v);
        const double d = v - m_shift[i];
        c.dSum += d;
        c.dSumSq += d * d;
        c.dSumIdxVal += index * d;
    }
    // Columns this line lacks take 0.0 there: only their extremes can change,
    // which Finish() settles from the count of lines that held a value.
    ++m_uLines;
    m_uColumns = std::max(m_uColumns, count);
}

void CAsciiTableStats::Finish()
{
    const double n = double(m_uLines);
    // Sum over i of (i - mean)^2 for i = 0 .. N-1, in floating point: N^3 does
    // not fit 32 bits from about 1600 lines on.
    const double sxx = n * (n * n - 1.0) / 12.0;
    for (unsigned i = 0; i < m_uColumns; ++i) {
        SAsciiColumnStats& c = m_cols[i];
        const unsigned missing = m_uLines - m_present[i];
        if (missing > 0) {
            // The missing lines hold 0.0, that is -shift relative to the shift.
            const double d = -m_shift[i];
            const double missingIdx = n * (n - 1.0) / 2.0 - m_presentIdx[i];
            c.dMin = std::min(c.dMin, 0.0);
            c.dMax = std::max(c.dMax, 0.0);
            c.dSum += double(missing) * d;
            c.dSumSq += double(missing) * d * d;
            c.dSumIdxVal += missingIdx * d;
        }
        c.dMaxAbs = std::max(std::fabs(c.dMin), std::fabs(c.dMax));
        if (n < 1.0) continue;
        const double syy = c.dSumSq - c.dSum * c.dSum / n;
        const double sxy = c.dSumIdxVal - (n - 1.0) / 2.0 * c.dSum;
        // Syy can only come out below zero by rounding; such a column is flat.
        if (syy > 0.0 && sxx != 0.0) {
            c.dCorrelation = sxy / std::sqrt(sxx * syy);
            // Least-squares step of the value per line.
            c.dSlope = sxy / sxx;
            c.dIntercept = m_shift[i] + c.dSum / n - c.dSlope * (n - 1.0) / 2.0;
        }
    }
}

SAsciiLayout DecideAsciiLayout(const CAsciiTableStats& stats, bool abscProvided, double settingsDelta)
{
    SAsciiLayout l;
    const unsigned m = stats.Columns();
    l.bAbscInFile = abscProvided && m > 1;
    l.uFirstChannelColumn = l.bAbscInFile ? 1 : 0;
    l.uChannels = std::min(m - l.uFirstChannelColumn, g_uAsciiMaxChannels);
    if (!l.bAbscInFile) {
        l.bEquidistant = true;
        l.dXStart = 0.0;
        l.dXDelta = settingsDelta;
        return l;
    }
    const SAsciiColumnStats& a = stats.Column(0);
    l.bEquidistant = a.dCorrelation >= 0.995 && a.dSlope >= 1e-9 && a.dSlope <= 999999999.9999999;
    if (l.bEquidistant) {
        l.dXDelta = a.dSlope;
        l.dXStart = a.dIntercept;
        const double ratio = l.dXStart / l.dXDelta;
        const double k = std::floor(ratio + 0.5);
        // Within a thousandth of a step of a whole number of steps: snapped. (Measured
        // in steps; a tolerance of delta x 0.001 in steps would never snap the
        // fine steps of sampled signals.)
        if (std::fabs(k - ratio) < 0.001) l.dXStart = k * l.dXDelta;
    }
    return l;
}
