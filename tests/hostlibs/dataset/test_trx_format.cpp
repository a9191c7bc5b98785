// The file a data set leaves behind: lead-in, description, layout, open
// modes and sharing (the rewrite of the description on close: the stream
// and data-phase tests).

#include "TrxTestSupport.h"

#include <cmath>

using namespace trxtest;

namespace {

CChannelList ThreeChannels()
{
    return Channels({Channel("p16", it__int16, 0.5, 1.0), Channel("p24", it__int24, 2.0), Channel("pf", it__float)});
}

} // namespace

TEST(TrxFileLayout, CreatedFileIsCompleteAndFollowsTheDocumentedLayout)
{
    ScratchDir dir;
    std::string path = dir / "a.trx";
    CDataset ds(path.c_str(), Abscissas(TimeAbscissa(10)), ThreeChannels(), dk__time, ds__dorg_interleaved, 0, 65536,
                sh__deny_write);
    // Readable before anything else happens: the description is on disk.
    RawFile raw = ParseRaw(path);
    EXPECT_EQ(0u, raw.dataOffset % 4096);
    EXPECT_EQ(long(raw.dataOffset), ds.GetStartOfDataInFile());
    EXPECT_GE(raw.dataOffset - 24 - raw.headerLength, 4096u) << "spare room for the description";
    EXPECT_EQ(raw.bytes.size(), raw.dataOffset);
    // The fields themselves are followed by the NumPy recipe's test.
    EXPECT_EQ(9, raw.header["layout"]["scan_bytes"].get<int>());
    EXPECT_EQ(10, raw.header["layout"]["scans"].get<int>());
    EXPECT_EQ(0.5, raw.header["channels"][0]["mapping"]["factor"].get<double>());
    EXPECT_EQ(1.0, raw.header["channels"][0]["mapping"]["offset"].get<double>());
    EXPECT_EQ(9, ds.GetScanSize());
    EXPECT_EQ("TRX", raw.header["format"].get<std::string>());
}

TEST(TrxFileDescription, EveryFieldSurvivesCloseAndOpen)
{
    ScratchDir dir;
    std::string path = dir / "d.trx";
    CChannelList cl = ThreeChannels();
    cl[0].SetTitle("Pulse Channels");
    cl[0].SetCalibration(94.5f);
    cl[0].SetDeltaHeadroom(-3.25f);
    cl[0].SetEmphasis(2);
    cl[0].SetQuantisationFunc(3);
    cl[0].SetPhysChannel(17);
    cl[0].SetCoordinate(4.5);
    cl[0].SetSortValue(2.0);
    cl[0].SetDeltaAmplPowCorrFact(1.5, 0.75);
    cl[1].SetMapping(CMapping(1.0, 10.0, tt__log10, 0.0, 20.0, tt__linear));
    cl[2].SetUnit(CUnit("\xB0""C", 1));
    CAbscissaList al = Abscissas(TimeAbscissa(5, 1.0 / 48000));
    CSubChannel sub(sc__pulse, 0, 4, "Speed", "n", CQuantity("RPM"), CUnit("rpm", 1));
    sub.SetPulseFactor(0.625);
    sub.SetDeltaTime(0.01);
    sub.SetSmooth(2);
    CDateTimeEx date(1234567890.25);
    const std::pair<const char*, CTagValue> tagged[] = {
        {"ControlValue", CTagValue(true)}, {"DOF", CTagValue("+74Z")}, {"Count", CTagValue(42)}, {"Gain", CTagValue(0.125)}};
    {
        CDataset ds(path.c_str(), al, cl, dk__rpm, ds__dorg_interleaved, 0, 65536, 0);
        ds.SetTitle("Run 7");
        ds.SetComment("line 1\r\nline 2 \xB0");
        ds.SetDateOfRecording(date);
        EXPECT_EQ(0, ds.AddSubChannel(sub));
        CTags tags;
        for (const auto& [key, value] : tagged) tags.SetValue(key, value);
        EXPECT_TRUE(ds.SetTags("Channel2", tags));
        ds.Close();
    }
    CDataset ds(path.c_str(), om__read, 32768, 0);
    EXPECT_EQ("Run 7", ds.GetTitle());
    EXPECT_EQ("line 1\r\nline 2 \xB0", ds.GetComment());
    EXPECT_EQ(date, ds.GetDateOfRecording());
    EXPECT_EQ(dk__rpm, ds.GetKind());
    EXPECT_EQ(ds__dorg_interleaved, ds.GetOrganisation());
    ASSERT_EQ(1, ds.GetNbrOfAbscissas());
    EXPECT_TRUE(ds.GetAbscissa(0) == al[0]);
    ASSERT_EQ(3, ds.GetNbrOfChannels());
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ds.GetChannel(i) == cl[std::size_t(i)]) << "channel " << i;
    ASSERT_EQ(1, ds.GetNbrOfSubChannels());
    CSubChannel back = ds.GetSubChannel(0);
    EXPECT_EQ(0, back.GetID()) << "an identifier is given on adding";
    back.SetID(-1);
    EXPECT_TRUE(back == sub);
    auto tags = ds.GetTags("Channel2");
    ASSERT_TRUE(tags);
    for (const auto& [key, value] : tagged) {
        CTagValue v;
        ASSERT_TRUE(tags->GetValue(key, v)) << key;
        EXPECT_EQ(value.GetType(), v.GetType()) << key;
        EXPECT_EQ(value.GetText(), v.GetText()) << key;
    }
    EXPECT_EQ(0, ds.GetTags("Channel0")->GetCount());
    for (const char* none : {"Channel3", "Channel", "Channel1x", "Dataset"}) EXPECT_FALSE(ds.GetTags(none)) << none;
}

