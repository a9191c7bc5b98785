#pragma once
// Channels, sub-channels and channel-number lists of a data set.

#include "hostlibs/dataset/DatasetTypes.h"
#include "hostlibs/dataset/Mapping.h"
#include "hostlibs/dataset/Unit.h"

#include <vector>

class CChannel {
public:
    CChannel() = default;
    // mapping null: no mapping (values are physical values).
    CChannel(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
             int implType, int physChannel, double coordinate = 1.0, double sort = 1.0,
             const map__dct* mapping = nullptr);
    CChannel(const char* name, const char* abbreviation, const CQuantity& quantity, const CUnit& unit,
             int implType, int physChannel, double coordinate, double sort, const CMapping& mapping);

    const CString& GetName() const { return m_sName; }
    void SetName(const char* s) { m_sName = s ? s : ""; }
    const CString& GetAbbreviation() const { return m_sAbbreviation; }
    void SetAbbreviation(const char* s) { m_sAbbreviation = s ? s : ""; }
    const CString& GetTitle() const { return m_sTitle; }
    void SetTitle(const char* s) { m_sTitle = s ? s : ""; }
    const CQuantity& GetQuantity() const { return m_quantity; }
    void SetQuantity(const CQuantity& q) { m_quantity = q; }
    const CUnit& GetUnit() const { return m_unit; }
    void SetUnit(const CUnit& u) { m_unit = u; }

    int GetImplType() const { return m_iImplType; }
    void SetImplType(int t) { m_iImplType = t; }
    int GetPhysChannel() const { return m_iPhysChannel; }
    int GetChannelNumber() const { return m_iPhysChannel; }
    void SetPhysChannel(int n) { m_iPhysChannel = n; }
    double GetCoordinate() const { return m_dCoordinate; }
    void SetCoordinate(double v) { m_dCoordinate = v; }
    double GetSortValue() const { return m_dSort; }
    void SetSortValue(double v) { m_dSort = v; }

    // Stored value s stands for s × factor + offset.
    const CMapping& GetMapping() const { return m_mapping; }
    void SetMapping(const CMapping& m) { m_mapping = m; }
    void SetMapping(const map__dct* m) { m_mapping = m ? CMapping(*m) : CMapping(); }
    void SetMapping(const map__dct& m) { m_mapping = CMapping(m); }

    float GetCalibration() const { return m_fCalibration; }        // level in dB
    void SetCalibration(float v) { m_fCalibration = v; }
    float GetDeltaHeadroom() const { return m_fDeltaHeadroom; }    // dB
    void SetDeltaHeadroom(float v) { m_fDeltaHeadroom = v; }
    int GetEmphasis() const { return m_iEmphasis; }
    void SetEmphasis(int v) { m_iEmphasis = v; }
    int GetQuantisationFunc() const { return m_iQuantisation; }
    void SetQuantisationFunc(int v) { m_iQuantisation = v; }
    // Amplitude and power correction factors of windowed spectra.
    void SetDeltaAmplPowCorrFact(double ampl, double pow) { m_dAmplCorr = ampl; m_dPowCorr = pow; }
    void GetDeltaAmplPowCorrFact(double& ampl, double& pow) const { ampl = m_dAmplCorr; pow = m_dPowCorr; }

    bool IsComplex() const { return CImplType::IsComplex(m_iImplType); }

    friend bool operator==(const CChannel& a, const CChannel& b);

private:
    CString m_sName, m_sAbbreviation, m_sTitle;
    CQuantity m_quantity;
    CUnit m_unit;
    int m_iImplType = it__int16;
    int m_iPhysChannel = 0;
    double m_dCoordinate = 1.0, m_dSort = 1.0;
    CMapping m_mapping;
    float m_fCalibration = 0.0f, m_fDeltaHeadroom = 0.0f;
    int m_iEmphasis = 0;
    int m_iQuantisation = 1;
    double m_dAmplCorr = 1.0, m_dPowCorr = 1.0;
};

class CChannelList : public CObjectList<CChannel> {};

// Channel numbers (indices into the data set's channels, from 0), in order;
// a number may repeat (sampling patterns).
class CChNbrList {
public:
    CChNbrList() = default;
    CChNbrList(std::initializer_list<int> n) : m_v(n) {}
    // Appends first, first+1, ..., last (nothing when last < first).
    void AddGroup(int first, int last);
    void Add(int n) { m_v.push_back(n); }
    int GetCount() const { return int(m_v.size()); }
    int GetSize() const { return GetCount(); }
    bool IsEmpty() const { return m_v.empty(); }
    int GetAt(int i) const { return m_v.at(std::size_t(i)); }
    int operator[](int i) const { return GetAt(i); }
    void SetAt(int i, int n) { m_v.at(std::size_t(i)) = n; }
    void RemoveAt(int i) { m_v.erase(m_v.begin() + i); }
    void RemoveAll() { m_v.clear(); }
    int Find(int n) const;   // index of the first occurrence, -1 when absent
    const std::vector<int>& Get() const { return m_v; }
    auto begin() const { return m_v.begin(); }
    auto end() const { return m_v.end(); }
    friend bool operator==(const CChNbrList&, const CChNbrList&) = default;

private:
    std::vector<int> m_v;
};

// A sub-channel: for type 1 (pulses) one bit (the bit mask) of the pulse
// bytes of its parent channel marks the pulses of a tacho signal.
class CSubChannel {
public:
    CSubChannel() = default;
    CSubChannel(int type, int parentChannel, unsigned bitmask, const char* name, const char* abbreviation,
                const CQuantity& quantity, const CUnit& unit);

    int GetType() const { return m_iType; }
    void SetType(int t) { m_iType = t; }
    int GetID() const { return m_iID; }
    void SetID(int id) { m_iID = id; }
    int GetParentChannelID() const { return m_iParent; }
    void SetParentChannelID(int c) { m_iParent = c; }
    unsigned GetBitmask() const { return m_uBitmask; }
    void SetBitmask(unsigned m) { m_uBitmask = m; }
    double GetDeltaTime() const { return m_dDeltaTime; }
    void SetDeltaTime(double d) { m_dDeltaTime = d; }
    double GetPulseFactor() const { return m_dPulseFactor; }
    void SetPulseFactor(double f) { m_dPulseFactor = f; }
    int GetSmooth() const { return m_iSmooth; }
    void SetSmooth(int s) { m_iSmooth = s; }
    const CString& GetName() const { return m_sName; }
    void SetName(const char* s) { m_sName = s ? s : ""; }
    const CString& GetAbbreviation() const { return m_sAbbreviation; }
    void SetAbbreviation(const char* s) { m_sAbbreviation = s ? s : ""; }
    const CQuantity& GetQuantity() const { return m_quantity; }
    void SetQuantity(const CQuantity& q) { m_quantity = q; }
    const CUnit& GetUnit() const { return m_unit; }
    void SetUnit(const CUnit& u) { m_unit = u; }

    friend bool operator==(const CSubChannel& a, const CSubChannel& b);

private:
    int m_iType = sc__pulse;
    int m_iID = -1;          // -1: the data set gives one when the sub-channel is added
    int m_iParent = 0;
    unsigned m_uBitmask = 1;
    double m_dDeltaTime = 0.0;
    double m_dPulseFactor = 1.0;
    int m_iSmooth = 0;
    CString m_sName, m_sAbbreviation;
    CQuantity m_quantity;
    CUnit m_unit;
};

class CSubChannelList : public CObjectList<CSubChannel> {};
