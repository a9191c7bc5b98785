// `tessel info FILE [--json]`: the description of a TRX data set.

#include "cli/CommandRegistry.h"
#include "hostlibs/dataset/Dataset.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace tessel::cli {
namespace {

using nlohmann::json;

std::string U(const CString& s) { return ToUtf8(s); }

json Describe(CDataset& ds)
{
    json j;
    j["kind"] = ds.GetKind();
    j["title"] = U(ds.GetTitle());
    j["comment"] = U(ds.GetComment());
    CDateTimeEx date = ds.GetDateOfRecording();
    j["date"] = date.IsValid() ? json(U(date.FormatISO())) : json(nullptr);
    j["organisation"] = ds.GetOrganisation();
    j["data_offset"] = ds.GetStartOfDataInFile();
    j["abscissas"] = json::array();
    for (int i = 0; i < ds.GetNbrOfAbscissas(); ++i) {
        CAbscissa a = ds.GetAbscissa(i);
        j["abscissas"].push_back({{"name", U(a.GetName())},
                                  {"abbreviation", U(a.GetAbbreviation())},
                                  {"quantity", U(a.GetQuantity().GetName())},
                                  {"unit", U(a.GetUnit().GetText())},
                                  {"first", a.GetFirstValue()},
                                  {"delta", a.GetDeltaValue()},
                                  {"scans", a.GetNbrOfScans()},
                                  {"distribution", a.GetDistribution()},
                                  {"impl_type", a.GetImplType()}});
    }
    j["channels"] = json::array();
    for (int i = 0; i < ds.GetNbrOfChannels(); ++i) {
        CChannel c = ds.GetChannel(i);
        j["channels"].push_back({{"index", i},
                                 {"name", U(c.GetName())},
                                 {"abbreviation", U(c.GetAbbreviation())},
                                 {"title", U(c.GetTitle())},
                                 {"quantity", U(c.GetQuantity().GetName())},
                                 {"unit", U(c.GetUnit().GetText())},
                                 {"impl_type", c.GetImplType()},
                                 {"number", c.GetPhysChannel()},
                                 {"mapping", {{"factor", c.GetMapping().GetFactor()},
                                              {"offset", c.GetMapping().GetOffset()}}},
                                 {"calibration", c.GetCalibration()},
                                 {"delta_headroom", c.GetDeltaHeadroom()},
                                 {"sampling_rate", ds.GetSamplingRate(i)}});
    }
    j["subchannels"] = json::array();
    for (int i = 0; i < ds.GetNbrOfSubChannels(); ++i) {
        CSubChannel s = ds.GetSubChannel(i);
        j["subchannels"].push_back({{"type", s.GetType()},
                                    {"id", s.GetID()},
                                    {"parent", s.GetParentChannelID()},
                                    {"bitmask", s.GetBitmask()},
                                    {"name", U(s.GetName())},
                                    {"unit", U(s.GetUnit().GetText())},
                                    {"pulse_factor", s.GetPulseFactor()}});
    }
    return j;
}

void PrintText(const json& j)
{
    auto str = [](const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); };
    std::printf("kind          %s (%s)\n", str(j["kind"]).c_str(), U(CDataKind::GetName(j["kind"].get<int>())).c_str());
    std::printf("title         %s\n", str(j["title"]).c_str());
    std::printf("comment       %s\n", str(j["comment"]).c_str());
    std::printf("date          %s\n", j["date"].is_null() ? "-" : str(j["date"]).c_str());
    std::printf("organisation  %s\n", str(j["organisation"]).c_str());
    std::printf("data offset   %s\n", str(j["data_offset"]).c_str());
    for (const json& a : j["abscissas"])
        std::printf("abscissa      %s [%s] %s in %s: first %.9g, delta %.9g, %s scans\n",
                    str(a["name"]).c_str(), str(a["abbreviation"]).c_str(), str(a["quantity"]).c_str(),
                    str(a["unit"]).c_str(), a["first"].get<double>(), a["delta"].get<double>(),
                    str(a["scans"]).c_str());
    for (const json& c : j["channels"])
        std::printf("channel %-5s %s [%s] %s in %s, %s, factor %.9g offset %.9g, calibration %.6g dB, %.9g/s\n",
                    str(c["index"]).c_str(), str(c["name"]).c_str(), str(c["abbreviation"]).c_str(),
                    str(c["quantity"]).c_str(), str(c["unit"]).c_str(),
                    U(CImplType::GetName(c["impl_type"].get<int>())).c_str(), c["mapping"]["factor"].get<double>(),
                    c["mapping"]["offset"].get<double>(), c["calibration"].get<double>(),
                    c["sampling_rate"].get<double>());
    for (const json& s : j["subchannels"])
        std::printf("subchannel    %s (type %s, id %s) on channel %s, mask 0x%X, pulse factor %.9g\n",
                    str(s["name"]).c_str(), str(s["type"]).c_str(), str(s["id"]).c_str(),
                    str(s["parent"]).c_str(), s["bitmask"].get<unsigned>(), s["pulse_factor"].get<double>());
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
            j = Describe(ds);
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
