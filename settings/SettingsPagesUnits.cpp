// What the settings pages share: the unit lists of their combo boxes, the
// quantity label beside them, and the reading of number edits.

#include "hostlibs/dataset/Unit.h"
#include "settings/SettingsPages.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr const char* kAbscissaUnits[] = {"s", "ms", "Hz", "Bark", "rpm", "km/h", "mi/h", "Order"};

#define TESSEL_SIGNAL_UNITS "V", "Pa", "dB", "dB[SPL]", "g", "m", "m/s", "m/(s^2)", "N", "Nm", "C", "\xB0" "C"
constexpr const char* kSignalUnits[] = {TESSEL_SIGNAL_UNITS};
constexpr const char* kChannelUnits[] = {
    TESSEL_SIGNAL_UNITS, "rpm", "soneGD", "soneGF", "soneGD/Bark", "soneGF/Bark", "acum", "asper",
    "asper/Bark", "phonGD", "phonGF", "vacil", "tu", "au", "pu", "iu"};
#undef TESSEL_SIGNAL_UNITS

bool IsUnit(const CString& s) { return CUnit::Check(s.c_str(), false) != 0; }

}  // namespace

std::span<const char* const> AbscissaUnitList() { return kAbscissaUnits; }
std::span<const char* const> SignalUnitList() { return kSignalUnits; }
std::span<const char* const> ChannelUnitList() { return kChannelUnits; }

CString QuantityTextOfUnit(const CString& sUnit) {
    if (!IsUnit(sUnit))
        return "undefined";
    return CUnit(sUnit, 1).GetDefaultQuantity().GetName();
}

CString StoredUnit(const CString& sUnit) { return IsUnit(sUnit) ? sUnit : CString("vU"); }

bool ParseRealText(const CString& s, double& d) {
    CString t = s;
    t.Trim();
    if (t.IsEmpty())
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (errno == ERANGE || *end != '\0' || !std::isfinite(v))
        return false;
    d = v;
    return true;
}

bool ParseIntegerText(const CString& s, long long& n) {
    CString t = s;
    t.Trim();
    if (t.IsEmpty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0')
        return false;
    n = v;
    return true;
}
