// PAK quantity codes. A PAK channel record names its physical quantity by a
// 16-bit code; the table below is the one this library reads and writes,
// kept stable because measurement directories written with it are read back
// by it (docs/pak.md lists it). Code 0 is a quantity without a code of its
// own; 65535 (-1) marks a record that describes no channel.

#include "hostlibs/dataset/Unit.h"

#include <cstring>

namespace {

struct SPakCode {
    short code;
    const char* quantity;
};

const SPakCode kPakCodes[] = {
    {1, "pressure"},     {2, "acceleration"}, {3, "velocity"},  {4, "distance"},
    {5, "force"},        {6, "voltage"},      {7, "RPM"},       {8, "time"},
    {9, "frequency"},    {10, "temperature"}, {11, "level"},    {12, "torque"},
    {13, "speed"},       {14, "current"},     {15, "angle"},    {16, "power"},
    {17, "mass"},        {18, "energy"},      {19, "intensity"}, {20, "charge"},
    {21, "order"},       {22, "loudness"},    {23, "roughness"}, {24, "sharpness"},
    {25, "fluctuation strength"},             {26, "articulation index"},
};

}  // namespace

CQuantity CQuantity::PAK2TRX(valPAKQuantity code)
{
    for (const SPakCode& c : kPakCodes)
        if (c.code == code)
            return CQuantity(c.quantity);
    return CQuantity();
}

CQuantity::valPAKQuantity CQuantity::TRX2PAK(const char* name)
{
    if (!name)
        return 0;
    for (const SPakCode& c : kPakCodes)
        if (std::strcmp(c.quantity, name) == 0)
            return c.code;
    return 0;
}
