// The file stream of GetPtrToFile: raw sample writes of the imports,
// positions, cutting, and failures that a writer must see.

#include "TrxTestSupport.h"

#include "tests/common/WriteFailure.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace trxtest;

// The description rewritten on close (more scans, a longer comment that
// still fits its room) leaves the samples where they are.
TEST(TrxStream, WritesOfAnySizeLandAtTheStartOfTheDataAndStayThere)
{
    ScratchDir dir;
    std::string path = dir / "w.trx";
    std::vector<unsigned char> expect;
    long start;
    {
        TimeData ds(path, Channels({Channel("a", it__int24)}), 0, 0.001, dk__time, 65536);
        CDataStream* s = ds.GetPtrToFile();
        ASSERT_TRUE(s);
        EXPECT_EQ(s, ds.GetPtrToFile()) << "one stream per data set";
        start = ds.GetStartOfDataInFile();
        EXPECT_EQ(std::uint64_t(start), s->Tell());
        // Pieces smaller than, around and larger than the stream's buffer;
        // the middle ones make the buffer grow while it holds pending bytes.
        std::size_t sizes[] = {1, 2, 3, 4095, 5000, 20000, 100000, 200000, (1 << 20) - 4000, (1 << 20) + 7, 5};
        unsigned char x = 0;
        for (std::size_t n : sizes) {
            std::vector<unsigned char> piece(n);
            for (auto& b : piece) b = x++ * 31u + 7u;
            ASSERT_EQ(n, s->Write(piece.data(), n));
            expect.insert(expect.end(), piece.begin(), piece.end());
        }
        EXPECT_TRUE(s->Good());
        EXPECT_EQ(std::uint64_t(ds.GetStartOfDataInFile()) + expect.size(), s->Tell());
        EXPECT_EQ(std::uint64_t(ds.GetStartOfDataInFile()) + expect.size(), s->GetLength());
        CAbscissa a = ds.GetAbscissa(0);
        a.SetNbrOfScans(long(expect.size() / 3));
        ASSERT_TRUE(ds.SetAbscissa(0, a));
        ds.SetComment(std::string(1500, 'c').c_str());
    }
    // What the accesses make of the stream's bytes: the seek test.
    RawFile raw = ParseRaw(path);
    EXPECT_EQ(std::uint64_t(start), raw.dataOffset);
    EXPECT_EQ(long(expect.size() / 3), raw.header["abscissas"][0]["scans"].get<long>());
    EXPECT_EQ(std::string(1500, 'c'), raw.header["comment"].get<std::string>());
    ASSERT_EQ(expect.size(), raw.DataBytes());
    EXPECT_EQ(0, std::memcmp(expect.data(), raw.Data(), expect.size()));
}

TEST(TrxStream, SeekReadAndTheAccessesSeeWhatTheStreamWrote)
{
    ScratchDir dir;
    std::string path = dir / "s.trx";
    TimeData ds(path, Channels({Channel("a", it__int16)}), 4);
    CDataStream* s = ds.GetPtrToFile();
    short v[4] = {1, 2, 3, 4};
    ASSERT_EQ(8u, s->Write(v, 8));
    // Rewrite the second sample: the pending bytes must not be lost.
    ASSERT_TRUE(s->Seek(std::uint64_t(ds.GetStartOfDataInFile()) + 2));
    short nine = 9;
    ASSERT_EQ(2u, s->Write(&nine, 2));
    short out[4];
    ASSERT_EQ(4, ds.GetData(4, out, 1, it__int16)) << "an access flushes the stream first";
    EXPECT_EQ((std::vector<short>{1, 9, 3, 4}), std::vector<short>(out, out + 4));
    ASSERT_TRUE(s->Seek(std::uint64_t(ds.GetStartOfDataInFile()) + 4));
    short back[2];
    ASSERT_EQ(4u, s->Read(back, 4));
    EXPECT_EQ(3, back[0]);
    EXPECT_EQ(0u, s->Read(back, 4)) << "end of the file";
}

