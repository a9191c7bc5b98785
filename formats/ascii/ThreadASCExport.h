#pragma once
// ASCII export: the channels of a TRX data set as a text table, one line per
// abscissa value and one column per channel (two for complex channels with a
// two-part notation), the abscissa first; data sets with two abscissas as one
// matrix per channel.

#include "frame/ThreadConversion.h"
#include "hostlibs/dataset/Channel.h"
#include "hostlibs/dataset/DatasetTypes.h"
#include "platform/CString.h"

#include <memory>

class CDataset;
class CAsciiTextWriter;
class CAsciiNumberFormat;

// The output of an export whose caller named none: the data set's path (a
// channel selection after "|" is no part of it) with ".asc", in the ASCII
// standard directory when the export's bit is set.
CString DeriveASCExportOutput(const char* input);

class CThreadASCExport : public CThreadConversion {
public:
    // Every pointer may be null: the setting applies. headerText null: none.
    // input may carry a channel selection ("run.trx|0,2"): only those channels.
    CThreadASCExport(const char* input, long id, long user, const char* output, const int* overwrite,
                     const int* numberNotation, const short* nbrOfDigits, const int* tabSeparator,
                     const int* decimalComma, const int* complexNotation, const int* convertTodB,
                     const char* headerText);
    ~CThreadASCExport() override;
    int Run() override;

    CString m_sOutput;
    int m_iNumberNotation;
    short m_nNbrOfDigits;
    int m_bTabSeparator;
    int m_bDecimalComma;
    int m_iComplexNotation;
    int m_bConvertTodB;
    CString m_sHeaderText;
    std::unique_ptr<CDataset> m_pDataset;
    CString m_sDatasetError;   // why the data set could not be opened
    bool m_bSelection = false;
    CChNbrList m_selection;

    // Values fetched per access and transfer.
    static constexpr long g_lBlockValues = 0x4000;

private:
    // Return a result id, or 0.
    unsigned WriteCurves(CAsciiTextWriter& out, const CAsciiNumberFormat& fmt, const CChNbrList& channels);
    unsigned WriteMatrices(CAsciiTextWriter& out, const CAsciiNumberFormat& fmt, const CChNbrList& channels);
};
