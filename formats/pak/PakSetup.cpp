#include "formats/pak/PakSetup.h"

#include <cfloat>
#include <cstdio>

using PakLayout::CFields;

namespace PakSetup {

namespace {

constexpr std::size_t kSetupText = 72;   // text of up to 32 bytes

std::string Line(const std::string& s) { return s + "\t\n"; }
std::string Int(long v) { return Line(std::to_string(v)); }
std::string Fixed(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.6f", v);
    return b;
}
// A float line; the largest float and its negative stand for words.
std::string Float(float v, const char* max = nullptr, const char* min = nullptr)
{
    if (max && v == FLT_MAX)
        return Line(max);
    if (min && v == -FLT_MAX)
        return Line(min);
    return Line(Fixed(double(v)));
}

CFields Fields(const unsigned char* setup)
{
    return CFields(const_cast<unsigned char*>(setup), PakLayout::kSetupSize, false);
}

}  // namespace

void InitHeader(unsigned char* header)
{
    std::fill(header, header + PakLayout::kHeaderSize, 0);
    CFields h(header, PakLayout::kHeaderSize, false);
    std::memcpy(header + PakLayout::kHdrByteOrder, "LSB", 3);
    h.Put<std::int32_t>(PakLayout::kHdrRevision, 1);
}

void InitSetup(unsigned char* setup)
{
    using namespace PakLayout;
    std::fill(setup, setup + kSetupSize, 0);
    CFields s(setup, kSetupSize, false);
    s.Put<std::int16_t>(kSetRevision, 2);
    s.Put<std::int16_t>(2, 111);
    s.Put<std::int16_t>(10, 1);
    s.Put<float>(kSetRate, 32768.0f);
    // Measurement block: limits and steps with their markers.
    s.Put<std::int16_t>(40, -99);
    s.Put<std::int16_t>(42, -1);
    s.Put<float>(48, 10.0f);
    s.Put<float>(52, 1.0f);
    s.Put<float>(56, 0.1f);
    s.Put<float>(60, 5.0f);
    s.Put<float>(68, 100.0f);
    s.Put<std::int32_t>(kSetHardware, 2);
    // FFT block: 1024 lines over 12800 Hz until the export sets its own.
    s.Put<std::int32_t>(kSetFftLines, 1024);
    s.Put<float>(kSetFftRange, 12800.0f);
    s.Put<float>(kSetFftHalf, 6400.0f);
    s.Put<std::int16_t>(33940, 1);
    s.Put<std::int16_t>(33944, 1);
    s.Put<float>(33952, 1.0f);
    // Speed channel block.
    s.Put<float>(34180, 0.1f);
    std::memcpy(setup + 34240, "DREH", 4);
    for (int i = 0; i < kMaxChannels; ++i) {
        s.Put<std::int16_t>(ChannelBlock(i) + 2, -1);
        s.Put<std::int16_t>(ChannelBlock(i) + 4, -1);
        s.Put<std::int16_t>(ChannelBlock(i) + 6, 1);
        const std::size_t r = Record(i);
        s.Put<std::int16_t>(r + 10, 1);
        s.Put<float>(r + 16, 1.0f);
        s.Put<float>(r + 20, 1.0f);
        s.Put<float>(r + 28, 0.1f);
        s.Put<std::int16_t>(r + kRecQuantity, -1);   // 65535: no quantity
        s.Put<double>(r + kRecFactor, 1.0);
        s.Put<std::int16_t>(r + 58, -1);
        s.Put<std::int16_t>(r + 60, -1);
        s.Put<float>(r + 64, FLT_MAX);
        s.Put<float>(r + 68, FLT_MAX);
        s.Put<std::int16_t>(r + 84, -1);
        s.Put<std::int16_t>(r + 86, -1);
        std::fill(setup + r + 88, setup + r + kRecordSize, 0xFF);
    }
}

std::string SetupText(const unsigned char* setup)
{
    const CFields s = Fields(setup);
    auto i16 = [&](std::size_t o) { return Int(s.Get<std::int16_t>(o)); };
    auto i32 = [&](std::size_t o) { return Int(s.Get<std::int32_t>(o)); };
    auto f = [&](std::size_t o) { return Float(s.Get<float>(o)); };
    std::string t;
    t += i16(0) + i16(2) + i16(8) + i16(10) + i32(12) + i32(24) + i16(28) + f(32) + i32(34276) + i16(40);
    t += f(44) + f(48) + f(52) + Float(s.Get<float>(56), "Max") + i16(64) + Line(s.Text(kSetupText, 32)) + f(68);
    t += Float(s.Get<float>(60), "OFF", "Delta") + i16(34176) + f(34180) + i16(34184) + i16(34186) + f(34192);
    t += f(34196) + i16(34200) + f(34204) + i16(42) + i16(30);
    t += Line("reserved") + Line("reserved");
    return t;
}

std::string KanalkonfigText(const unsigned char* setup)
{
    const CFields s = Fields(setup);
    const int n = s.Get<std::int16_t>(PakLayout::kSetChannels);
    std::string t;
    for (int i = 0; i < n && i < PakLayout::kMaxChannels; ++i) {
        const std::size_t r = PakLayout::Record(i);
        auto i16 = [&](std::size_t o) { return Int(s.Get<std::int16_t>(r + o)); };
        auto f = [&](std::size_t o) { return Float(s.Get<float>(r + o), "MAXFLOAT", "-MAXFLOAT"); };
        auto d = [&](std::size_t o) { return Line(Fixed(s.Get<double>(r + o))); };
        std::string c;
        for (int k = 0; k < 4; ++k)
            c += Int(s.Get<std::int16_t>(ChannelBlock(i) + 2 * std::size_t(k)));
        c += Int(s.Get<std::int32_t>(r));
        c += Int(std::int16_t(std::uint16_t(s.Get<std::int16_t>(r + PakLayout::kRecKind)) | 0x8000u));
        c += i16(6) + i16(8) + i16(10) + i16(12) + i16(14) + f(16) + f(20) + f(28) + i16(32) + i16(34);
        c += d(40) + d(48) + f(24) + i16(56) + i16(58) + i16(60) + i16(62);
        c += f(64) + f(68) + f(72) + f(76) + f(80) + i16(84) + i16(36) + i16(38);
        for (int lines = 31; lines < 35; ++lines)
            c += Line("reserved");
        t += c;
    }
    return t;
}

std::string KalibText(const unsigned char* setup)
{
    const CFields s = Fields(setup);
    const int n = s.Get<std::int16_t>(PakLayout::kSetChannels);
    std::string t;
    for (int i = 0; i < n && i < PakLayout::kMaxChannels; ++i) {
        const std::size_t r = PakLayout::Record(i);
        const short kind = s.Get<std::int16_t>(r + PakLayout::kRecKind);
        char number[16];
        std::snprintf(number, sizeof number, "%3d\t", i + 1);
        t += number;
        t += kind == 1 ? "NORMAL\t" : kind == 4 ? "PERIOD\t" : "OFF\t";
        t += std::to_string(s.Get<std::int16_t>(r + PakLayout::kRecQuantity)) + "\t";
        t += "---\tlin\t\t";
        t += kind == 1 ? "---\t\t\t---\t" : "\t---\t\t\t";
        t += FormatFitting(1.0 / s.Get<double>(r + PakLayout::kRecFactor), 10) + "\t";
        t += kind == 1 ? "---\t\n" : "0\t\n";
    }
    return t;
}

std::string HardwareText(const unsigned char* setup)
{
    const CFields s = Fields(setup);
    std::string t = Int(s.Get<std::int32_t>(104)) + Int(s.Get<std::int32_t>(108)) + Int(s.Get<std::int32_t>(112)) +
                    Int(s.Get<std::int32_t>(116)) + Float(s.Get<float>(120));
    for (int i = 0; i < 15; ++i)
        t += Line("reserved");
    return t;
}

std::string FftText(const unsigned char* setup)
{
    const CFields s = Fields(setup);
    std::string t = Int(s.Get<std::int32_t>(33920)) + Float(s.Get<float>(33924)) + Float(s.Get<float>(33928)) +
                    Int(s.Get<std::int16_t>(33936)) + Float(s.Get<float>(33952)) + Int(s.Get<std::int16_t>(33940)) +
                    Int(s.Get<std::int16_t>(33942)) + Int(s.Get<std::int16_t>(33944)) + Float(s.Get<float>(33948));
    for (int i = 0; i < 6; ++i)
        t += Line("reserved");
    return t;
}

std::string MPlistText(const std::vector<std::pair<std::string, bool>>& namesAndLs)
{
    std::string t;
    int lines = 0;
    for (const auto& [name, ls] : namesAndLs) {
        t += name + (ls ? "\t\tLS\t\n" : "\t\tKS\t\n");
        ++lines;
    }
    for (; lines < PakLayout::kMaxChannels; ++lines)
        t += "\t\tLS\t\n";
    return t;
}

std::string FormatFitting(double value, int n)
{
    char b[512];
    for (int precision = n - 2; precision >= 0; --precision) {
        std::snprintf(b, sizeof b, "%.*g", precision, value);
        if (int(std::strlen(b)) <= n)
            return b;
    }
    return std::string();
}

namespace {

std::string Lines(const std::vector<std::string>& lines)
{
    std::string t;
    for (const std::string& l : lines)
        t += l + "\t\n";
    return t;
}

std::vector<STemplate> MakeTemplates()
{
    const std::string ss = "Me\xDE";   // "Meß" in HP Roman-8
    std::vector<std::string> vehicle;
    const char* labels[] = {"Sachbearbeiter", "Projektnr.", "Versuchsnr.", "Versuchstitel", "Fahrzeugtyp",
                            "V-Nr.", "P-Nr.", "T-Nr.", "Modelljahr", "Baugruppe", "km-Stand Beginn", "Ende",
                            "Fahrgestellnr.", "Motortyp", "Motornr.", "Getriebetyp", "Getriebenr.", "HAG-Typ",
                            "i=", "Bereifung vo.", "hi.", "Schiebedach", "Heizger.", "Radio",
                            "Lautsprecherausr.", "Innenausstattung", "Weitere Ausst.", "", "Besonderheiten", ""};
    for (const char* l : labels) {
        vehicle.push_back(l);
        vehicle.push_back("");
    }
    // The record is 392 bytes: the last empty label has no value line.
    vehicle.pop_back();

    std::vector<std::string> definition = {
        "Versuchsname:", "Import", "Untertitel:", "Data", "Fahrzeugdaten:", "OFF", ss + "text:", "OFF",
        ss + "zyklus:", "OFF", ss + "-Setup:", "Setup", "Plot-Editor:", "OFF", "Auswertung:", "FFT",
        ss + "modus:", "Thru&Post", "Thruput-Zeit[s]:", "190", ss + "punkt", "Art"};
    for (int i = 0; i < 256; ++i) {
        definition.push_back("");
        definition.push_back("LS");
    }
    return {{149, "Fahrzeug", Lines(vehicle)},
            {135, "MessDef", Lines(definition)},
            {141, "Messtext", Lines(std::vector<std::string>(12))},
            {142, "Messzyklus", Lines(std::vector<std::string>(2))}};
}

}  // namespace

const std::vector<STemplate>& Templates()
{
    static const std::vector<STemplate> templates = MakeTemplates();
    return templates;
}

}  // namespace PakSetup
