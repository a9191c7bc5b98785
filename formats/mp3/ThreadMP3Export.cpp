#include "formats/mp3/ThreadMP3Export.h"

#include "common/OutputPolicy.h"
#include "formats/mp3/Mp3Converter.h"
#include "formats/mp3/Mp3Result.h"
#include "formats/mp3/Mp3SideFile.h"
#include "formats/wave/WavExport.h"
#include "frame/Cancellation.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

CThreadMP3Export::CThreadMP3Export(const char* input, long id, long user, const char* output,
                                   const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_MP3_EXPORT;
    if (!input || !FileSystem::FileExists(input)) m_uStringID = Mp3Result::kTrxNotRead;
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitMP3Export);
    if (output)
        m_sOutput = output;
    else
        m_sOutput = OutputPolicy::DeriveOutputPath(input ? input : "", ".MP3",
                                                   OutputPolicy::EExtensionRule::AppendWhenMissing,
                                                   CTSSettings::bitMP3Export);
}

CThreadMP3Export::~CThreadMP3Export() = default;

int CThreadMP3Export::Run()
{
    if (Convert()) {
        m_uState = TS_STATE_MP3_EXPORT;
        m_arsProduced.RemoveAll();
        m_arsProduced.Add(m_sOutput);
        return 0;
    }
    SetFailed(TS_NO_TEXT);
    return -1;
}

bool CThreadMP3Export::Convert()
{
    const CString input = m_sInput;
    const CString output = m_sOutput;
    auto fail = [&](unsigned id) {
        m_uStringID = id;
        return false;
    };
    if (!FileSystem::FileExists(input)) return fail(Mp3Result::kTrxNotRead);
    if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite)) return false;

    CSemaphoreHolder single(m_semSingleAccess);
    Mp3Converter::CTempName wave("wav");
    Mp3Converter::CTempName mp3("mp3");
    if (!wave.IsValid() || !mp3.IsValid()) {
        m_sTextArg = "$TMPDIR";
        return fail(Mp3Result::kFileNotOpened);
    }

    // The side file needs nothing of the MP3 but its name: it is made aside
    // on a thread of its own while the WAVE export and the encoder run (the
    // encoder keeps one core busy, the other is free), and put in place
    // after the MP3. Whatever path leaves here, the thread has ended first.
    const CString sidePath = Mp3SideFile::PathFor(output);
    Mp3SideFile::CAside side;
    std::string sideError;
    bool sideMade = false;
    std::atomic<bool> abandon{false};
    std::thread sideWriter;
    auto writeSide = [&] {
        try {
            sideMade = side.Write(input, output, sidePath, sideError,
                                  [&] { return abandon.load() || JobCancellation::Requested(); });
        } catch (const std::exception& e) {
            sideError = e.what();
            sideMade = false;
        }
    };
    try {
        sideWriter = std::thread(writeSide);
    } catch (const std::system_error&) {
        // No thread to be had: it is written after the MP3 instead.
    }
    struct SJoin {
        std::thread& t;
        std::atomic<bool>& abandon;
        ~SJoin()
        {
            abandon = true;
            if (t.joinable()) t.join();
        }
    } joinSide{sideWriter, abandon};

    {
        const CMark mark(input, nullptr);
        const int overwrite = 1;
        const int originalValues = 1;
        auto inner = std::make_unique<CThreadWAVExport>(mark, 0, 0, wave.Path(), &overwrite, &originalValues,
                                                        nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0);
        const int code = Mp3Converter::RunInner(*inner, [this](float p) { SetProgress(p * 0.25f); });
        if (code != 0) {
            Mp3Converter::TakeTexts(*this, *inner);
            return false;
        }
    }
    if (Interrupted()) return fail(Mp3Result::kConverterFailed);

    // The rate the encoder is told; a data set that cannot say gives the
    // rate of a compact disc.
    double rate = 44100.0;
    try {
        CDataset source(input, om__read, 32768, sh__deny_write);
        const double r = source.GetSamplingRate(0);
        if (r > 0.0) rate = r;
    } catch (...) {
    }

    std::string failure;
    const int status = Mp3Converter::Run(Mp3Converter::kEncoder,
                                         {wave.Path().str(), mp3.Path().str(), CString::Formatted("%.0lf", rate).str()},
                                         [this] { return Interrupted(); }, failure);
    wave.RemoveAside();
    CCreatedOutputs created;
    if (status != 0) {
        if (!failure.empty()) m_sTextAppend = "\n" + CString(failure);
        return fail(Mp3Result::kConverterFailed);
    }
    // Only a file the encoder really made counts: an empty one is no MP3.
    {
        FileSystem::CFile made;
        if (!made.Open(mp3.Path()) || made.GetSize() <= 0) {
            m_sTextAppend = "\nThe converter made no MP3 data.";
            return fail(Mp3Result::kConverterFailed);
        }
    }
    // The checks above removed what stood at the output; a file there now is
    // another job's or the user's and stays.
    const FileSystem::SError copied = FileSystem::CopyFile(mp3.Path(), output, true);
    mp3.RemoveAside();
    if (copied.Failed()) {
        m_sTextArg = output;
        return fail(Mp3Result::kFileNotOpened);
    }
    created.Add(output);

    SetProgress(0.75f);
    if (sideWriter.joinable())
        sideWriter.join();
    else
        writeSide();
    if (Interrupted()) {
        created.RemoveAll();
        return fail(Mp3Result::kSideFileNotWritten);
    }
    if (!sideMade || !side.Commit(sideError)) {
        created.RemoveAll();
        m_sTextAppend = "\n" + CString(sideError);
        return fail(Mp3Result::kSideFileNotWritten);
    }
    created.Keep();
    SetProgress(1.0f);
    m_uStringID = Mp3Result::kSuccess;
    return true;
}
