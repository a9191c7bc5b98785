// Data sets made from others: subsets, copies, marks naming a data set and
// channels, and the per-channel tags that travel with them.

#include "TrxTestSupport.h"

using namespace trxtest;

namespace {

// Speed reference data: 2 channels, 100 scans at 100 Hz, channel 0 = i, channel 1 = −i,
// stored as 16-bit with the factor 0.5.
std::string MakeReference(const ScratchDir& dir)
{
    std::string path = dir / "ref.trx";
    TimeData ds(path, Channels({Channel("n", it__int16, 0.5), Channel("m", it__int16, 0.5)}), 100, 0.01, dk__rpm);
    std::vector<short> v(200);
    for (int i = 0; i < 100; ++i) {
        v[std::size_t(2 * i)] = short(i);
        v[std::size_t(2 * i + 1)] = short(-i);
    }
    ds.GetPtrToFile()->Write(v.data(), v.size() * 2);
    CTags t;
    t.SetValue("Origin", CTagValue("tacho"));
    ds.SetTags("Channel1", t);
    ds.SetTitle("Reference");
    return path;
}

} // namespace

// The speed data manager's cut (its range, type and marks are checked through
// the manager): what the copy takes from its source, and what it leaves.
TEST(TrxDerived, SubsetOfARangeSavedWithTheSourcesDescription)
{
    ScratchDir dir;
    std::string ref = MakeReference(dir);
    std::string target = dir / "cut.trx";
    {
        CDataset ds(ref.c_str(), om__read_complete, 32768, 0);
        CAbscissa abs = ds.GetAbscissa(0);
        ASSERT_TRUE(ds.CreateAccess(am__read, All(2), 0, 0.2, 0.5, 0.0));
        std::unique_ptr<CDataset> sub(ds.CreateSubSet(abs.GetNbrOfScans(), ds__dorg_interleaved, it__float));
        ASSERT_TRUE(sub) << ds.GetLastError().c_str();
        std::string tempPath = sub->GetPath().str();
        EXPECT_TRUE(std::filesystem::exists(tempPath));
        sub->SaveAs(target.c_str(), 65536, 32768);
        sub.reset();
        EXPECT_FALSE(std::filesystem::exists(tempPath)) << "the subset's temporary file goes with it";
    }
    CDataset cut(target.c_str(), om__read_complete, 0, 0);
    EXPECT_EQ("Reference", cut.GetTitle());
    EXPECT_EQ(dk__rpm, cut.GetKind());
    ASSERT_EQ(31, cut.GetNbrOfScans());
    std::vector<double> v(62);
    ASSERT_EQ(31, cut.GetData(31, v.data(), 1, it__double));
    EXPECT_EQ(10.0, v[0]) << "stored 20 × 0.5";
    EXPECT_EQ(-25.0, v[61]);
    CTagValue tv;
    ASSERT_TRUE(cut.GetTags("Channel1")->GetValue("Origin", tv)) << "tags of the source travel along";
    EXPECT_EQ("tacho", tv.GetText());
    std::vector<std::string> files = dir.Files();
    std::sort(files.begin(), files.end());
    EXPECT_EQ((std::vector<std::string>{"cut.trx", "ref.trx"}), files) << "nothing left beside the copy";
}

TEST(TrxDerived, SubsetsNeedAnAccessAndLeaveTheCallersAccessAlone)
{
    ScratchDir dir;
    std::string ref = MakeReference(dir);
    CDataset ds(ref.c_str(), om__read, 0, 0);
    EXPECT_EQ(nullptr, ds.CreateSubSet(10, 1, it__float));
    CAccess* a = ds.CreateAccess(am__read, CChNbrList{1}, 0, 90L, -1L);
    short first;
    ASSERT_EQ(1, a->GetData(1, &first, 1, it__int16));
    std::unique_ptr<CDataset> sub(ds.CreateSubSet(5, 1, it__double));
    ASSERT_TRUE(sub);
    EXPECT_EQ(5, sub->GetNbrOfScans()) << "at most the scans asked for";
    EXPECT_EQ(a, ds.GetActiveAccess());
    EXPECT_EQ(91, a->GetCurrentIndex());
    double v[5];
    ASSERT_EQ(5, sub->GetData(5, v, 1, it__double));
    EXPECT_EQ(-45.0, v[0]);
    EXPECT_EQ(nullptr, ds.CreateSubSet(5, 1, it__res17));
}

TEST(TrxDerived, SaveAsWritesACompleteCopyAndReplacesTheTarget)
{
    ScratchDir dir;
    std::string ref = MakeReference(dir);
    std::string target = dir / "copy.trx";
    WriteFile(target, {9, 9, 9});
    CDataset ds(ref.c_str(), om__readwrite, 0, 0);
    ds.SetComment("changed, not yet closed");
    ASSERT_TRUE(ds.SaveAs(target.c_str(), 0, 0));
    EXPECT_EQ(ref, ds.GetPath().str()) << "the object stays on its own file";
    CDataset copy(target.c_str(), om__read_complete, 0, 0);
    EXPECT_EQ("changed, not yet closed", copy.GetComment());
    std::vector<short> a(200), b(200);
    ASSERT_EQ(100, copy.GetData(100, a.data(), 1, it__int16));
    ASSERT_EQ(100, ds.GetData(100, b.data(), 1, it__int16));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(ds.SaveAs((dir / "no/such/dir.trx").c_str(), 0, 0));
}

TEST(TrxMark, TextNamesAPathAndAChannelSelection)
{
    ScratchDir dir;
    std::string ref = MakeReference(dir);
    CMark plain(ref.c_str());
    EXPECT_EQ(ref, plain.GetPath().str());
    EXPECT_FALSE(plain.HasSelection());
    EXPECT_EQ((CChNbrList{0, 1}), plain.GetChannelList()) << "no selection: every channel";

    CMark ranges("x.trx|0, 2-4 7");
    EXPECT_TRUE(ranges.IsValid());
    EXPECT_EQ((CChNbrList{0, 2, 3, 4, 7}), ranges.GetChannelList());

    CMark second("x.trx|0", "3-4");
    EXPECT_EQ((CChNbrList{3, 4}), second.GetChannelList()) << "the second text replaces the selection";

    EXPECT_FALSE(CMark("x.trx|4-2").IsValid());
    EXPECT_FALSE(CMark("x.trx|a").IsValid());
    EXPECT_FALSE(CMark("x.trx|").IsValid());

    // A file whose name holds "|" is a path.
    std::string odd = dir / "a|1.trx";
    std::filesystem::copy_file(ref, odd);
    CMark whole(odd.c_str());
    EXPECT_EQ(odd, whole.GetPath().str());
    EXPECT_FALSE(whole.HasSelection());
    EXPECT_TRUE(CMark((dir / "missing.trx").c_str()).GetChannelList().IsEmpty());
}

TEST(TrxTags, ValuesConvertBetweenTypes)
{
    EXPECT_TRUE(CTagValue("1").GetBool());
    EXPECT_FALSE(CTagValue("yes please").GetBool());
    EXPECT_EQ(12.5, CTagValue("12.5").GetDouble());
    // A missing tag leaves the caller's value alone.
    CTagValue v(7);
    EXPECT_FALSE(CTags().GetValue("a", v));
    EXPECT_EQ(7, v.GetInt());
}
