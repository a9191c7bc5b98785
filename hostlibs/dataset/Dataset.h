#pragma once
// The data-set library: TRX data sets in files of the layout that
// docs/trx-format.md describes. Open and create throw CDatasetException;
// transfers report by their return value.

#include "hostlibs/basics/DateTimeEx.h"
#include "hostlibs/dataset/Abscissa.h"
#include "hostlibs/dataset/Access.h"
#include "hostlibs/dataset/Channel.h"
#include "hostlibs/dataset/DataStream.h"
#include "hostlibs/dataset/DatasetTypes.h"
#include "hostlibs/dataset/Mapping.h"
#include "hostlibs/dataset/Tags.h"
#include "hostlibs/dataset/Unit.h"

#include <memory>
#include <string>

class CDatasetCore;

class CDataset {
public:
    // Open an existing file. openMode: om__val (1, 3, 33); bufferSize: bytes
    // of the transfer buffer (0: default; callers pass 32768); sharing: sh__val.
    CDataset(const char* path, int openMode, long bufferSize, int sharing);
    // Create a new file (it is written at once and stays readable at every
    // step). expectedScans: a hint for the header room (0: none); bufferSize
    // as above (callers pass 65536). Throws when the description is invalid
    // (no abscissa, unsupported implementation type, stored second abscissa,
    // ...) or the file cannot be created. dataPhase: -1, the samples start on
    // a 4096-byte page; else the samples start at this offset modulo 65536
    // (when they keep their alignment there, else on a page): what
    // DataPhaseForCopy gives an import that copies samples unchanged.
    CDataset(const char* path, const CAbscissaList& abscissas, const CChannelList& channels, int kind,
             int organisation, long expectedScans, long bufferSize, int sharing, long dataPhase = -1);
    // The data phase for `bytes` of samples that will be copied unchanged
    // from `sourceOffset` of another file with GetPtrToFile()->CopyFrom: the
    // kernel then copies whole page-cache folios, as fast as cp. -1 (the
    // samples start on a page) for copies too small to gain from it, which
    // saves their files the up to 64 KiB of padding.
    static long DataPhaseForCopy(std::uint64_t sourceOffset, std::uint64_t bytes);
    // Closes quietly; call Close() to learn about a failure.
    ~CDataset();
    CDataset(const CDataset&) = delete;
    CDataset& operator=(const CDataset&) = delete;

    // Writes back a changed description and releases the file. Throws
    // CDatasetException when that fails; the object is closed either way.
    void Close();
    bool IsOpen() const;
    bool IsWritable() const;
    const CString& GetPath() const;
    CString GetTrx() const { return GetPath(); }
    // "<title> (<file name>)", the name the host shows.
    CString GetMoniker() const;

    // Description.
    const CString& GetTitle() const;
    void SetTitle(const char* title);
    const CString& GetComment() const;
    void SetComment(const char* comment);
    CDateTimeEx GetDateOfRecording() const;
    void SetDateOfRecording(const CDateTimeEx& date);
    int GetKind() const;
    void SetKind(int kind);
    int GetOrganisation() const;
    int GetScanMode() const;

    int GetNbrOfAbscissas() const;
    CAbscissa GetAbscissa(int index) const;   // a default abscissa for a bad index
    // The same kind of abscissa (calculated or stored with the same type and
    // coordinate) may be set; false otherwise or when read-only.
    bool SetAbscissa(int index, const CAbscissa& abscissa);
    long GetNbrOfScans() const;               // of abscissa 0
    bool SetMaxNbrOfScans(long n);            // limits abscissa 0 (count and maximum)

    int GetNbrOfChannels() const;
    CChannel GetChannel(int index) const;     // a default channel for a bad index
    // The implementation type cannot change (the samples are stored in it).
    bool SetChannel(int index, const CChannel& channel);
    // Samples per second of a channel from abscissa 0 and the sampling pattern.
    double GetSamplingRate(int channel) const;

    int GetNbrOfSubChannels() const;
    CSubChannel GetSubChannel(int index) const;
    CSubChannelList GetSubChannels() const;
    bool SetSubChannels(const CSubChannelList& list);
    // Gives the sub-channel an identifier when it has none (-1); returns its index or -1.
    int AddSubChannel(const CSubChannel& sub);

