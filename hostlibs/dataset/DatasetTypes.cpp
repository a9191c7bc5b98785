#include "hostlibs/dataset/DatasetTypes.h"

int CImplType::GetSize(int type)
{
    switch (type) {
    case 1: case 2: return 1;
    case 3: case 4: return 2;
    case 5: case 6: case 9: return 3;
    case 7: case 8: case 10: case 13: return 4;
    case 11: case 19: return 6;
    case 12: case 14: case 15: case 17: return 8;
    case 16: case 18: return 16;
    default: return 0;
    }
}

bool CImplType::IsSupported(int type)
{
    switch (type) {
    case it__int8: case it__pulse: case it__int16: case it__uint16: case it__int24: case it__uint24:
    case it__int32: case it__uint32: case it__float: case it__double:
    case it__cint16: case it__cint32: case it__cfloat: case it__cdouble:
        return true;
    default:
        return false;
    }
}

bool CImplType::IsComplex(int type) { return type >= 13 && type <= 18; }

bool CImplType::IsInteger(int type) { return (type >= 1 && type <= 8) || type == 13 || type == 14; }

CString CImplType::GetName(int type)
{
    switch (type) {
    case it__none: return "none";
    case it__int8: return "8-bit integer";
    case it__pulse: return "pulse bits";
    case it__int16: return "16-bit integer";
    case it__uint16: return "16-bit unsigned integer";
    case it__int24: return "24-bit integer";
    case it__uint24: return "24-bit unsigned integer";
    case it__int32: return "32-bit integer";
    case it__uint32: return "32-bit unsigned integer";
    case it__float: return "32-bit float";
    case it__double: return "64-bit float";
    case it__cint16: return "complex 16-bit integer";
    case it__cint32: return "complex 32-bit integer";
    case it__cfloat: return "complex 32-bit float";
    case it__cdouble: return "complex 64-bit float";
    default: return "unknown";
    }
}

CString CDataKind::GetName(int kind)
{
    switch (kind) {
    case dk__time: return "Time Data";
    case dk__spectrum: return "Spectrum";
    case dk__frf: return "Frequency Response";
    case dk__rpm: return "RPM Data";
    case dk__speed: return "Speed Data";
    case dk__pdf: return "Probability Density";
    case dk__autocorr: return "Auto Correlation";
    case dk__crosscorr: return "Cross Correlation";
    default: return "Unknown";
    }
}

bool CDataKind::IsKnown(int kind) { return GetName(kind) != "Unknown" || kind == dk__unknown; }

int CImplType::Sdf2Trx(int sdfType, bool complex)
{
    switch (sdfType) {
    case it__sdf_short: return complex ? it__cint16 : it__int16;
    case it__sdf_long: return complex ? it__cint32 : it__int32;
    case it__sdf_float: return complex ? it__cfloat : it__float;
    case it__sdf_double: return complex ? it__cdouble : it__double;
    default: return it__none;
    }
}

int CImplType::GetTrx2Sdf(int type)
{
    switch (type) {
    case it__int16: case it__cint16: return it__sdf_short;
    case it__int32: case it__cint32: return it__sdf_long;
    case it__float: case it__cfloat: return it__sdf_float;
    case it__double: case it__cdouble: return it__sdf_double;
    default: return 0;
    }
}

int CDataKind::Sdf2Trx(int sdfType)
{
    switch (sdfType) {
    case dk__sdf_time: return dk__time;
    case dk__sdf_linear_spectrum: case dk__sdf_auto_power: case dk__sdf_cross_power:
    case dk__sdf_ordinary_coherence: case dk__sdf_partial_coherence: case dk__sdf_multiple_coherence:
    case dk__sdf_full_octave: case dk__sdf_third_octave:
        return dk__spectrum;
    case dk__sdf_frf: return dk__frf;
    case dk__sdf_auto_correlation: return dk__autocorr;
    case dk__sdf_cross_correlation: return dk__crosscorr;
    case dk__sdf_pdf: return dk__pdf;
    case dk__sdf_rpm: return dk__rpm;
    default: return dk__unknown;
    }
}

int CDataKind::GetTrx2Sdf(int kind)
{
    switch (kind) {
    case dk__time: return dk__sdf_time;
    case dk__spectrum: return dk__sdf_auto_power;
    case dk__frf: return dk__sdf_frf;
    case dk__autocorr: return dk__sdf_auto_correlation;
    case dk__crosscorr: return dk__sdf_cross_correlation;
    case dk__pdf: return dk__sdf_pdf;
    case dk__rpm: case dk__speed: return dk__sdf_rpm;
    default: return dk__sdf_time;
    }
}
