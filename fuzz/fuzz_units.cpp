// Unit texts from foreign files: the parser must agree with Check, never
// crash, and give finite, positive factors and references.
#include "FuzzSupport.h"
#include "hostlibs/dataset/Unit.h"

#include <cmath>

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 256)
        return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos)
        return 0;
    bool known = CUnit::Check(text.c_str(), true) == 1;
    bool threw = false;
    try {
        CUnit strict(text.c_str(), 0);
        Check(strict.IsKnown());
    } catch (const CUnitException&) {
        threw = true;
    }
    Check(known != threw);
    CUnit u(text.c_str(), 1);
    Check(u.IsKnown() == known);
    Check(std::isfinite(u.GetFactor()) && u.GetFactor() > 0.0);
    double r = u.GetReferenceValue();
    Check(std::isfinite(r) && r > 0.0);
    double ref = 0, k = 0;
    u.LogdB(ref, k);
    Check(k == 10.0 || k == 20.0);
    CQuantity q = u.GetDefaultQuantity();
    Check(q.IsKnown());
    CUnit pa("Pa", 0);
    CUnit ratio = CUnit::Divide(u, pa, false);
    CUnit reduced = CUnit::Divide(u, pa, true);
    // Reduction must succeed whenever the quotient's exponents fit a unit text.
    bool representable = true;
    if (u.IsSI())
        for (int i = 0; i < SI_BASE_COUNT; ++i) {
            int h = int(u.GetDimension().aHalf[i]) - int(pa.GetDimension().aHalf[i]);
            representable = representable && h >= -126 && h <= 126;
        }
    if (u.IsSI() && representable)
        Check(reduced.IsKnown() && ratio.IsConvertibleTo(reduced));
    if (u.IsSI() && !representable)
        Check(!reduced.IsKnown());
    return 0;
}
