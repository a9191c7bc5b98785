#pragma once
// What both TRX sources share: a data set opened for reading, the signal
// channels as physical values and the pulse bits of chosen sub-channels.

#include "hostlibs/blocks/NetNode.h"
#include "hostlibs/dataset/Dataset.h"

#include <memory>
#include <string>
#include <vector>

class CTrxReader {
public:
    ~CTrxReader() { Close(); }
    bool Open(const char* path, std::string& error);
    bool IsOpen() const { return m_ds != nullptr; }
    CDataset* Dataset() { return m_ds.get(); }
    // Explicit channel choice; false for numbers out of range, pulse or complex channels.
    bool SetChannels(const CChNbrList& channels, std::string& error);
    bool AddPulseSubChannel(const CSubChannel& sub, std::string& error);
    // Builds the accesses and the stream format; withPulses decides whether
    // the set sub-channels travel, withSignals whether any channel does.
    bool Prepare(bool withSignals, bool withPulses, bool pulseErrorsTolerated, SStreamFormat& fmt, std::string& error);
    bool Read(SStreamBlock& block, std::string& error);
    // From the next Read on, integer channels also deliver their stored codes
    // (SStreamBlock::codes); without the values, and when every channel has
    // codes, the values are not made at all.
    void SetCodesWanted(bool bOn, bool bValuesToo = true)
    {
        m_bCodesWanted = bOn;
        m_bValuesWanted = !bOn || bValuesToo;
    }
    void GetProgress(std::uint32_t& total, std::uint32_t& done) const;
    void Close();

private:
    struct SPulseReader {
        int iParent = 0;
        int iType = 2;
        CAccess* pAccess = nullptr;
        bool bFailed = false;
    };
    std::unique_ptr<CDataset> m_ds;
    std::string m_sPath;
    CChNbrList m_channels;
    bool m_bChannelsSet = false;
    std::vector<CSubChannel> m_subs;
    CAccess* m_pSignals = nullptr;
    std::vector<SPulseReader> m_readers;
    std::vector<std::pair<std::size_t, unsigned>> m_bits; // per stream bit: reader, mask
    bool m_bTolerate = false;
    std::size_t m_nCh = 0;
    std::size_t m_nBlock = 4096;
    std::uint64_t m_nTotal = 0, m_nDone = 0;
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::int32_t> m_words;
    // Exact codes: per signal channel its mapping when it is a linear
    // integer channel (delivered raw), else factor 0 (delivered physical).
    bool m_bCodesWanted = false;
    bool m_bValuesWanted = true;
    bool m_bRawMapped = false;
    bool m_bAllCodes = false;  // every signal channel is a linear integer channel
    bool m_bAllInt16 = false;  // ... and every one is stored in 16 bits
    std::vector<std::pair<double, double>> m_codeMaps;
    std::vector<double> m_wide;
    std::vector<std::int16_t> m_narrow;

    bool MapRaw(std::string& error);
    bool ReadWithCodes(SStreamBlock& block, std::size_t n, std::string& error);
    bool ReadCodesOnly(SStreamBlock& block, std::size_t n, std::string& error);
};
