#include "hostlibs/dataset/Channel.h"

CChannel::CChannel(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
                   int implType, int physChannel, double coordinate, double sort, const map__dct* mapping)
    : m_sName(name ? name : ""), m_sAbbreviation(abbreviation ? abbreviation : ""), m_quantity(quantity),
      m_unit(unit), m_iImplType(implType), m_iPhysChannel(physChannel), m_dCoordinate(coordinate), m_dSort(sort)
{
    if (mapping) m_mapping = CMapping(*mapping);
}

CChannel::CChannel(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
                   int implType, int physChannel, double coordinate, double sort, const CMapping& mapping)
    : m_sName(name ? name : ""), m_sAbbreviation(abbreviation ? abbreviation : ""), m_quantity(quantity),
      m_unit(unit), m_iImplType(implType), m_iPhysChannel(physChannel), m_dCoordinate(coordinate), m_dSort(sort),
      m_mapping(mapping)
{
}

bool operator==(const CChannel& a, const CChannel& b)
{
    return a.m_sName == b.m_sName && a.m_sAbbreviation == b.m_sAbbreviation && a.m_sTitle == b.m_sTitle &&
           a.m_quantity == b.m_quantity && a.m_unit == b.m_unit && a.m_iImplType == b.m_iImplType &&
           a.m_iPhysChannel == b.m_iPhysChannel && a.m_dCoordinate == b.m_dCoordinate && a.m_dSort == b.m_dSort &&
           a.m_mapping == b.m_mapping && a.m_fCalibration == b.m_fCalibration &&
           a.m_fDeltaHeadroom == b.m_fDeltaHeadroom && a.m_iEmphasis == b.m_iEmphasis &&
           a.m_iQuantisation == b.m_iQuantisation && a.m_dAmplCorr == b.m_dAmplCorr && a.m_dPowCorr == b.m_dPowCorr;
}

void CChNbrList::AddGroup(int first, int last)
{
    for (long n = first; n <= last; ++n) m_v.push_back(int(n));
}

int CChNbrList::Find(int n) const
{
    for (std::size_t i = 0; i < m_v.size(); ++i)
        if (m_v[i] == n) return int(i);
    return -1;
}

CSubChannel::CSubChannel(int type, int parentChannel, unsigned bitmask, const char* name, const char* abbreviation,
                         const CQuantity& quantity, const CUnit& unit)
    : m_iType(type), m_iParent(parentChannel), m_uBitmask(bitmask), m_sName(name ? name : ""),
      m_sAbbreviation(abbreviation ? abbreviation : ""), m_quantity(quantity), m_unit(unit)
{
}

bool operator==(const CSubChannel& a, const CSubChannel& b)
{
    return a.m_iType == b.m_iType && a.m_iID == b.m_iID && a.m_iParent == b.m_iParent &&
           a.m_uBitmask == b.m_uBitmask && a.m_dDeltaTime == b.m_dDeltaTime && a.m_dPulseFactor == b.m_dPulseFactor &&
           a.m_iSmooth == b.m_iSmooth && a.m_sName == b.m_sName && a.m_sAbbreviation == b.m_sAbbreviation &&
           a.m_quantity == b.m_quantity && a.m_unit == b.m_unit;
}
