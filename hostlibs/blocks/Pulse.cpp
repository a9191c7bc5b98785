#include "hostlibs/blocks/Pulse.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool CPulseGeneratorEx::Init(double dDeltaT, std::uint8_t mask, double dPulseFactor, double dFirstSpeed,
                             const double* pdDutyCycle)
{
    m_bInit = false;
    if (!(dDeltaT > 0.0) || !std::isfinite(dDeltaT) || mask == 0 || !(dPulseFactor > 0.0) ||
        !std::isfinite(dPulseFactor) || !std::isfinite(dFirstSpeed))
        return false;
    double duty = pdDutyCycle ? *pdDutyCycle : 0.5;
    if (!(duty > 0.0 && duty < 1.0))
        return false;
    m_dDeltaT = dDeltaT;
    m_mask = mask;
    m_dPulseFactor = dPulseFactor;
    m_dSpeed = std::max(0.0, dFirstSpeed);
    m_dDuty = duty;
    m_dPhase = 0.0;
    m_bInit = true;
    return true;
}

bool CPulseGeneratorEx::DoOneStepOfProcessing(std::uint8_t* pBytes, std::size_t count, double dSpeed)
{
    if (!m_bInit || (!pBytes && count) || !std::isfinite(dSpeed))
        return false;
    double target = std::max(0.0, dSpeed);
    double from = m_dSpeed;
    // The phase of byte i in closed form (exact for the linear ramp from the
    // previous speed to this one), so rounding does not pile up along a step.
    double k = m_dDeltaT / m_dPulseFactor;
    double n = double(count);
    double slope = count ? (target - from) / n : 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        double x = double(i);
        double phase = m_dPhase + k * (from * x + 0.5 * slope * x * x);
        double frac = phase - std::floor(phase);
        if (frac < m_dDuty)
            pBytes[i] |= m_mask;
        else
            pBytes[i] &= std::uint8_t(~m_mask);
    }
    m_dPhase += k * 0.5 * (from + target) * n;
    if (count)
        m_dSpeed = target;
    return true;
}

void CPulseEdgeDetector::Process(const std::uint8_t* pBytes, std::size_t count, std::vector<std::uint64_t>& edges)
{
    for (std::size_t i = 0; i < count; ++i) {
        bool level = (pBytes[i] & m_mask) != 0;
        bool first = m_nScans + i == 0;
        if (level && !m_bLevel && (!first || m_bStartLow))
            edges.push_back(m_nScans + i);
        m_bLevel = level;
    }
    m_nScans += count;
}

namespace {
// How far ahead of a curve value pulses are looked for. Longer pulse
// intervals than half of this read as a shaft coming to rest.
constexpr double kHorizon = 10.0;
// An interval this many times longer than the one before is a stop.
constexpr double kGapRatio = 4.0;
} // namespace

CSpeedEvaluator::CSpeedEvaluator(double dStart, double dDelta, double dPulseFactor, int nSmooth)
    : m_dStart(dStart), m_dDelta(dDelta > 0.0 ? dDelta : 0.01), m_dFactor(dPulseFactor), m_nSmooth(std::max(0, nSmooth))
{
}

void CSpeedEvaluator::AddPulse(double t)
{
    if (!m_pulses.empty() && t <= m_pulses.back())
        return; // out of order or repeated: not a new pulse
    m_pulses.push_back(t);
    ++m_nPulses;
}

