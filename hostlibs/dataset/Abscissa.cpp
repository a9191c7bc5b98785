#include "hostlibs/dataset/Abscissa.h"

#include <cmath>
#include <limits>

CAbscissa::CAbscissa(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
                     double firstValue, double deltaValue, long nbrOfScans, int distribution)
    : m_sName(name ? name : ""), m_sAbbreviation(abbreviation ? abbreviation : ""), m_quantity(quantity),
      m_unit(unit), m_bCalc(true), m_dFirst(firstValue), m_dDelta(deltaValue), m_iDistribution(distribution),
      m_lScans(nbrOfScans < 0 ? 0 : nbrOfScans)
{
}

CAbscissa::CAbscissa(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
                     int implType, long nbrOfScans, int coordinate)
    : m_sName(name ? name : ""), m_sAbbreviation(abbreviation ? abbreviation : ""), m_quantity(quantity),
      m_unit(unit), m_bCalc(false), m_dFirst(0.0), m_dDelta(0.0), m_iDistribution(0), m_iImplType(implType),
      m_iCoordinate(coordinate), m_lScans(nbrOfScans < 0 ? 0 : nbrOfScans)
{
}

double CAbscissa::GetValue(double i) const
{
    if (!m_bCalc) return std::numeric_limits<double>::quiet_NaN();
    if (m_iDistribution == df__logarithmic) return m_dFirst * std::pow(m_dDelta, i);
    return m_dFirst + i * m_dDelta;
}

double CAbscissa::GetIndex(double x) const
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!m_bCalc) return nan;
    if (m_iDistribution == df__logarithmic) {
        if (!(m_dFirst > 0.0) || !(m_dDelta > 0.0) || m_dDelta == 1.0 || !(x / m_dFirst > 0.0)) return nan;
        return std::log(x / m_dFirst) / std::log(m_dDelta);
    }
    if (m_dDelta == 0.0) return nan;
    return (x - m_dFirst) / m_dDelta;
}

bool operator==(const CAbscissa& a, const CAbscissa& b)
{
    if (a.m_sName != b.m_sName || a.m_sAbbreviation != b.m_sAbbreviation || a.m_quantity != b.m_quantity ||
        a.m_unit != b.m_unit || a.m_bCalc != b.m_bCalc || a.m_lScans != b.m_lScans)
        return false;
    if (a.m_bCalc)
        return a.m_dFirst == b.m_dFirst && a.m_dDelta == b.m_dDelta && a.m_iDistribution == b.m_iDistribution;
    return a.m_iImplType == b.m_iImplType && a.m_iCoordinate == b.m_iCoordinate && a.m_mapping == b.m_mapping;
}
