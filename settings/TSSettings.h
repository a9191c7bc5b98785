#pragma once
// The conversion settings of the module. Every setting is a static member: one
// set per process, shared by every job and every settings page. An instance
// only caches the property pages handed to the host.
//
// Settings archive: schema 12, see TSSettings.cpp for the field order.

#include "platform/CString.h"

class CPropertyPage;
class CppgSettings;
class IStorage;
class CSettingsArchive;

class CTSSettings {
public:
    // Which settings page GetPPage returns.
    enum valTSFormat : int {
        tsfASCImport = 0,
        tsfASCExport = 1,
        tsfPAKImport = 2,
        tsfPAKExport = 3,
        tsfSDFImport = 4,
        tsfSDFExport = 5,
        tsfSONYImport = 6,
        tsfTEACImport = 7,
        tsfUFFImport = 8,
        tsfUFFExport = 9,
        tsfWAVImport = 10,
        tsfWAVExport = 11,
        tsfMP3Import = 12,
        tsfMP3Export = 13,
    };
    static constexpr int g_iNbrOfFormats = 14;

    // Per-job-kind bits of m_lStandardPathFlags and m_lOverwriteFlags (the same
    // bit serves the same job kind in both). The spreadsheet import and the
    // mixed-rate export have none.
    static constexpr long bitASCExport = 0x0001;
    static constexpr long bitSDFImport = 0x0002;
    static constexpr long bitSDFExport = 0x0004;
    static constexpr long bitSONYImport = 0x0008;
    static constexpr long bitUFFImport = 0x0010;
    static constexpr long bitUFFExport = 0x0020;
    static constexpr long bitWAVImport = 0x0040;
    static constexpr long bitWAVExport = 0x0080;
    static constexpr long bitTEACImport = 0x0100;
    static constexpr long bitPAKExport = 0x0200;
    static constexpr long bitPAKImport = 0x0400;
    static constexpr long bitASCImport = 0x0800;
    static constexpr long bitMP3Import = 0x1000;
    static constexpr long bitMP3Export = 0x2000;

    // Number of elements of the ASCII import name and unit arrays.
    static constexpr int g_iNbrOfASCImportChannels = 256;

    // Schema written by Store; Load accepts 1 to this value.
    static constexpr int g_iArchiveSchema = 12;

    // Load results.
    static constexpr short loadOK = 0;
    static constexpr short loadNoStream = -1;
    static constexpr short loadBadSchema = -2;
    static constexpr short loadArchiveError = -3;
    static constexpr short loadOtherError = -4;

    CTSSettings();
    ~CTSSettings();
    CTSSettings(const CTSSettings&) = delete;
    CTSSettings& operator=(const CTSSettings&) = delete;

    // Writes the settings archive into the storage, replacing the stream named
    // by text 1 of the language resources. False when the stream cannot be
    // created or written (an earlier archive then stays as it was).
    bool Store(IStorage* pStorage);
    // Reads the archive from that stream: 0, or -1 no stream (nothing changes),
    // -2 schema not recognised, -3 archive ends early or is corrupt, -4 any
    // other error. After -2/-3/-4 the fields read before the error keep their
    // new values.
    short Load(IStorage* pStorage);

    // The settings page for the value (a CppgSettings of SettingsPage.h),
    // created at the first request and kept until the instance goes; null
    // outside 0..13. Its Qt view: settings/pages/PageWidget.h.
    CPropertyPage* GetPPage(valTSFormat eFormat);

    // Every static member back to its value at module load (for tests and for
    // a host that wants factory settings).
    static void ResetToDefaults();

    // The standard directory member that belongs to a job kind's bit; null for
    // a value that is not exactly one known bit.
    static CString* StandardPathOf(long lJobBit);

    // Settings archive codec, public for the fuzz target and the tests: reads
    // an archive image / writes one (what Store puts into the stream).
    static short LoadFromBytes(const void* pData, std::size_t uSize);
    static std::string StoreToBytes();

    static long m_lStandardPathFlags;
    static long m_lOverwriteFlags;
    static CString m_sPathTRX;
    static CString m_sPathASC;
    static CString m_sPathPAK;
    static CString m_sPathSDF;
    static CString m_sPathUFF;
    static CString m_sPathWAV;
    static CString m_sPathMP3;
    static CStringArray m_arsChNameASCImport;
    static CStringArray m_arsChUnitASCImport;
    static int m_iChImplType;
    static int m_bAbscProvidedASCImport;
    static double m_dAbscDeltaValASCImport;
    static CString m_sAbscUnitASCImport;
    static int m_bSeparatorASCExport;
    static int m_iNumberNotationASCExport;
    static int m_iNumberNotationComplexASCExport;
    static short m_nNbrOfDigitsASCExport;
    static int m_bUseCommaASCExport;
    static int m_bConvert2dBASCExport;
    static int m_bEnableFloat32PAKExport;
    static int m_bHighSamplingRate4RefQuantSDFExport;
    static CString m_sNameSETFileTEACImport;
    static int m_bBinaryUFFExport;
    static float m_fCalibrationWAVImport;
    static float m_fInputRangeWAVImport;
    static int m_bPascalWAVImport;
    static CString m_sQuantityWAVImport;
    static CString m_sUnitWAVImport;
    static int m_iConvFloatToIntWAVExport;
    static short m_nCalibrationWAVExport;
    static int m_b24BitResolutionWAVExport;
    static int m_bIncludePulseChWAVExport;

private:
    static void Serialize(CSettingsArchive& ar);

    CppgSettings* m_apPages[g_iNbrOfFormats] = {};
};
