// Truncated, corrupt and hostile files: every one gives a clean exception
// with a message, or opens and reads no more than the file holds.

#include "TrxTestSupport.h"

using namespace trxtest;
using nlohmann::json;

namespace {

// A valid file with a stored abscissa, three types and a tag.
std::vector<unsigned char> GoodFile(const ScratchDir& dir)
{
    std::string path = dir / "good.trx";
    CAbscissa x("x", "x", CQuantity("time"), CUnit("s", 1), it__float, 50, ac__world);
    CChannelList cl = Channels({Channel("a", it__int16, 0.5), Channel("b", it__int24), Channel("c", it__cfloat)});
    {
        CDataset ds(path.c_str(), Abscissas(x), cl, dk__frf, ds__dorg_with_abscissa, 0, 0, 0);
        std::vector<double> v(50 * 5);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = double(i);
        CAccess* a = ds.CreateAccess(am__readwrite, All(3));
        EXPECT_EQ(50, a->SetData(50, v.data(), ds__dorg_with_abscissa, it__double));
        CTags t;
        t.SetValue("DOF", CTagValue("+1X"));
        ds.SetTags("Channel0", t);
    }
    return ReadFile(path);
}

// Writes a file with the given description and samples, lead-in as documented.
void WriteTrx(const std::string& path, const std::string& header, const std::vector<unsigned char>& samples,
              std::uint64_t dataOffset = 0)
{
    if (dataOffset == 0) dataOffset = (24 + header.size() + 7) / 8 * 8;
    std::vector<unsigned char> out(std::size_t(dataOffset), ' ');
    const unsigned char magic[8] = {0x89, 'T', 'R', 'X', '\r', '\n', 0x1A, '\n'};
    std::memcpy(out.data(), magic, 8);
    out[8] = 1;
    out[9] = 0;
    std::uint32_t h = std::uint32_t(header.size());
    std::memcpy(out.data() + 12, &h, 4);
    std::memcpy(out.data() + 16, &dataOffset, 8);
    std::memcpy(out.data() + 24, header.data(), header.size());
    out.insert(out.end(), samples.begin(), samples.end());
    WriteFile(path, out);
}

// The open is refused with a text that holds `part`.
void ExpectOpenRefused(const std::string& path, const std::string& part)
{
    try {
        CDataset ds(path.c_str(), om__read, 0, 0);
        ADD_FAILURE() << "opened although " << part;
    } catch (const CDatasetException& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(part)) << e.what();
    }
}

// Writes the good file's samples behind a changed description and expects
// the open to be refused with a text that holds `part`.
void ExpectRefused(const std::string& path, const std::string& header, const RawFile& good, const std::string& part)
{
    WriteTrx(path, header, std::vector<unsigned char>(good.Data(), good.Data() + good.DataBytes()));
    ExpectOpenRefused(path, part);
}

} // namespace

// Cuts anywhere, opened and read in every mode, run in the TRX fuzz target;
// here: a description cut short is never taken for a data set.
TEST(TrxBadFiles, ADescriptionCutShortIsRefused)
{
    ScratchDir dir;
    std::vector<unsigned char> good = GoodFile(dir);
    RawFile raw = ParseRaw(dir / "good.trx");
    for (std::size_t n = 0; n < 24 + raw.headerLength; n += 13) {
        WriteFile(dir / "cut.trx", std::vector<unsigned char>(good.begin(), good.begin() + std::ptrdiff_t(n)));
        EXPECT_THROW(CDataset((dir / "cut.trx").c_str(), om__read, 0, 0), CDatasetException) << n;
    }
}

TEST(TrxBadFiles, ImpossibleLeadInsAreRefusedWithTheirOffset)
{
    ScratchDir dir;
    std::vector<unsigned char> good = GoodFile(dir);
    std::string path = dir / "bad.trx";
    auto expectThrow = [&](const std::vector<unsigned char>& bytes, const char* part) {
        WriteFile(path, bytes);
        ExpectOpenRefused(path, part);
        ExpectOpenRefused(path, "bad.trx");
    };
    auto patched = [&](std::size_t at, std::uint64_t value, int width) {
        std::vector<unsigned char> b = good;
        std::memcpy(b.data() + at, &value, std::size_t(width));
        return b;
    };
    { auto b = good; b[1] = 'X'; expectThrow(b, "magic"); }
    { auto b = good; b[8] = 2; expectThrow(b, "version 2."); }
    expectThrow(patched(12, 0xFFFFFFFFu, 4), "offset 12");
    expectThrow(patched(12, 0, 4), "offset 12");
    expectThrow(patched(12, good.size(), 4), "offset 12");
    expectThrow(patched(16, 0, 8), "offset 16");
    expectThrow(patched(16, 4099, 8), "offset 16");
    expectThrow(patched(16, std::uint64_t(1) << 62, 8), "offset 16");
}

