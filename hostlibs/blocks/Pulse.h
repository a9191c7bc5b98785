#pragma once
// Pulses and speed on plain buffers: pulse patterns from a speed curve, pulse
// times from a pulse bit, a speed curve from pulse times.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// Writes pulse patterns into one bit of pulse bytes. The pulse rate is speed /
// pulse factor; a pulse is high for the first part of its period (duty cycle,
// 0.5 unless Init is given another one).
class CPulseGeneratorEx {
public:
    // dDeltaT: seconds per pulse byte; mask: the bit to write; dPulseFactor:
    // speed per pulse per second (speed = factor / pulse interval);
    // dFirstSpeed: the speed before the first step; pdDutyCycle: null for 0.5.
    bool Init(double dDeltaT, std::uint8_t mask, double dPulseFactor, double dFirstSpeed,
              const double* pdDutyCycle = nullptr);
    // Sets or clears the bit in count bytes while the speed moves linearly
    // from the previous step's value to dSpeed (negative speeds count as 0);
    // the other bits stay as they are.
    bool DoOneStepOfProcessing(std::uint8_t* pBytes, std::size_t count, double dSpeed);

    // Pulse periods started so far (the phase in periods).
    double GetPhase() const { return m_dPhase; }

private:
    double m_dDeltaT = 0.0;
    std::uint8_t m_mask = 0;
    double m_dPulseFactor = 1.0;
    double m_dSpeed = 0.0;
    double m_dDuty = 0.5;
    double m_dPhase = 0.0;
    bool m_bInit = false;
};

// Finds the rising edges of the masked bit of a pulse byte stream. The level
// before the first byte counts as low only when bStartLow is set; otherwise a
// stream that starts high gives no edge at its first byte.
class CPulseEdgeDetector {
public:
    explicit CPulseEdgeDetector(std::uint8_t mask, bool bStartLow = false)
        : m_mask(mask), m_bStartLow(bStartLow) {}
    // Appends the scan indices (counted over all calls) of rising edges.
    void Process(const std::uint8_t* pBytes, std::size_t count, std::vector<std::uint64_t>& edges);
    std::uint64_t GetScans() const { return m_nScans; }

private:
    std::uint8_t m_mask;
    bool m_bStartLow;
    bool m_bLevel = false;
    std::uint64_t m_nScans = 0;
};

// Turns pulse times into a speed curve sampled every dDelta seconds from
// dStart on. Each pulse interval gives the speed pulse factor / interval at
// its middle; between these middles the speed is interpolated linearly.
// Before the first pulse and after the last one (or when no pulse follows
// within four times the last interval) the speed is the nearest interval's
// speed, limited by pulse factor / (time to the pulse) so that it falls
// toward 0 where the pulses stop. Fewer than two pulses give speed 0.
// Smoothing n > 0 averages 2n + 1 neighbouring values (fewer at the ends).
class CSpeedEvaluator {
public:
    CSpeedEvaluator(double dStart, double dDelta, double dPulseFactor, int nSmooth);
    // Pulse times in increasing order.
    void AddPulse(double t);
    // The data are known up to time t: every curve value whose speed is
    // settled is moved to the output.
    void AdvanceTo(double t, std::vector<double>& out);
    // The data end at t: the values for every grid time below t.
    void Finish(double t, std::vector<double>& out);

private:
    double Speed(double t) const;
    void Emit(double value, std::vector<double>& out);
    void FlushSmoothing(std::vector<double>& out);

    double m_dStart, m_dDelta, m_dFactor;
    int m_nSmooth;
    std::uint64_t m_nNext = 0;      // next grid index to evaluate
    std::deque<double> m_pulses;    // the last few pulse times
    std::uint64_t m_nPulses = 0;
    std::deque<double> m_raw;       // unsmoothed values awaiting neighbours
    std::uint64_t m_nRawFirst = 0;  // grid index of m_raw.front()
    std::uint64_t m_nEmitted = 0;
};
