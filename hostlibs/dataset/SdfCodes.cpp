// Units and abscissa quantities of SDF files. The tables are those of the
// Standard Data Format (revision 3); docs/sdf.md repeats them.

#include "hostlibs/dataset/SdfCodes.h"

#include "hostlibs/dataset/Unit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// SDF keeps current before temperature and luminous intensity before amount of substance.
constexpr ESIBase kBaseOfSdf[8] = {SI_MASS, SI_LENGTH, SI_TIME, SI_CURRENT,
                                   SI_TEMPERATURE, SI_LUMINOSITY, SI_AMOUNT, SI_ANGLE};

CString Label(const SDFSIUnit& r)
{
    std::size_t n = 0;
    while (n < sizeof r.label && r.label[n] != '\0')
        ++n;
    CString s(std::string(r.label, n));
    s.Trim();
    return s;
}

bool HasExponents(const SDFSIUnit& r)
{
    for (std::int8_t e : r.exponents)
        if (e != 0)
            return true;
    return false;
}

CUnit UnitOf(const SDFSIUnit& r)
{
    const CString label = Label(r);
    if (!label.IsEmpty() && CUnit::Check(label.c_str(), false))
        return CUnit(label, 0);
    if (!HasExponents(r))
        return CUnit(label, 1);   // "" is the empty unit, any other text is kept as it was
    SSIDimension dim;
    for (int i = 0; i < 8; ++i)
        dim.aHalf[kBaseOfSdf[i]] = r.exponents[i];
    CString text = CUnit::DimensionText(dim);
    const double f = r.factor;
    if (std::isfinite(f) && f > 0.0 && f != 1.0)
        text = CString::Formatted("%.9g*", f) + text;
    return CUnit::Check(text.c_str(), false) ? CUnit(text, 0) : CUnit(label.IsEmpty() ? text : label, 1);
}

CUnit Raise(const CUnit& u, double e)
{
    if (e == 1.0 || !(u.IsSI()) || u.GetText().IsEmpty())
        return u;
    if (e == 0.0)
        return CUnit("", 1);
    // Only half steps have a spelling; other powers keep the unit as it is.
    if (std::fabs(e * 2.0 - std::round(e * 2.0)) > 1e-9)
        return u;
    const CString text = CString::Formatted("(%s)^%g", u.GetText().c_str(), e);
    return CUnit::Check(text.c_str(), false) ? CUnit(text, 0) : u;
}

}  // namespace

CQuantity CQuantity::SdfXAxis2Trx(int domain)
{
    switch (domain) {
    case sdf__x_frequency:
    case sdf__x_octave: return CQuantity("frequency");
    case sdf__x_time: return CQuantity("time");
    case sdf__x_rpm: return CQuantity("RPM");
    case sdf__x_order: return CQuantity("order");
    case sdf__x_channel: return CQuantity("index");
    default: return CQuantity();   // amplitude and unknown abscissas
    }
}

CUnit CUnit::Sdf2Trx(const SDFSIUnit& a, double expA, const SDFSIUnit* b, double expB)
{
    CUnit u = Raise(UnitOf(a), expA);
    if (!b)
        return u;
    CUnit v = Raise(UnitOf(*b), expB);
    if (v.IsEmpty())
        return u;
    if (u.IsEmpty())
        return v;
    if (!u.IsSI() || !v.IsSI())
        return u;
    return CUnit::Multiply(u, v, false);
}

bool CUnit::Trx2Sdf(const CUnit& unit, SDFSIUnit& record)
{
    std::memset(&record, 0, sizeof record);
    record.factor = 1.0f;
    if (unit.IsEmpty())
        return true;
    if (!unit.IsSI())
        return false;
    const CString& text = unit.GetText();
    std::memcpy(record.label, text.c_str(), std::min<std::size_t>(text.GetLength(), sizeof record.label));
    record.factor = float(unit.GetFactor());
    for (int i = 0; i < 8; ++i)
        record.exponents[i] = unit.GetDimension().aHalf[kBaseOfSdf[i]];
    return true;
}
