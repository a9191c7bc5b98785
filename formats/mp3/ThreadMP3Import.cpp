#include "formats/mp3/ThreadMP3Import.h"

#include "common/OutputPolicy.h"
#include "formats/mp3/Mp3Converter.h"
#include "formats/mp3/Mp3Result.h"
#include "formats/mp3/Mp3SideFile.h"
#include "formats/wave/WavImport.h"
#include "frame/CreatedOutputs.h"
#include "platform/FileSystem.h"
#include "platform/Spawn.h"
#include "settings/TSSettings.h"

#include <memory>
#include <thread>

CThreadMP3Import::CThreadMP3Import(const char* input, long id, long user, const char* output,
                                   const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_MP3_IMPORT;
    m_bOverwrite = overwrite ? (*overwrite == 1 ? 1 : 0)
                             : OutputPolicy::ResolveOverwrite(nullptr, CTSSettings::bitMP3Import);
    if (output)
        m_sOutput = output;
    else
        m_sOutput = OutputPolicy::DeriveOutputPath(input ? input : "", ".dat",
                                                   OutputPolicy::EExtensionRule::AppendWhenMissing,
                                                   CTSSettings::bitMP3Import);
}

CThreadMP3Import::~CThreadMP3Import() = default;

int CThreadMP3Import::Run()
{
    if (Convert()) {
        m_uState = TS_STATE_MP3_IMPORT;
        m_arsProduced.RemoveAll();
        m_arsProduced.Add(m_sOutput);
        return 0;
    }
    SetFailed(TS_NO_TEXT);
    return -1;
}

bool CThreadMP3Import::Convert()
{
    const CString input = m_sInput;
    const CString output = m_sOutput;
    auto fail = [&](unsigned id) {
        m_uStringID = id;
        return false;
    };
    if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite)) return false;

    CSemaphoreHolder single(m_semSingleAccess);
    Mp3Converter::CTempName mp3("mp3");
    Mp3Converter::CTempName wave("wav");
    if (!mp3.IsValid() || !wave.IsValid()) {
        m_sTextArg = "$TMPDIR";
        return fail(Mp3Result::kFileNotOpened);
    }
    // The decoder works on a copy: whatever it does, the input stays as it is.
    if (FileSystem::CopyFile(input, mp3.Path(), false).Failed()) {
        m_sTextArg = input;
        return fail(Mp3Result::kFileNotOpened);
    }

    // The side file is read while the decoder runs, on the core it leaves;
    // only once the decoder runs, so that it inherits none of the files
    // (and locks) of the reading.
    Mp3SideFile::CRestore restore;
    std::thread reading;
    std::string failure;
    const int status = Mp3Converter::Run(Mp3Converter::kDecoder, {mp3.Path().str(), wave.Path().str()},
                                         [this] { return Interrupted(); }, failure,
                                         [&] { reading = std::thread([&restore, &input] { restore.Open(input); }); });
    // Started whenever the decoder was.
    if (reading.joinable()) reading.join();
    mp3.RemoveAside();
    // The decoder's own verdict is its WAVE file: one it could not make is
    // refused by the WAVE import with that import's text.
    if (status == Spawn::kNotStarted) {
        m_sTextAppend = "\n" + CString(failure);
        return fail(Mp3Result::kConverterFailed);
    }
    if (Interrupted()) return fail(Mp3Result::kConverterFailed);

    SetProgress(0.33f);
    CCreatedOutputs created;
    {
        const int overwrite = 1;
        auto inner = std::make_unique<CThreadWAVImport>(wave.Path(), 0, 0, output, &overwrite);
        inner->SetSampleFilter(&restore);
        const int code = Mp3Converter::RunInner(*inner, [this](float p) { SetProgress((p + 1.0f) * 0.33333f); });
        // Its texts either way: a warning of a successful import stays one.
        Mp3Converter::TakeTexts(*this, *inner);
        if (code != 0 && !restore.FilterError().empty()) {
            // The pulse bits, not the samples, failed: the side file's result.
            m_sTextArg.Empty();
            m_sTextAppend = "\n" + CString(restore.FilterError());
            return fail(Mp3Result::kSideFileNotApplied);
        }
        if (code != 0) return false;
    }
    wave.RemoveAside();
    created.Add(output);

    SetProgress(0.75f);
    std::string error, warning;
    if (!restore.Apply(output, error, warning, [this] { return Interrupted(); })) {
        created.RemoveAll();
        m_sTextArg.Empty();
        m_sTextAppend = "\n" + CString(error);
        return fail(Mp3Result::kSideFileNotApplied);
    }
    created.Keep();
    if (!warning.empty()) {
        // The data set stands; what could not be restored is said.
        m_uStringID = Mp3Result::kSideFileNotApplied;
        m_sTextArg.Empty();
        m_sTextAppend = "\n" + CString(warning);
    }
    SetProgress(1.0f);
    return true;
}
