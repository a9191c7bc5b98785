// The RIFF reader and writer: bounds against lying size fields, and the
// layout the writer produces, checked byte for byte.

#include "platform/Riff.h"

#include "WaveTestUtil.h"

#include <cstring>
#include <string>

using namespace wavetest;

namespace {

Bytes Riff(const Bytes& inner)
{
    Bytes b(12 + inner.size());
    std::memcpy(b.data(), "RIFF....WAVE", 12);
    for (int i = 0; i < 4; ++i)
        b[std::size_t(4 + i)] = std::uint8_t((inner.size() + 4) >> (8 * i));
    std::copy(inner.begin(), inner.end(), b.begin() + 12);
    return b;
}

// Opens a memory image, enters the RIFF chunk and checks its form type.
void EnterRiff(CRiffFile& f, const Bytes& b, CRiffChunk& riff)
{
    ASSERT_TRUE(f.OpenMemory(b.data(), b.size()));
    ASSERT_EQ(f.Descend(riff, nullptr, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(riff.ckid, RiffFourCC("RIFF"));
    ASSERT_EQ(riff.fccType, RiffFourCC("WAVE"));
}

}  // namespace

// Chunk order, odd padding and lying sizes inside the file are walked by
// the WAVE import tests; here the bounds they cannot reach.
TEST(Riff, SearchStaysInsideParentAndFile)
{
    CRiffChunk riff, ck;
    // A chunk past the parent's declared end is not found.
    Bytes inner;
    PutChunk(inner, "fmt ", Bytes(16, 0));
    Bytes b = Riff(inner);
    PutChunk(b, "data", Bytes(4, 0));  // outside the RIFF chunk
    CRiffFile f;
    EnterRiff(f, b, riff);
    ck.ckid = RiffFourCC("data");
    EXPECT_EQ(f.Descend(ck, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    // A skipped chunk claiming 4 GiB ends the search instead of wrapping.
    Bytes inner2;
    PutChunk(inner2, "junk", Bytes(4, 0), 0xFFFFFFFFu);
    PutChunk(inner2, "data", Bytes(4, 0));
    Bytes b2 = Riff(inner2);
    b2[4] = b2[5] = b2[6] = b2[7] = 0xFF;  // RIFF size lies as well
    CRiffFile f2;
    EnterRiff(f2, b2, riff);
    ck = {};
    ck.ckid = RiffFourCC("data");
    EXPECT_EQ(f2.Descend(ck, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    // Headers cut short, without form type, or no bytes at all.
    for (const Bytes& cut : {Bytes{'R', 'I', 'F', 'F', 4, 0, 0}, Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0}, Bytes{}}) {
        ASSERT_TRUE(f.OpenMemory(cut.data(), cut.size()));
        ck = {};
        EXPECT_NE(f.Descend(ck, nullptr, 0), MMSYSERR_NOERROR) << cut.size();
    }
}

TEST(Riff, WriterFixesSizesAndPadsOddChunks)
{
    const fs::path dir = MakeScratch("riff"), path = dir / "writer.wav";
    {
        CRiffFile f;
        ASSERT_TRUE(f.Open(path.c_str(), MMIO_CREATE | MMIO_EXCLUSIVE | MMIO_WRITE));
        CRiffChunk riff, odd, data;
        riff.fccType = RiffFourCC("WAVE");
        ASSERT_EQ(f.CreateChunk(riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
        odd.ckid = RiffFourCC("odd ");
        ASSERT_EQ(f.CreateChunk(odd, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(f.Write("abc", 3), 3);
        ASSERT_EQ(f.Ascend(odd), MMSYSERR_NOERROR);
        data.ckid = RiffFourCC("data");
        ASSERT_EQ(f.CreateChunk(data, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(f.Write("xyz", 3), 3);
        ASSERT_EQ(f.Ascend(data), MMSYSERR_NOERROR);
        ASSERT_EQ(f.Ascend(riff), MMSYSERR_NOERROR);
        EXPECT_EQ(f.Close(), MMSYSERR_NOERROR);
    }
    // An odd chunk's size leaves its pad byte out; the RIFF size counts it,
    // and the last chunk is padded as well.
    const std::string want("RIFF\x1c\0\0\0WAVEodd \x03\0\0\0abc\0data\x03\0\0\0xyz\0", 36);
    const Bytes got = ReadFile(path);
    EXPECT_EQ(std::string(got.begin(), got.end()), want);
    fs::remove_all(dir);
}

TEST(Riff, ExclusiveCreateRefusesASecondHolder)
{
    const fs::path dir = MakeScratch("riff"), path = dir / "excl.wav";
    CRiffFile a;
    ASSERT_TRUE(a.Open(path.c_str(), MMIO_CREATE | MMIO_EXCLUSIVE | MMIO_WRITE));
    ASSERT_EQ(a.Write("0123456789", 10), 10);
    CRiffFile b;
    EXPECT_FALSE(b.Open(path.c_str(), MMIO_CREATE | MMIO_EXCLUSIVE | MMIO_WRITE));
    EXPECT_TRUE(b.LastError() == EAGAIN || b.LastError() == EACCES);
    // The refused open did not truncate what the holder wrote.
    EXPECT_EQ(a.Size(), 10);
    a.Close();
    fs::remove_all(dir);
}
