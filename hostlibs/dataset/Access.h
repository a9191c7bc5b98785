#pragma once
// A block reader/writer over chosen channels of a data set. Created by
// CDataset::CreateAccess (which makes it the active access) and owned by the
// data set; repeated GetData/SetData move through its range until Finished.
//
// Scans of an access: with one sampling rate, a scan is one scan of the data
// set. With a sampling pattern (scan mode 3) every channel of an access must
// occur equally often per pattern; an access scan is then one occurrence,
// so an access reads each channel's own samples at the channel's own rate.
// With two abscissas the scans of abscissa 0 run fastest: the access walks
// abscissa 1's rows one after another (n0 × n1 scans).

#include "hostlibs/dataset/Channel.h"
#include "hostlibs/dataset/DatasetTypes.h"
#include "hostlibs/dataset/Mapping.h"

#include <vector>

class CDatasetCore;

class CAccess {
public:
    // Selects the channels and the range; the position returns to the range's
    // start. By value (byIndex false): from and to are values of the given
    // abscissa; `bounds` bit 0 keeps scans lying at `from`, bit 1 scans at `to`
    // (3: closed interval); a scan lies at a bound when it is within
    // `tolerance` of it. `selection`: 2 the scans whose values lie inside the
    // interval, 1 also the two neighbours enclosing it, 0 the scans nearest to
    // from and to. By index (byIndex true): from and to are the first and the
    // last scan index of the range (both included; clipped to the data).
    // `reserved` must be 0. An empty range is valid (Finished at once).
    // false: unknown channel or abscissa, mixed rates, or bad arguments.
    bool Specify(const CChNbrList& channels, int abscissa, double from, double to, double tolerance = 0.0,
                 int bounds = 3, int selection = 2, int reserved = 0, bool byIndex = false);
    // Range only, channels kept.
    bool SpecifyScans(long firstScan, long nbrOfScans);

    // What the caller's values are for the listed channels of this access
    // (mk__val); the record or mapping is needed for kind 2.
    bool SetChannelMapping(const CChNbrList& channels, int kind, const map__dct* record);
    bool SetChannelMapping(const CChNbrList& channels, int kind, const CMapping& mapping);
    // Abscissa values carried by organisation 4 transfers (ac__val); default 1.
    bool SetAbscissaCoord(int coordinate);
    int GetAbscissaCoord() const { return m_iCoord; }
    // Complex channels: which part a transfer carries (ca__val).
    bool SetAccessModeToComplexData(int kind);
    int GetAccessModeToComplexData() const { return m_iComplex; }

    // Transfers from the current position. Return the scans moved: fewer
    // than asked at the end of the range or of the data the file holds, 0 on
    // failure (GetLastError tells) or when finished. An access to the end
    // of the data (count -1) writes up to the announced scans; once there,
    // further writes extend the data set (up to its maximum).
    long GetData(long nbrOfScans, void* buffer, int organisation, int implType);
    long SetData(long nbrOfScans, const void* buffer, int organisation, int implType);
    bool Finished() const;
    void Rewind() { m_lPos = m_lFirst; }

    int GetMode() const { return m_iMode; }
    const CChNbrList& GetChannels() const { return m_channels; }
    int GetAbscissaIndex() const { return m_iAbscissa; }
    long GetNbrOfScans() const;        // scans in the range
    long GetStartIndex() const { return m_lFirst; }
    long GetEndIndex() const;          // last scan of the range (first − 1 when empty)
    long GetCurrentIndex() const { return m_lPos; }
    // World value of the abscissa at an access scan, and at the range start.
    double GetAbscissaValue(long scan) const;
    double GetStartValue() const { return GetAbscissaValue(m_lFirst); }
    // Value of abscissa `abscissa` (0 or 1) at its scan `index`.
    double GetWorldFixAbsc(int abscissa, long index) const;
    // Bytes of one scan of a transfer with this layout and type.
    long GetScanBytes(int organisation, int implType) const;
    const CString& GetLastError() const { return m_sError; }

private:
    friend class CDataset;
    friend class CDatasetCore;
    CAccess(CDatasetCore* core, int mode);
    CAccess(const CAccess&) = delete;
    CAccess& operator=(const CAccess&) = delete;

    struct SChannelMap { int kind = mk__physical; CMapping mapping; };

    bool Bind(const CChNbrList& channels);
    long DeclaredScans() const;               // access scans the description announces
    long RangeEnd() const;                    // one past the range
    long ReadableEnd() const;                 // one past the last scan the file holds in the range
    double Value(long scan) const;            // abscissa 0 at an access scan
    bool AbscissaValues(long scan, const unsigned char* fileScan, double* v, int count) const;
    bool FastPath(int organisation, int implType) const;
    bool Fail(CString text) const { m_sError = std::move(text); return false; }

    CDatasetCore* m_core;
    int m_iMode;
    CChNbrList m_channels;
    std::vector<SChannelMap> m_maps;   // per access channel
    int m_iAbscissa = 0;
    long m_lFirst = 0;
    long m_lCount = -1;                // -1: to the end of the data (growing on writes)
    long m_lPos = 0;
    int m_iCoord = ac__world;
    int m_iComplex = ca__default;
    int m_perScan = 1;                                    // samples of each channel per file scan
    std::vector<std::vector<unsigned long long>> m_offsets;   // per channel: byte offsets in a file scan
    mutable CString m_sError;
};
