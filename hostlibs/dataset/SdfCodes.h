#pragma once
// The unit record of SDF files (Standard Data Format of dynamic signal
// analysers, revision 3) as the library's unit conversions take and fill it.
// CUnit::Sdf2Trx, CUnit::Trx2Sdf and CQuantity::SdfXAxis2Trx are declared
// with their classes (Unit.h); docs/sdf.md lists the tables.

#include <cstdint>

#pragma pack(push, 1)
// 22 bytes in the file, big-endian factor. The exponents are those of the SI
// base quantities, each stored doubled (so that "V/Hz^0.5" fits), in the
// order of the SdfExponent indices below.
struct SDFSIUnit {
    char label[10];
    float factor;
    std::int8_t exponents[8];
};
#pragma pack(pop)
static_assert(sizeof(SDFSIUnit) == 22, "SDFSIUnit is 22 bytes in the file");

enum SdfExponent : int {
    sdf__exp_mass = 0,
    sdf__exp_length = 1,
    sdf__exp_time = 2,
    sdf__exp_current = 3,
    sdf__exp_temperature = 4,
    sdf__exp_luminosity = 5,
    sdf__exp_mole = 6,
    sdf__exp_angle = 7,
};

// Values of the data header's `domain` field (the kind of abscissa).
enum SdfQuantityXAxis : int {
    sdf__x_unknown = -99,
    sdf__x_frequency = 0,
    sdf__x_time = 1,
    sdf__x_amplitude = 2,
    sdf__x_rpm = 3,
    sdf__x_order = 4,
    sdf__x_channel = 5,
    sdf__x_octave = 6,
};
