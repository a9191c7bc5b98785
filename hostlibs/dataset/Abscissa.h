#pragma once
// An abscissa of a data set: calculated (first value, delta, distribution)
// or stored (its values travel with the scans).

#include "hostlibs/dataset/DatasetTypes.h"
#include "hostlibs/dataset/Mapping.h"
#include "hostlibs/dataset/Unit.h"

#include <vector>

class CAbscissa {
public:
    CAbscissa() = default;
    // Calculated: x(i) follows the distribution function (df__val).
    CAbscissa(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
              double firstValue, double deltaValue, long nbrOfScans, int distribution);
    // Stored: the values are part of every scan, each in implType; coordinate
    // ac__world (one value per scan) or ac__band (lower edge, centre, upper edge).
    CAbscissa(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
              int implType, long nbrOfScans, int coordinate);

    const CString& GetName() const { return m_sName; }
    void SetName(const char* s) { m_sName = s ? s : ""; }
    const CString& GetAbbreviation() const { return m_sAbbreviation; }
    void SetAbbreviation(const char* s) { m_sAbbreviation = s ? s : ""; }
    const CQuantity& GetQuantity() const { return m_quantity; }
    void SetQuantity(const CQuantity& q) { m_quantity = q; }
    const CUnit& GetUnit() const { return m_unit; }
    void SetUnit(const CUnit& u) { m_unit = u; }

    bool IsCalc() const { return m_bCalc; }
    double GetFirstValue() const { return m_dFirst; }
    double GetDeltaValue() const { return m_dDelta; }
    void SetFirstValue(double v) { m_dFirst = v; }
    void SetDeltaValue(double v) { m_dDelta = v; }
    int GetDistribution() const { return m_iDistribution; }
    int GetImplType() const { return m_iImplType; }       // it__none for a calculated abscissa
    int GetCoordinate() const { return m_iCoordinate; }   // values per stored scan: 1 or 3 (band)
    int GetValuesPerScan() const { return m_bCalc ? 0 : (m_iCoordinate == ac__band ? 3 : 1); }

    long GetNbrOfScans() const { return m_lScans; }
    void SetNbrOfScans(long n) { m_lScans = n < 0 ? 0 : n; }
    // 0: no limit. Writes beyond the maximum are refused.
    long GetMaxNbrOfScans() const { return m_lMaxScans; }
    void SetMaxNbrOfScans(long n) { m_lMaxScans = n < 0 ? 0 : n; }

    // Stored abscissas: the values are s × factor + offset (integer types).
    const CMapping& GetMapping() const { return m_mapping; }
    void SetMapping(const CMapping& m) { m_mapping = m; }
    void SetMapping(const map__dct& m) { m_mapping = CMapping(m); }

    // Calculated abscissas: the value at scan i (also beyond the last scan).
    double GetValue(double i) const;
    // Calculated abscissas: the scan position (fractional) of value x; NaN
    // when x lies outside the distribution's domain.
    double GetIndex(double x) const;

    // Same description: names, quantity, unit, kind, values, scan count.
    friend bool operator==(const CAbscissa& a, const CAbscissa& b);
    friend bool operator!=(const CAbscissa& a, const CAbscissa& b) { return !(a == b); }

private:
    CString m_sName, m_sAbbreviation;
    CQuantity m_quantity;
    CUnit m_unit;
    bool m_bCalc = true;
    double m_dFirst = 0.0, m_dDelta = 1.0;
    int m_iDistribution = df__linear;
    int m_iImplType = it__none;
    int m_iCoordinate = ac__world;
    long m_lScans = 0;
    long m_lMaxScans = 0;
    CMapping m_mapping;
};

class CAbscissaList : public CObjectList<CAbscissa> {};