TEST(TrxFileDescription, TextsAreStoredAsUnicodeInTheDescription)
{
    ScratchDir dir;
    std::string path = dir / "u.trx";
    CChannelList cl = Channels({Channel("T", it__float)});
    cl[0].SetUnit(CUnit("\xB0""C", 1));
    {
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(1)), cl, dk__time, 1, 0, 0, 0);
        ds.SetComment("\x80 \x81 \xE4");   // euro sign, an undefined byte, a-umlaut
    }
    RawFile raw = ParseRaw(path);
    EXPECT_EQ("\xC2\xB0""C", raw.header["channels"][0]["unit"].get<std::string>());
    EXPECT_EQ("\xE2\x82\xAC \xC2\x81 \xC3\xA4", raw.header["comment"].get<std::string>());
    CDataset back(path.c_str(), om__read, 0, 0);
    EXPECT_EQ("\x80 \x81 \xE4", back.GetComment());
    EXPECT_EQ("\xB0""C", back.GetChannel(0).GetUnit().GetText());
}

TEST(TrxFileModes, ReadOnlyDataSetsRefuseChanges)
{
    ScratchDir dir;
    std::string path = dir / "ro.trx";
    { CDataset ds(path.c_str(), Abscissas(TimeAbscissa(4)), ThreeChannels(), dk__time, 1, 0, 0, 0); }
    auto before = ReadFile(path);
    {
        CDataset ds(path.c_str(), om__read, 0, 0);
        EXPECT_FALSE(ds.SetChannel(0, ds.GetChannel(0)));
        EXPECT_FALSE(ds.SetAbscissa(0, ds.GetAbscissa(0)));
        EXPECT_EQ(nullptr, ds.CreateAccess(am__readwrite, All(3)));
        std::vector<short> v(3, 1);
        EXPECT_EQ(0, ds.SetData(1, v.data(), 1, it__int16));
        EXPECT_FALSE(ds.GetPtrToFile()->Write(v.data(), 2));
        ds.SetComment("ignored");
        ds.Close();
    }
    EXPECT_EQ(before, ReadFile(path));
}

TEST(TrxFileModes, ReadWriteModeStoresChangesAndKeepsTypes)
{
    ScratchDir dir;
    std::string path = dir / "rw.trx";
    { CDataset ds(path.c_str(), Abscissas(TimeAbscissa(4)), ThreeChannels(), dk__time, 1, 0, 0, 0); }
    {
        CDataset ds(path.c_str(), om__readwrite, 32768, 0);
        CChannel c = ds.GetChannel(1);
        c.SetName("renamed");
        EXPECT_TRUE(ds.SetChannel(1, c));
        c.SetImplType(it__float);
        EXPECT_FALSE(ds.SetChannel(1, c)) << "the samples are stored in the old type";
        CAbscissa stored("x", "x", CQuantity("time"), CUnit("s", 1), it__float, 4, ac__world);
        EXPECT_FALSE(ds.SetAbscissa(0, stored));
        EXPECT_FALSE(ds.SetChannel(3, c));
        ds.SetKind(dk__unknown);
    }
    CDataset ds(path.c_str(), om__read, 0, 0);
    EXPECT_EQ("renamed", ds.GetChannel(1).GetName());
    EXPECT_EQ(it__int24, ds.GetChannel(1).GetImplType());
    EXPECT_EQ(dk__unknown, ds.GetKind());
}

