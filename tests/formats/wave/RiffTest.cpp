// The RIFF reader and writer: chunk search, bounds against lying size fields,
// and the layout the writer produces, checked byte for byte and by soxi.

#include "platform/Riff.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}
void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
void PutChunk(Bytes& b, const char* id, const Bytes& body, std::int64_t sizeField = -1)
{
    PutId(b, id);
    Put32(b, sizeField < 0 ? std::uint32_t(body.size()) : std::uint32_t(sizeField));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1)
        b.push_back(0);
}
Bytes Riff(const Bytes& inner, const char* form = "WAVE")
{
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, std::uint32_t(inner.size() + 4));
    PutId(b, form);
    b.insert(b.end(), inner.begin(), inner.end());
    return b;
}

std::string TempPath(const char* name)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp && *tmp) ? tmp : "/tmp";
    return dir + "/tessel_riff_" + std::to_string(::getpid()) + "_" + name;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
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

TEST(Riff, FindChunkSkipsOtherChunksAndOddPadding)
{
    Bytes inner;
    PutChunk(inner, "junk", Bytes(7, 0xAA));  // odd: one pad byte follows
    PutChunk(inner, "fmt ", Bytes(18, 1));
    PutChunk(inner, "LIST", Bytes{'I', 'N', 'F', 'O', 1, 2, 3});
    PutChunk(inner, "data", Bytes{10, 20, 30, 40});
    Bytes b = Riff(inner);

    CRiffFile f;
    CRiffChunk riff;
    EnterRiff(f, b, riff);
    EXPECT_EQ(riff.dataOffset, 8u);
    EXPECT_EQ(f.Tell(), 12);

    CRiffChunk fmt;
    fmt.ckid = RiffFourCC("fmt ");
    ASSERT_EQ(f.Descend(fmt, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(fmt.cksize, 18u);
    EXPECT_EQ(fmt.dataOffset, 12u + 8 + 8 + 8);
    unsigned char buf[16];
    EXPECT_EQ(f.Read(buf, 16), 16);
    ASSERT_EQ(f.Ascend(fmt), MMSYSERR_NOERROR);
    EXPECT_EQ(std::uint64_t(f.Tell()), fmt.dataOffset + 18);

    CRiffChunk data;
    data.ckid = RiffFourCC("data");
    ASSERT_EQ(f.Descend(data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(data.cksize, 4u);
    unsigned char d[8] = {};
    EXPECT_EQ(f.Read(d, 8), 4);  // only what the image holds
    EXPECT_EQ(d[0], 10);
    EXPECT_EQ(d[3], 40);
}

TEST(Riff, SearchOnlyLooksForwardAndStaysInsideParentAndFile)
{
    // "data" before "fmt ": searching "data" after "fmt " finds nothing.
    Bytes inner;
    PutChunk(inner, "data", Bytes(4, 0));
    PutChunk(inner, "fmt ", Bytes(16, 0));
    Bytes b = Riff(inner);
    CRiffFile f;
    CRiffChunk riff;
    EnterRiff(f, b, riff);
    CRiffChunk ck;
    ck.ckid = RiffFourCC("fmt ");
    ASSERT_EQ(f.Descend(ck, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    ASSERT_EQ(f.Ascend(ck), MMSYSERR_NOERROR);
    ck = {};
    ck.ckid = RiffFourCC("data");
    EXPECT_EQ(f.Descend(ck, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    // A chunk past the parent's declared end is not found.
    Bytes inner2;
    PutChunk(inner2, "fmt ", Bytes(16, 0));
    Bytes b2 = Riff(inner2);
    PutChunk(b2, "data", Bytes(4, 0));  // outside the RIFF chunk
    CRiffFile f2;
    EnterRiff(f2, b2, riff);
    ck = {};
    ck.ckid = RiffFourCC("data");
    EXPECT_EQ(f2.Descend(ck, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    // A skipped chunk claiming 4 GiB ends the search instead of wrapping.
    Bytes inner3;
    PutChunk(inner3, "junk", Bytes(4, 0), 0xFFFFFFFFu);
    PutChunk(inner3, "data", Bytes(4, 0));
    Bytes b3 = Riff(inner3);
    b3[4] = b3[5] = b3[6] = b3[7] = 0xFF;  // RIFF size lies as well
    CRiffFile f3;
    EnterRiff(f3, b3, riff);
    ck = {};
    ck.ckid = RiffFourCC("data");
    EXPECT_EQ(f3.Descend(ck, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
}

TEST(Riff, ShortAndForeignHeaders)
{
    const Bytes tooShort{'R', 'I', 'F', 'F', 4, 0, 0};
    CRiffFile f;
    ASSERT_TRUE(f.OpenMemory(tooShort.data(), tooShort.size()));
    CRiffChunk ck;
    EXPECT_NE(f.Descend(ck, nullptr, 0), MMSYSERR_NOERROR);

    // RIFF header without its form type.
    const Bytes noForm{'R', 'I', 'F', 'F', 4, 0, 0, 0};
    ASSERT_TRUE(f.OpenMemory(noForm.data(), noForm.size()));
    ck = {};
    EXPECT_NE(f.Descend(ck, nullptr, 0), MMSYSERR_NOERROR);

    // Another form: the descent works, the caller sees the form type.
    Bytes avi = Riff(Bytes{}, "AVI ");
    ASSERT_TRUE(f.OpenMemory(avi.data(), avi.size()));
    ck = {};
    ASSERT_EQ(f.Descend(ck, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(ck.fccType, RiffFourCC("AVI "));
    // FINDRIFF with the wrong form finds nothing.
    ASSERT_TRUE(f.OpenMemory(avi.data(), avi.size()));
    ck = {};
    ck.fccType = RiffFourCC("WAVE");
    EXPECT_EQ(f.Descend(ck, nullptr, MMIO_FINDRIFF), MMIOERR_CHUNKNOTFOUND);

    // Empty image and no file at all.
    ASSERT_TRUE(f.OpenMemory(nullptr, 0));
    ck = {};
    EXPECT_NE(f.Descend(ck, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(f.Open(TempPath("missing/none.wav").c_str(), MMIO_READ));
    EXPECT_EQ(f.LastError(), ENOENT);
}

TEST(Riff, WriterFixesSizesAndPadsOddChunks)
{
    const std::string path = TempPath("writer.wav");
    {
        CRiffFile f;
        ASSERT_TRUE(f.Open(path.c_str(), MMIO_CREATE | MMIO_EXCLUSIVE | MMIO_WRITE));
        CRiffChunk riff;
        riff.fccType = RiffFourCC("WAVE");
        ASSERT_EQ(f.CreateChunk(riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
        CRiffChunk fmt;
        fmt.ckid = RiffFourCC("fmt ");
        ASSERT_EQ(f.CreateChunk(fmt, 0), MMSYSERR_NOERROR);
        // PCM, mono, 8000 Hz, 16 bit.
        const unsigned char rec[16] = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0};
        ASSERT_EQ(f.Write(rec, 16), 16);
        ASSERT_EQ(f.Ascend(fmt), MMSYSERR_NOERROR);
        CRiffChunk odd;
        odd.ckid = RiffFourCC("odd ");
        ASSERT_EQ(f.CreateChunk(odd, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(f.Write("abc", 3), 3);
        ASSERT_EQ(f.Ascend(odd), MMSYSERR_NOERROR);
        CRiffChunk data;
        data.ckid = RiffFourCC("data");
        ASSERT_EQ(f.CreateChunk(data, 0), MMSYSERR_NOERROR);
        std::vector<std::int16_t> s(100);
        for (int i = 0; i < 100; ++i)
            s[std::size_t(i)] = std::int16_t(i * 300 - 15000);
        ASSERT_EQ(f.Write(s.data(), 200), 200);
        ASSERT_EQ(f.Ascend(data), MMSYSERR_NOERROR);
        ASSERT_EQ(f.Ascend(riff), MMSYSERR_NOERROR);
        EXPECT_EQ(f.Close(), MMSYSERR_NOERROR);
    }
    Bytes b = ReadFile(path);
    // 12 RIFF + 24 fmt + 12 odd (3 + pad) + 8 + 200 data
    ASSERT_EQ(b.size(), 12u + 24 + 12 + 208);
    auto le32 = [&](std::size_t o) {
        return std::uint32_t(b[o]) | std::uint32_t(b[o + 1]) << 8 | std::uint32_t(b[o + 2]) << 16 |
               std::uint32_t(b[o + 3]) << 24;
    };
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(le32(4), b.size() - 8);
    EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(16), 16u);
    EXPECT_EQ(std::memcmp(b.data() + 36, "odd ", 4), 0);
    EXPECT_EQ(le32(40), 3u);  // the size without the pad byte
    EXPECT_EQ(b[47], 0);
    EXPECT_EQ(std::memcmp(b.data() + 48, "data", 4), 0);
    EXPECT_EQ(le32(52), 200u);

    // soxi, an independent reader, agrees on the layout.
    if (std::system("command -v soxi >/dev/null 2>&1") == 0) {
        std::string cmd = "soxi -s '" + path + "'";
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char line[64] = {};
        ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
        ::pclose(p);
        EXPECT_EQ(std::atol(line), 100);
    }
    std::remove(path.c_str());
}

TEST(Riff, ExclusiveCreateRefusesASecondHolderAndReadWriteEdits)
{
    const std::string path = TempPath("excl.wav");
    CRiffFile a;
    ASSERT_TRUE(a.Open(path.c_str(), MMIO_CREATE | MMIO_EXCLUSIVE | MMIO_WRITE));
    ASSERT_EQ(a.Write("0123456789", 10), 10);
    CRiffFile b;
    EXPECT_FALSE(b.Open(path.c_str(), MMIO_CREATE | MMIO_EXCLUSIVE | MMIO_WRITE));
    EXPECT_TRUE(b.LastError() == EAGAIN || b.LastError() == EACCES);
    // The refused open did not truncate what the holder wrote.
    EXPECT_EQ(a.Size(), 10);
    a.Close();

    CRiffFile c;
    ASSERT_TRUE(c.Open(path.c_str(), MMIO_READWRITE));
    ASSERT_EQ(c.Seek(2, SEEK_SET), 2);
    ASSERT_EQ(c.Write("xy", 2), 2);
    ASSERT_TRUE(c.Truncate(6));
    c.Close();
    Bytes got = ReadFile(path);
    EXPECT_EQ(std::string(got.begin(), got.end()), "01xy45");

    // Read-only files cannot be written.
    CRiffFile r;
    ASSERT_TRUE(r.Open(path.c_str(), MMIO_READ));
    EXPECT_EQ(r.Write("z", 1), -1);
    EXPECT_FALSE(r.Truncate(0));
    std::remove(path.c_str());
}