double CSpeedEvaluator::Speed(double t) const
{
    // Only pulses up to t + horizon count, so a value never depends on when
    // it was asked for.
    const auto& q = m_pulses;
    std::size_t n = std::size_t(std::upper_bound(q.begin(), q.end(), t + kHorizon) - q.begin());
    if (n < 2)
        return 0.0;
    const double F = m_dFactor;
    auto T = [&](std::size_t i) { return q[i] - q[i - 1]; };
    auto s = [&](std::size_t i) { return F / T(i); };
    auto gap = [&](std::size_t i) { return i >= 2 && T(i) > kGapRatio * T(i - 1); };
    auto mid = [&](std::size_t i) { return 0.5 * (q[i] + q[i - 1]); };
    const double inf = std::numeric_limits<double>::infinity();

    std::size_t after = std::size_t(std::upper_bound(q.begin(), q.begin() + std::ptrdiff_t(n), t) - q.begin());
    if (after == 0) // before the first pulse
        return std::min(s(1), q[0] > t ? F / (q[0] - t) : inf);
    std::size_t j = after - 1; // last pulse at or before t
    if (j == n - 1)            // after the last pulse
        return std::min(s(n - 1), t > q[j] ? F / (t - q[j]) : inf);
    std::size_t k = j + 1;     // the interval that holds t
    if (gap(k))
        return std::min(s(j), t > q[j] ? F / (t - q[j]) : inf);
    double m = mid(k);
    if (t >= m) {
        if (k + 1 < n && !gap(k + 1)) {
            double m2 = mid(k + 1);
            return s(k) + (s(k + 1) - s(k)) * (t - m) / (m2 - m);
        }
        return s(k);
    }
    if (k >= 2 && !gap(k - 1) && j >= 1) {
        double m0 = mid(k - 1);
        return s(k - 1) + (s(k) - s(k - 1)) * (t - m0) / (m - m0);
    }
    return s(k);
}

void CSpeedEvaluator::Emit(double value, std::vector<double>& out)
{
    if (m_nSmooth == 0) {
        out.push_back(value);
        ++m_nEmitted;
        return;
    }
    m_raw.push_back(value);
    // Value m_nEmitted needs its n successors.
    while (m_nEmitted + std::uint64_t(m_nSmooth) < m_nRawFirst + m_raw.size()) {
        std::uint64_t lo = m_nEmitted >= std::uint64_t(m_nSmooth) ? m_nEmitted - std::uint64_t(m_nSmooth) : 0;
        std::uint64_t hi = m_nEmitted + std::uint64_t(m_nSmooth);
        double sum = 0.0;
        for (std::uint64_t i = lo; i <= hi; ++i)
            sum += m_raw[std::size_t(i - m_nRawFirst)];
        out.push_back(sum / double(hi - lo + 1));
        ++m_nEmitted;
        while (m_nRawFirst + std::uint64_t(m_nSmooth) < m_nEmitted) {
            m_raw.pop_front();
            ++m_nRawFirst;
        }
    }
}

void CSpeedEvaluator::FlushSmoothing(std::vector<double>& out)
{
    if (m_nSmooth == 0)
        return;
    std::uint64_t last = m_nRawFirst + m_raw.size(); // one past the last value
    while (m_nEmitted < last) {
        std::uint64_t lo = m_nEmitted >= std::uint64_t(m_nSmooth) ? m_nEmitted - std::uint64_t(m_nSmooth) : 0;
        std::uint64_t hi = std::min(last - 1, m_nEmitted + std::uint64_t(m_nSmooth));
        lo = std::max(lo, m_nRawFirst);
        double sum = 0.0;
        for (std::uint64_t i = lo; i <= hi; ++i)
            sum += m_raw[std::size_t(i - m_nRawFirst)];
        out.push_back(sum / double(hi - lo + 1));
        ++m_nEmitted;
    }
    m_raw.clear();
    m_nRawFirst = last;
}

void CSpeedEvaluator::AdvanceTo(double tNow, std::vector<double>& out)
{
    for (;;) {
        double t = m_dStart + double(m_nNext) * m_dDelta;
        auto after = std::upper_bound(m_pulses.begin(), m_pulses.end(), t);
        bool settled = tNow >= t + kHorizon || (m_pulses.end() - after) >= 2 ||
                       (!m_pulses.empty() && m_pulses.back() > t + kHorizon);
        if (!settled || t >= tNow)
            break;
        Emit(Speed(t), out);
        ++m_nNext;
        // Keep three pulses before the next grid time: enough to tell gaps.
        double tn = m_dStart + double(m_nNext) * m_dDelta;
        while (m_pulses.size() >= 4 && m_pulses[3] <= tn)
            m_pulses.pop_front();
    }
}

void CSpeedEvaluator::Finish(double tEnd, std::vector<double>& out)
{
    for (;;) {
        double t = m_dStart + double(m_nNext) * m_dDelta;
        if (!(t < tEnd - 1e-9 * m_dDelta))
            break;
        Emit(Speed(t), out);
        ++m_nNext;
        double tn = m_dStart + double(m_nNext) * m_dDelta;
        while (m_pulses.size() >= 4 && m_pulses[3] <= tn)
            m_pulses.pop_front();
    }
    FlushSmoothing(out);
}
