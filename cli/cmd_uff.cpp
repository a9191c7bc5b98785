// `tessel import uff` and `tessel export uff`.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"
#include "formats/uff/TS_UFF.h"
#include "frame/ThreadManager.h"
#include "settings/TSSettings.h"

#include <cstdio>

namespace tessel::cli {
namespace {

class CUffImportCommand : public CConversionCommand {
public:
    CUffImportCommand()
        : CConversionCommand(EDirection::Import, "uff", "Universal file (data sets 58, 58b) -> TRX data sets", ".trx")
    {
    }

    void AddOptions(CLI::App& cmd) override
    {
        cmd.add_flag("--trace", m_bTrace, "Trace the reading of the file on stderr");
    }

    // Run as a job of its own even for one input: a file with several groups
    // makes several numbered TRX files, and only the job's report names them.
    std::vector<std::string> FileExtensions() const override { return {".uff", ".unv", ".uf"}; }

    bool HasSyncMode() const override { return false; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveUFFImportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        if (!m_bTrace)
            return ts.ImportUFF(r.input, r.id, r.user, r.output, r.overwrite, msg);
        // The trace target is a property of the job, which the exported interface does not reach.
        return CThreadManager::Dispatch(msg, r.output, [&] {
            auto* job = new CThreadUFFImport(r.input, r.id, r.user, r.output, r.overwrite);
            job->SetTrace(stderr);
            return job;
        });
    }

private:
    bool m_bTrace = false;
};
TESSEL_REGISTER_CONVERSION(CUffImportCommand)

class CUffExportCommand : public CConversionCommand {
public:
    CUffExportCommand()
        : CConversionCommand(EDirection::Export, "uff", "TRX data sets -> universal file (data sets 58, 58b)", ".UFF")
    {
    }

    void AddOptions(CLI::App& cmd) override
    {
        m_pInputs = cmd.get_option("inputs");
        cmd.add_flag("--binary", m_bBinary, "Write the binary form (58b)");
        cmd.add_flag("--list", m_bList,
                     "Write every input into one file (degrees of freedom from the channel names)");
    }

    std::vector<std::string> FileExtensions() const override { return {".uff", ".unv", ".uf"}; }

    bool HasSyncMode() const override { return false; }
    bool CombinesInputs() const override { return m_bList; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveUFFExportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage*) override
    {
        // The option overrides the setting only when given.
        int binary = 1;
        const int* pBinary = m_bBinary ? &binary : nullptr;
        if (!m_bList)
            return ts.ExportUFF(r.input, r.id, r.user, r.output, r.overwrite, pBinary);
        CList<CString, CString&> inputs;
        for (const std::string& in : m_pInputs->as<std::vector<std::string>>()) {
            CString s(in);
            inputs.AddTail(s);
        }
        return ts.ExportUFFModal(inputs, r.id, r.user, r.output, r.overwrite, pBinary);
    }

private:
    CLI::Option* m_pInputs = nullptr;
    bool m_bBinary = false;
    bool m_bList = false;
};
TESSEL_REGISTER_CONVERSION(CUffExportCommand)

}  // namespace
}  // namespace tessel::cli