TEST(TrxStream, SetLengthCutsTheSamplesAsTheSideFileImportDoes)
{
    ScratchDir dir;
    std::string path = dir / "c.trx";
    {
        TimeData ds(path, Channels({Channel("a", it__int16)}), 100);
        std::vector<short> v(100, 5);
        ds.GetPtrToFile()->Write(v.data(), 200);
    }
    {
        CDataset ds(path.c_str(), om__readwrite, 0, 0);
        ASSERT_TRUE(ds.SetMaxNbrOfScans(40));
        ASSERT_TRUE(ds.GetPtrToFile()->SetLength(std::uint64_t(ds.GetStartOfDataInFile()) + 40 * 2));
    }
    RawFile raw = ParseRaw(path);
    EXPECT_EQ(80u, raw.DataBytes());
    CDataset ds(path.c_str(), om__read_complete, 0, 0);
    EXPECT_EQ(40, ds.GetNbrOfScans());
}

// A disk that fills up: the stream reports it and keeps reporting it, and
// closing says the samples were not written.
TEST(TrxStream, AFailedWriteIsReported)
{
    ScratchDir dir;
    std::string path = dir / "full.trx";
    auto ds = std::make_unique<TimeData>(path, Channels({Channel("a", it__int16)}));
    CDataStream* s = ds->GetPtrToFile();
    std::vector<unsigned char> big(1 << 20, 1);
    std::size_t n = 0;
    bool flushed = false;
    {
        tessel::test::CFileSizeLimit limit(rlim_t(ds->GetStartOfDataInFile()) + 100000);
        n = s->Write(big.data(), big.size());
        flushed = s->Flush();
    }
    EXPECT_TRUE(n < big.size() || !flushed);
    EXPECT_TRUE(s->Fail());
    EXPECT_EQ(0u, s->Write(big.data(), 10)) << "the error state stays";
    EXPECT_THROW(ds->Close(), CDatasetException);
    EXPECT_FALSE(ds->IsOpen());
    ds.reset();
}

// Samples taken unchanged from another file: a part of it, by offset and
// length, from the same and from another file system (where the kernel may
// refuse to copy and memory takes over).
TEST(TrxStream, CopyFromAnotherFileTakesTheBytesUnchanged)
{
    ScratchDir dir;
    std::vector<unsigned char> source(700001);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i * 11 + i / 256);
    std::vector<std::string> sources = {dir / "source.bin"};
    std::string shm = "/dev/shm/tessel-trx-copy-" + std::to_string(::getpid());
    if (std::filesystem::is_directory("/dev/shm")) sources.push_back(shm);
    for (const std::string& src : sources) {
        WriteFile(src, source);
        std::string path = dir / "copy.trx";
        int fd = ::open(src.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        {
            TimeData ds(path, Channels({Channel("a", it__int16)}), 0);
            CDataStream* s = ds.GetPtrToFile();
            unsigned char lead[3] = {1, 2, 3};
            ASSERT_EQ(3u, s->Write(lead, 3)) << "pending bytes go first";
            EXPECT_EQ(600000u, s->CopyFrom(fd, 100001, 64u << 20)) << "up to the source's end";
            EXPECT_EQ(0u, s->CopyFrom(fd, 700001, 10)) << "nothing beyond the end";
            EXPECT_EQ(std::uint64_t(ds.GetStartOfDataInFile()) + 600003, s->Tell());
            EXPECT_TRUE(s->Good());
        }
        ::close(fd);
        // The blocks the copy set aside end where the source did, not 64 MiB on.
        struct stat st {};
        ASSERT_EQ(0, ::stat(path.c_str(), &st));
        EXPECT_LE(std::uint64_t(st.st_blocks) * 512, std::uint64_t(st.st_size) + (64u << 10)) << src;
        RawFile raw = ParseRaw(path);
        ASSERT_EQ(600003u, raw.DataBytes()) << src;
        EXPECT_EQ(3, raw.Data()[2]);
        EXPECT_EQ(0, std::memcmp(raw.Data() + 3, source.data() + 100001, 600000)) << src;
    }
    std::filesystem::remove(shm);
}
