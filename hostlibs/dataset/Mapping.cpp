#include "hostlibs/dataset/Mapping.h"

#include <cmath>
#include <limits>

namespace {
bool SideOk(int type, double a, double b)
{
    if (type == tt__linear) return std::isfinite(a) && std::isfinite(b);
    if (type == tt__log10) return a > 0.0 && b > 0.0 && std::isfinite(a) && std::isfinite(b);
    return false;
}
double Fwd(int type, double v) { return type == tt__log10 ? std::log10(v) : v; }
double Inv(int type, double v) { return type == tt__log10 ? std::pow(10.0, v) : v; }
}

CMapping::CMapping(const map__dct& r)
    : m_dX1(r.m_dOffset), m_dX2(r.m_dOffset + r.m_dFactor), m_dY1(0.0), m_dY2(1.0)
{
    // A record with other type words would describe a non-linear map that
    // no caller writes; it is kept linear but marked invalid.
    Derive();
    // (offset + factor) − offset need not give the factor back exactly.
    m_dFactor = r.m_dFactor;
    m_dOffset = r.m_dOffset;
    m_bValid = r.m_nTypePhys == 1 && r.m_nTypeValue == 1 && r.m_dFactor != 0.0 && std::isfinite(r.m_dFactor) &&
               std::isfinite(r.m_dOffset);
}

CMapping::CMapping(double x1, double x2, int typeX, double y1, double y2, int typeY)
    : m_dX1(x1), m_dX2(x2), m_dY1(y1), m_dY2(y2), m_iTypeX(typeX), m_iTypeY(typeY)
{
    Derive();
}

void CMapping::Derive()
{
    bool ok = SideOk(m_iTypeX, m_dX1, m_dX2) && SideOk(m_iTypeY, m_dY1, m_dY2);
    ok = ok && Fwd(m_iTypeX, m_dX1) != Fwd(m_iTypeX, m_dX2) && Fwd(m_iTypeY, m_dY1) != Fwd(m_iTypeY, m_dY2);
    if (!ok) m_bValid = false;
    if (ok && IsLinear()) {
        m_dFactor = (m_dX2 - m_dX1) / (m_dY2 - m_dY1);
        m_dOffset = m_dX1 - m_dY1 * m_dFactor;
    } else if (!ok) {
        m_dFactor = 1.0;
        m_dOffset = 0.0;
    }
}

map__dct CMapping::GetRecord() const
{
    map__dct r;
    r.m_dFactor = m_dFactor;
    r.m_dOffset = m_dOffset;
    return r;
}

double CMapping::ToPhysical(double y) const
{
    if (IsLinear()) return y * m_dFactor + m_dOffset;
    double ty1 = Fwd(m_iTypeY, m_dY1), ty2 = Fwd(m_iTypeY, m_dY2);
    double sx1 = Fwd(m_iTypeX, m_dX1), sx2 = Fwd(m_iTypeX, m_dX2);
    double ty = Fwd(m_iTypeY, y);
    return Inv(m_iTypeX, sx1 + (ty - ty1) * (sx2 - sx1) / (ty2 - ty1));
}

double CMapping::FromPhysical(double x) const
{
    if (IsLinear()) return (x - m_dOffset) / m_dFactor;
    // log10 of 0 is minus infinity (a level of nothing); below 0 there is none.
    if (m_iTypeX == tt__log10 && !(x >= 0.0)) return std::numeric_limits<double>::quiet_NaN();
    double ty1 = Fwd(m_iTypeY, m_dY1), ty2 = Fwd(m_iTypeY, m_dY2);
    double sx1 = Fwd(m_iTypeX, m_dX1), sx2 = Fwd(m_iTypeX, m_dX2);
    return Inv(m_iTypeY, ty1 + (Fwd(m_iTypeX, x) - sx1) * (ty2 - ty1) / (sx2 - sx1));
}

bool operator==(const CMapping& a, const CMapping& b)
{
    if (a.IsLinear() && b.IsLinear()) return a.m_dFactor == b.m_dFactor && a.m_dOffset == b.m_dOffset;
    return a.m_iTypeX == b.m_iTypeX && a.m_iTypeY == b.m_iTypeY && a.m_dX1 == b.m_dX1 && a.m_dX2 == b.m_dX2 &&
           a.m_dY1 == b.m_dY1 && a.m_dY2 == b.m_dY2;
}