TEST(TrxFileSharing, AWriterExcludesOthersAndReadersShare)
{
    ScratchDir dir;
    std::string path = dir / "l.trx";
    {
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(4)), ThreeChannels(), dk__time, 1, 0, 0, 0);
        std::vector<unsigned char> zeros(36);
        ds.GetPtrToFile()->Write(zeros.data(), zeros.size());
    }
    {
        CDataset writer(path.c_str(), om__readwrite, 0, sh__deny_write);
        try {
            CDataset other(path.c_str(), om__read, 0, sh__deny_write);
            FAIL() << "opened a file that a writer holds";
        } catch (const CDatasetException& e) {
            EXPECT_EQ(32u, e.GetErrorCode());
        }
        EXPECT_THROW(TimeData(path, ThreeChannels(), 1), CDatasetException) << "a create must not empty a file in use";
        CDataset unlocked(path.c_str(), om__read, 0, sh__deny_none);
        EXPECT_EQ(3, unlocked.GetNbrOfChannels());
    }
    CDataset r1(path.c_str(), om__read, 0, sh__deny_write);
    CDataset r2(path.c_str(), om__read_complete, 0, sh__deny_write);
    EXPECT_THROW(CDataset(path.c_str(), om__readwrite, 0, sh__deny_write), CDatasetException);
    EXPECT_EQ(3, r2.GetNbrOfChannels());
}

TEST(TrxFileSharing, CreateNewRefusesAnExistingFileAndLeavesItAlone)
{
    ScratchDir dir;
    std::string path = dir / "n.trx";
    WriteFile(path, {1, 2, 3});
    EXPECT_THROW(CDataset(path.c_str(), Abscissas(TimeAbscissa(1)), ThreeChannels(), 1, 1, 0, 0, sh__create_new),
                 CDatasetException);
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3}), ReadFile(path));
    // Sharing type 0 replaces it.
    { CDataset ds(path.c_str(), Abscissas(TimeAbscissa(1)), ThreeChannels(), 1, 1, 0, 0, sh__deny_write); }
    EXPECT_NO_THROW(CDataset(path.c_str(), om__read, 0, 0));
}

TEST(TrxFileErrors, FailuresToOpenOrCreateThrowTextsWithCodes)
{
    ScratchDir dir;
    try {
        CDataset ds((dir / "missing.trx").c_str(), om__read, 0, 0);
        FAIL();
    } catch (const CDatasetException& e) {
        EXPECT_EQ(2u, e.GetErrorCode());
        EXPECT_NE(std::string::npos, e.GetText().str().find("missing.trx"));
    }
    EXPECT_THROW(TimeData(dir / "no/such/dir.trx", ThreeChannels(), 1), CDatasetException);
    EXPECT_THROW(CDataset(dir.Path().c_str(), om__read, 0, 0), CDatasetException) << "a directory";
    EXPECT_THROW(CDataset((dir / "m.trx").c_str(), 4, 0, 0), CDatasetException) << "open mode without reading";
    // Invalid descriptions are refused before a file is made.
    EXPECT_THROW(TimeData(dir / "b.trx", Channels({Channel("r", it__res11)}), 1), CDatasetException);
    EXPECT_THROW(CDataset((dir / "b.trx").c_str(), CAbscissaList(), ThreeChannels(), 1, 1, 0, 0, 0), CDatasetException);
    EXPECT_THROW(CDataset((dir / "b.trx").c_str(), Abscissas(TimeAbscissa(1)), ThreeChannels(), 1, 2, 0, 0, 0),
                 CDatasetException)
        << "organisation 2";
    EXPECT_FALSE(std::filesystem::exists(dir / "b.trx"));
}