TEST(TrxBadFiles, HostileDescriptionsAreRefusedBeforeAnyAllocation)
{
    ScratchDir dir;
    GoodFile(dir);
    RawFile raw = ParseRaw(dir / "good.trx");
    std::vector<unsigned char> samples(raw.Data(), raw.Data() + raw.DataBytes());
    std::string path = dir / "h.trx";
    // Each refusal names the file.
    auto refused = [&](const json& h, const char* why) {
        SCOPED_TRACE(why);
        ExpectRefused(path, h.dump(), raw, "h.trx");
    };
    auto with = [&](auto change) {
        json h = raw.header;
        change(h);
        return h;
    };
    refused(with([](json& h) { h["abscissas"][0]["scans"] = 1e30; }), "scans beyond any file");
    refused(with([](json& h) { h["abscissas"][0]["scans"] = -1; }), "negative scans");
    refused(with([](json& h) { h["abscissas"][0]["scans"] = (1LL << 48) + 1; }), "more scans than any file");
    refused(with([](json& h) { h["channels"][1]["impl_type"] = 99; }), "unknown type");
    refused(with([](json& h) { h["channels"][1]["impl_type"] = 11; }), "reserved type");
    refused(with([](json& h) { h["channels"][1]["impl_type"] = "3"; }), "type as text");
    refused(with([](json& h) { h["channels"][0]["mapping"]["factor"] = 0; }), "factor 0");
    refused(with([](json& h) { h["channels"][0].erase("mapping"); }), "no mapping");
    refused(with([](json& h) { h["layout"]["scan_bytes"] = 1; }), "layout that does not follow");
    refused(with([](json& h) { h["scan_mode"] = 3; h["pattern"] = json::array({0, 99}); }), "pattern channel");
    refused(with([](json& h) { h["scan_mode"] = 3; h["pattern"] = json::array(); }), "empty pattern");
    refused(with([](json& h) { h["organisation"] = 2; }), "organisation");
    refused(with([](json& h) { h["abscissas"] = json::array(); }), "no abscissa");
    refused(with([](json& h) { h["abscissas"][0]["coordinate"] = 9; }), "coordinate");
    refused(with([](json& h) { h["format"] = "WAV"; }), "format");
    refused(with([](json& h) { h["sub_channels"] = json::array({json{{"type", 1}, {"parent", 7}, {"bitmask", 1}, {"id", 0}}}); }),
            "sub-channel parent");
    refused(with([](json& h) { h["channels"][0]["tags"] = json{{"x", json{{"colour", 1}}}}; }), "tag type");
    refused(json::array({1, 2}), "not an object");
    refused(with([](json& h) {
                json many = json::array();
                for (int i = 0; i < 70000; ++i) many.push_back(0);
                h["channels"] = many;
            }),
            "too many channels");
    // Deep nesting is refused before the parser sees it.
    std::string deep = "{\"format\":\"TRX\",\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    WriteTrx(path, deep, samples);
    EXPECT_THROW(CDataset(path.c_str(), om__read, 0, 0), CDatasetException);
    WriteTrx(path, "{\"format\": \"TRX\", \"title\": \"\xFF\xFE\"}", samples);
    EXPECT_THROW(CDataset(path.c_str(), om__read, 0, 0), CDatasetException) << "invalid UTF-8";
    WriteTrx(path, "{ not json", samples);
    EXPECT_THROW(CDataset(path.c_str(), om__read, 0, 0), CDatasetException);
}

TEST(TrxBadFiles, ALayoutThatDisagreesWithTheChannelsIsRefusedNamingWhy)
{
    ScratchDir dir;
    GoodFile(dir);
    RawFile raw = ParseRaw(dir / "good.trx");
    std::vector<unsigned char> samples(raw.Data(), raw.Data() + raw.DataBytes());
    std::string path = dir / "l.trx";
    auto refused = [&](auto change, const char* part) {
        json h = raw.header;
        change(h);
        ExpectRefused(path, h.dump(), raw, part);
    };
    // Fields: stored abscissa (float), a int16 at 4, b int24 at 6, c complex float at 9.
    refused([](json& h) { h["layout"]["scans"] = 49; }, "announces 49 scans");
    refused([](json& h) { h["layout"]["fields"][2]["offset"] = 7; }, "field 2 says \"offset\": 7");
    refused([](json& h) { h["layout"]["fields"][1]["type"] = 4; }, "field 1 says \"type\": 4");
    refused([](json& h) { h["layout"]["fields"][3]["dtype"] = "(2,)<f4"; }, "\"dtype\"");
    refused([](json& h) { h["layout"]["fields"][1]["channel"] = 2; }, "\"channel\"");
    refused([](json& h) { h["layout"]["fields"][0]["count"] = 3; }, "\"count\"");
    refused([](json& h) { h["layout"]["fields"].erase(3); }, "lists 3 fields");
    refused([](json& h) { h["layout"]["fields"][1].erase("offset"); }, "has no \"offset\"");
    refused([](json& h) { h["layout"]["fields"] = json::object(); }, "fields");
    refused([](json& h) { h["layout"] = json::array(); }, "layout");
    // A sampling pattern cannot go with a stored abscissa.
    refused([](json& h) { h["scan_mode"] = 3; h["pattern"] = json::array({0, 1, 2}); }, "calculated abscissa");

    // What the fields state is checked, not demanded: files of format 1.0
    // carried neither names nor NumPy types, and they open.
    json old = raw.header;
    for (json& f : old["layout"]["fields"]) {
        f.erase("name");
        f.erase("dtype");
    }
    WriteTrx(path, old.dump(), samples);
    EXPECT_NO_THROW(CDataset(path.c_str(), om__read_complete, 0, 0));
    // The samples may start right after the description: no padding at all.
    std::string tight = raw.header.dump();
    tight.append((8 - (24 + tight.size()) % 8) % 8, ' ');
    WriteTrx(path, tight, samples, 24 + tight.size());
    EXPECT_NO_THROW(CDataset(path.c_str(), om__read_complete, 0, 0));
}
