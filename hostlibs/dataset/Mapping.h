#pragma once
// How the values of a channel, an abscissa or an access relate to physical
// values.

#include "hostlibs/dataset/DatasetTypes.h"

// The mapping record of a channel: a value s stands for s × factor + offset
// in the channel's unit. The two type words are the transfer types of the
// physical and the value side; 1 (linear) is the only one a record holds.
struct map__dct {
    short m_nTypePhys = 1;
    short m_nTypeValue = 1;
    double m_dOffset = 0.0;
    double m_dFactor = 1.0;
};

// Transfer types of a CMapping side.
enum tt__val : int {
    tt__linear = 1,
    tt__log10 = 2,   // the side is taken as log10 of its values
};

// A two-point map between physical values x and represented values y:
// (x1 ↔ y1) and (x2 ↔ y2), each side linear or logarithmic, so that
// T(y) = T(y1) + (S(x) − S(x1)) × (T(y2) − T(y1)) / (S(x2) − S(x1)) with S, T
// the transfer functions of the two sides. A linear map is the record above
// (physical = y × factor + offset); CMapping(r, 2r, 2, 0, k·log10 2, 1)
// represents a value x by k·log10(x / r).
class CMapping {
public:
    CMapping() = default;   // identity
    explicit CMapping(const map__dct& record);
    CMapping(double x1, double x2, int typeX, double y1, double y2, int typeY);

    // Both sides linear with distinct points (only then is it a record).
    bool IsLinear() const { return m_iTypeX == tt__linear && m_iTypeY == tt__linear; }
    bool IsIdentity() const { return IsLinear() && m_dFactor == 1.0 && m_dOffset == 0.0; }
    // Valid: distinct points, positive values on logarithmic sides, known types.
    bool IsValid() const { return m_bValid; }

    // Linear maps: physical = value × factor + offset.
    double GetFactor() const { return m_dFactor; }
    double GetOffset() const { return m_dOffset; }
    map__dct GetRecord() const;   // the linear part as a record

    double ToPhysical(double y) const;     // represented value → physical
    double FromPhysical(double x) const;   // physical → represented value (NaN outside a log side's domain)

    int GetTypeX() const { return m_iTypeX; }
    int GetTypeY() const { return m_iTypeY; }
    void GetPoints(double& x1, double& x2, double& y1, double& y2) const { x1 = m_dX1; x2 = m_dX2; y1 = m_dY1; y2 = m_dY2; }

    friend bool operator==(const CMapping& a, const CMapping& b);

private:
    void Derive();
    double m_dX1 = 0.0, m_dX2 = 1.0, m_dY1 = 0.0, m_dY2 = 1.0;
    int m_iTypeX = tt__linear, m_iTypeY = tt__linear;
    double m_dFactor = 1.0, m_dOffset = 0.0;
    bool m_bValid = true;
};