    // Scan mode 1 (pattern ignored) or 3 with the pattern of channel numbers
    // that makes up one scan. Only before samples were written.
    bool SpecifySamplingParameter(int scanMode, const CChNbrList& pattern);
    CChNbrList GetSamplingPattern() const;    // every channel once in scan mode 1
    // Occurrences of a channel per scan.
    int GetSamplesPerScan(int channel) const;
    // Bytes of one scan in the file.
    long GetScanSize() const;

    // False when the file was left open for writing by a program that ended
    // before closing it, or holds fewer scans than its description announces.
    bool IsComplete() const;
    // Whole scans in the file, announced or not.
    long long GetNbrOfScansInFile() const;
    // The description as the file states it (JSON, UTF-8), layout included.
    std::string GetDescriptionJson() const;

    // Byte offset of the first sample in the file.
    long GetStartOfDataInFile() const;
    // The buffered stream over the file, positioned at the start of the data
    // when first asked for (a read-only data set's stream only reads). Owned
    // by the data set; its writes are flushed before any access moves data.
    CDataStream* GetPtrToFile();

    // Accesses (owned by the data set, deleted with it). The new access
    // becomes the active one. nbrOfScans -1: to the end of the data. Null on
    // failure (GetLastError tells).
    CAccess* CreateAccess(int mode, const CChNbrList& channels, int abscissa = 0, long firstScan = 0,
                          long nbrOfScans = -1, int mappingKind = mk__physical);
    CAccess* CreateAccess(int mode, int channel, int abscissa, long firstScan, long nbrOfScans,
                          int mappingKind = mk__physical);
    // By abscissa range (as CAccess::Specify with its defaults).
    CAccess* CreateAccess(int mode, const CChNbrList& channels, int abscissa, double from, double to,
                          double tolerance);
    bool DeleteAccess(CAccess* access);
    bool SetActiveAccess(CAccess* access);
    CAccess* GetActiveAccess() const;

    // Transfers through the active access; without one an access over all
    // channels and all scans is made first (read-write when the data set is).
    long GetData(long nbrOfScans, void* buffer, int organisation, int implType);
    long SetData(long nbrOfScans, const void* buffer, int organisation, int implType);
    double GetWorldFixAbsc(int abscissa, long index) const;

    // Tag collections: "Channel%d" with a channel index. Null for any other
    // name or an index out of range; an empty collection when none was set.
    std::unique_ptr<CTags> GetTags(const char* name) const;
    bool SetTags(const char* name, const CTags& tags);

    // A new data set in a temporary file holding the active access's
    // channels and range (at most nbrOfScans scans) in `implType`, with
    // physical values; null on failure. The caller deletes it; the temporary
    // file goes with it.
    CDataset* CreateSubSet(long nbrOfScans, int organisation, int implType);
    // A copy of this data set's file (pending changes included) at `path`,
    // written aside and renamed into place. The object stays on its own file.
    bool SaveAs(const char* path, long expectedScans, long bufferSize);

    const CString& GetLastError() const;

private:
    std::unique_ptr<CDatasetCore> m_core;
};

// A data set named by text: a TRX path, optionally followed by "|" and a
// channel selection ("data.trx|0,2-4"); the second text, when given, is a
// selection that replaces the first. No selection means every channel. A
// selection is numbers and ranges "a-b" (channel indices from 0), separated
// by commas or blanks. A text that names an existing file as a whole is
// taken as a path even when it contains "|".
class CMark {
public:
    CMark(const char* text, const char* selection = nullptr);
    const CString& GetPath() const { return m_sPath; }
    CString GetTrx() const { return m_sPath; }
    // The selection; for no selection, every channel of the data set (the
    // file is opened to count them; empty when it cannot be read).
    CChNbrList GetChannelList() const;
    bool HasSelection() const { return m_bSelection; }
    bool IsValid() const { return m_bValid; }   // false for a malformed selection

private:
    CString m_sPath;
    CChNbrList m_channels;
    bool m_bSelection = false;
    bool m_bValid = true;
};
