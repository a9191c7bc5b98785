// `tessel info FILE [--json]`: the description of a TRX data set.

#include "cli/CommandRegistry.h"
#include "hostlibs/dataset/Dataset.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace tessel::cli {
namespace {

using nlohmann::json;

std::string U(const CString& s) { return ToUtf8(s); }

// The description under the names the file itself uses (docs/trx-format.md),
// followed by what only the file as a whole can tell; docs/info-json.md.
json Describe(CDataset& ds, const std::string& path)
{
    json j = json::parse(ds.GetDescriptionJson());
    for (int i = 0; i < ds.GetNbrOfChannels() && i < int(j["channels"].size()); ++i) {
        j["channels"][std::size_t(i)]["samples_per_scan"] = ds.GetSamplesPerScan(i);
        j["channels"][std::size_t(i)]["sampling_rate"] = ds.GetSamplingRate(i);
    }
    j["path"] = path;
    j["data_offset"] = ds.GetStartOfDataInFile();
    j["scans_in_file"] = ds.GetNbrOfScansInFile();
    j["complete"] = ds.IsComplete();
    return j;
}

std::string Str(const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

std::string Mapping(const json& m)
{
    char buf[256];
    if (m.contains("factor"))
        std::snprintf(buf, sizeof buf, "factor %.9g offset %.9g", m["factor"].get<double>(), m["offset"].get<double>());
    else
        std::snprintf(buf, sizeof buf, "%.9g <-> %.9g, %.9g <-> %.9g (%s physical, %s stored)",
                      m["x1"].get<double>(), m["y1"].get<double>(), m["x2"].get<double>(), m["y2"].get<double>(),
                      m["type_x"] == 2 ? "logarithmic" : "linear", m["type_y"] == 2 ? "logarithmic" : "linear");
    return buf;
}

void PrintText(const json& j)
{
    std::printf("kind          %s (%s)\n", Str(j["kind"]).c_str(), U(CDataKind::GetName(j["kind"].get<int>())).c_str());
    std::printf("title         %s\n", Str(j["title"]).c_str());
    std::printf("comment       %s\n", Str(j["comment"]).c_str());
    std::printf("date          %s\n", j.contains("date_of_recording_text") ? Str(j["date_of_recording_text"]).c_str() : "-");
    std::printf("organisation  %s, scan mode %s\n", Str(j["organisation"]).c_str(), Str(j["scan_mode"]).c_str());
    if (j.contains("pattern")) std::printf("pattern       %s\n", j["pattern"].dump().c_str());
    std::printf("data offset   %s, %s of %s scans in the file%s\n", Str(j["data_offset"]).c_str(),
                Str(j["scans_in_file"]).c_str(), Str(j["layout"]["scans"]).c_str(),
                j["complete"].get<bool>() ? "" : " (INCOMPLETE)");
    for (const json& a : j["abscissas"]) {
        std::printf("abscissa      %s [%s] %s in %s, %s scans (at most %s): ", Str(a["name"]).c_str(),
                    Str(a["abbreviation"]).c_str(), Str(a["quantity"]).c_str(), Str(a["unit"]).c_str(),
                    Str(a["scans"]).c_str(), a["max_scans"] == 0 ? "any" : Str(a["max_scans"]).c_str());
        if (a["calculated"].get<bool>())
            std::printf("calculated, first %.9g, delta %.9g, %s\n", a["first"].get<double>(), a["delta"].get<double>(),
                        a["distribution"] == 2 ? "logarithmic" : "linear");
        else
            std::printf("stored as %s, %s, %s\n", U(CImplType::GetName(a["impl_type"].get<int>())).c_str(),
                        a["coordinate"] == 2 ? "bands" : "one value per scan", Mapping(a["mapping"]).c_str());
    }
    for (std::size_t i = 0; i < j["channels"].size(); ++i) {
        const json& c = j["channels"][i];
        std::printf("channel %-5zu %s [%s] %s in %s, %s, %s, calibration %.6g dB, %.9g/s\n", i,
                    Str(c["name"]).c_str(), Str(c["abbreviation"]).c_str(), Str(c["quantity"]).c_str(),
                    Str(c["unit"]).c_str(), U(CImplType::GetName(c["impl_type"].get<int>())).c_str(),
                    Mapping(c["mapping"]).c_str(), c["calibration"].get<double>(), c["sampling_rate"].get<double>());
        if (c.contains("tags"))
            for (auto it = c["tags"].begin(); it != c["tags"].end(); ++it)
                std::printf("  tag         %s = %s\n", it.key().c_str(), Str(it.value().begin().value()).c_str());
    }
    for (const json& s : j["sub_channels"])
        std::printf("sub-channel   %s (type %s, id %s) on channel %s, mask 0x%X, pulse factor %.9g\n",
                    Str(s["name"]).c_str(), Str(s["type"]).c_str(), Str(s["id"]).c_str(), Str(s["parent"]).c_str(),
                    s["bitmask"].get<unsigned>(), s["pulse_factor"].get<double>());
}

std::function<int()> SetupInfo(CLI::App& cmd)
{
    auto path = std::make_shared<std::string>();
    auto asJson = std::make_shared<bool>(false);
    cmd.add_option("file", *path, "TRX data set")->required();
    cmd.add_flag("--json", *asJson, "Print JSON");
    return [path, asJson] {
        json j;
        try {
            CDataset ds(path->c_str(), om__read, 32768, sh__deny_write);
            j = Describe(ds, *path);
        } catch (const CDatasetException& e) {
            std::fprintf(stderr, "tessel: %s\n", ToUtf8(e.GetText()).c_str());
            return int(kExitFailed);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tessel: %s: %s\n", path->c_str(), e.what());
            return int(kExitFailed);
        }
        if (*asJson)
            std::printf("%s\n", j.dump(2).c_str());
        else
            PrintText(j);
        return int(kExitOk);
    };
}

TESSEL_REGISTER_TOPLEVEL("info", "Describe a TRX data set", SetupInfo)

}  // namespace
}  // namespace tessel::cli
