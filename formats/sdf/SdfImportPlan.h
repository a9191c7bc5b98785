#pragma once
// What one result (data header) of an SDF file becomes: its scan layout, the
// checks that refuse it, the abscissa and channels of its TRX data set, and
// a reader that turns its values into TRX scans block by block. Everything
// here works on an ISdfInput, so that a buffer in memory serves as well as
// a file.

#include "formats/sdf/SdfHeader.h"
#include "hostlibs/dataset/Abscissa.h"
#include "hostlibs/dataset/Channel.h"

#include <cstdint>
#include <memory>
#include <vector>

struct SSdfResultPlan {
    int iIndex = 0;
    int iKind = 0;                 // dk__val
    int nVectors = 1;
    long long llPoints = 0;        // points per trace
    long long llScans = 1;
    int iYType = 0;                // it__sdf_val of the values
    bool bComplex = false;
    int iValueBytes = 0;           // bytes of one SDF value (a pair when complex)
    int iImplType = 0;             // real TRX type of the channels
    bool bInterleaved = false;
    long long llTraceBytes = 0;
    long long llScanBytes = 0;
    long long llYBase = 0;         // file position of scan 0, channel 0

    bool bStoredX = false;
    int iXImplType = 0;            // TRX type of stored abscissa values
    int iXValueBytes = 0;
    long long llXBase = 0;

    CAbscissa abscissa;
    bool bRows = false;            // the scans make a second abscissa (rows of llPoints scans)
    CAbscissa rows;
    CChannelList channels;         // the value channels, then the pulse channel when bPulseChannel
    bool bPulseChannel = false;
    bool bSumComplex = false;      // re + im instead of re² + im²

    unsigned uCode = 0;            // a check that failed (0: none)
    CString sArg;
};

class CSdfImportPlanner {
public:
    // The input is read only for the values of a second abscissa.
    CSdfImportPlanner(const CSdfHeaderSet& headers, ISdfInput& in);

    // True when any result is speed data: data kind 12 (or rpm spectra), or
    // time data whose unit is a speed.
    bool SpeedFlag() const { return m_bSpeed; }

    // The plan of result i; results are planned in file order (the Y and X
    // positions of files that are not interleaved follow from the ones
    // before). uCode set: the result is refused.
    SSdfResultPlan Plan(int i);

    // The unit of a result's values and its data kind (speed units turn time data into 11 or 12).
    CUnit ResultUnit(int i) const;
    int ResultKind(int i) const;

private:
    int VectorCount(int i) const;
    int ValueBytes(int i) const;

    bool RowAbscissa(long long scans, CAbscissa& rows) const;

    const CSdfHeaderSet& m_h;
    ISdfInput& m_in;
    std::uint64_t m_uSize;
    bool m_bSpeed = false;
    long long m_llYCursor;
    long long m_llXCursor;
};

// Reads the values of one planned result and delivers TRX scans in the
// layout of the data set the plan describes: the stored abscissa value (when
// there is one), the channels' values, a zero pulse byte (when the pulse
// channel is there), all little-endian.
class CSdfValueReader {
public:
    // bufferBytes: the reading buffer (the job tries 786432 and halves).
    CSdfValueReader(ISdfInput& in, const SSdfResultPlan& plan, std::size_t bufferBytes);

    std::size_t ScanBytes() const { return m_scanBytes; }
    long long TotalScans() const { return m_plan.llScans * m_plan.llPoints; }
    // Up to maxScans scans into out (maxScans × ScanBytes() bytes); 0 at the
    // end or on a failure (Failed() tells).
    long Next(unsigned char* out, long maxScans);
    bool Failed() const { return m_uCode != 0; }
    unsigned Code() const { return m_uCode; }
    // Largest magnitude per value channel, in stored units.
    const std::vector<double>& Peaks() const { return m_peaks; }

private:
    ISdfInput& m_in;
    const SSdfResultPlan& m_plan;
    std::size_t m_scanBytes = 0;
    std::size_t m_channelOffset = 0;   // bytes before the first channel value in a scan
    int m_outSize = 0;
    long long m_scan = 0;              // SDF scan
    long long m_point = 0;             // point within the trace
    long m_blockPoints = 1;
    unsigned char* Raw();
    std::size_t m_rawBytes = 0;
    std::unique_ptr<unsigned char[]> m_raw;
    std::vector<double> m_peaks;
    unsigned m_uCode = 0;
};
