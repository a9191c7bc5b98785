// `tessel import wav` and `tessel export wav`.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"
#include "formats/wave/WavExport.h"
#include "formats/wave/WavImport.h"
#include "settings/TSSettings.h"

#include <cmath>
#include <map>
#include <optional>

namespace tessel::cli {
namespace {

class CWavImportCommand : public CConversionCommand {
public:
    CWavImportCommand()
        : CConversionCommand(EDirection::Import, "wav", "WAVE file (integer PCM) -> TRX data set", ".dat") {}

    std::vector<std::string> FileExtensions() const override { return {".wav", ".wave"}; }

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveWAVImportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportWAV(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CWavImportCommand)

class CWavExportCommand : public CConversionCommand {
public:
    CWavExportCommand()
        : CConversionCommand(EDirection::Export, "wav", "TRX data set -> 16 or 24-bit PCM WAVE file", ".WAV") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("An input may name channels: data.trx|0,2-3. Options not given take the stored settings.");
        const std::map<std::string, int> modes{{"auto", 0}, {"original", 1}, {"scale", 2}};
        cmd.add_option("--conversion", m_conversion,
                       "Float to integer: auto (peak to full scale), original (1:1), scale (to --level)")
            ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case));
        cmd.add_option("--level", m_level, "Calibration level in dB for --conversion scale")
            ->check(CLI::Range(-32768, 32767));
        CLI::Option* b24 = cmd.add_flag("--24bit", m_24bit, "24-bit samples");
        CLI::Option* b16 = cmd.add_flag("--16bit", m_16bit, "16-bit samples");
        b24->excludes(b16);
        CLI::Option* pulse = cmd.add_flag("--pulse", m_pulse, "Include the pulse sub-channels (bit 0 / bit 8)");
        CLI::Option* noPulse = cmd.add_flag("--no-pulse", m_noPulse, "Leave the pulse sub-channels out");
        pulse->excludes(noPulse);
        // Infinity and NaN are numbers to the parser, but no length of time.
        CLI::Option* fade = cmd.add_option("--fade", m_fade, "Fade in and out over SEC seconds")
                                ->check([](const std::string& text) -> std::string {
                                    double v = 0;
                                    if (!CLI::detail::lexical_cast(text, v) || !std::isfinite(v) || v < 0)
                                        return "--fade takes a finite number of seconds, 0 or more: " + text;
                                    return {};
                                });
        CLI::Option* loop = cmd.add_flag("--loop", m_loop, "Cross-fade the end into the beginning (needs --fade)");
        loop->needs(fade);
        CLI::Option* old = cmd.add_flag("--old-header", m_oldHeader,
                                        "16-bit file with a tacho track from the pulse sub-channel");
        old->excludes(fade)->excludes(loop)->excludes(pulse)->excludes(noPulse);
    }

    std::vector<std::string> FileExtensions() const override { return {".wav", ".wave"}; }

    bool HasSyncMode() const override { return false; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveWAVExportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage*) override
    {
        std::optional<int> conv = m_conversion, b24, pulse;
        std::optional<short> level;
        if (m_level)
            level = short(*m_level);
        if (m_24bit)
            b24 = 1;
        else if (m_16bit)
            b24 = 0;
        if (m_pulse)
            pulse = 1;
        else if (m_noPulse)
            pulse = 0;
        auto ptr = [](const auto& o) { return o ? &*o : nullptr; };
        if (m_oldHeader)
            return ts.ExportWAVTachoOldHeader(r.input, r.id, r.user, r.output, r.overwrite, ptr(conv), ptr(level),
                                              ptr(b24));
        std::optional<double> fade = m_fade;
        std::optional<int> loop;
        if (m_loop)
            loop = 1;
        return ts.ExportWAV(r.input, r.id, r.user, r.output, r.overwrite, ptr(conv), ptr(level), ptr(b24),
                            ptr(pulse), ptr(fade), ptr(loop));
    }

private:
    std::optional<int> m_conversion;
    std::optional<int> m_level;
    bool m_24bit = false, m_16bit = false, m_pulse = false, m_noPulse = false, m_loop = false, m_oldHeader = false;
    std::optional<double> m_fade;
};
TESSEL_REGISTER_CONVERSION(CWavExportCommand)

}  // namespace
}  // namespace tessel::cli
