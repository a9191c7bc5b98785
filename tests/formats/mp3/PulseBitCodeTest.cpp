// The pulse-bit code of the MP3 side file: the bytes for runs and literals
// (worked out by hand from the code's definition), the order in which
// several sub-channels take turns, and a decoder that refuses damaged code.

#include "formats/mp3/PulseBitCode.h"

#include <gtest/gtest.h>

#include <vector>

using namespace PulseBitCode;

namespace {

// One channel whose samples carry the given bits at the mask, over a
// background that has other bits set too.
std::vector<std::int16_t> Samples(const std::vector<int>& bits, unsigned mask)
{
    std::vector<std::int16_t> s;
    for (int b : bits) s.push_back(std::int16_t(0x5A00 | (b ? mask : 0)));
    return s;
}

std::vector<unsigned char> Encode(const std::vector<SPulseBit>& subs, const std::vector<std::int16_t>& samples,
                                  int channels)
{
    std::vector<unsigned char> out;
    EncodeChunk(subs, samples.data(), channels, long(samples.size()) / channels, out);
    return out;
}

std::vector<std::vector<std::uint8_t>> Decode(const std::vector<SPulseBit>& subs, long scans,
                                              const std::vector<unsigned char>& code, EDecode expect = EDecode::Ok)
{
    CMemorySource in(code.data(), code.size());
    std::vector<std::vector<std::uint8_t>> bits;
    EXPECT_EQ(DecodeChunk(subs, scans, in, bits), expect);
    if (expect == EDecode::Ok) {
        EXPECT_EQ(in.Remaining(), 0u);
    }
    return bits;
}

}  // namespace

TEST(PulseBitCode, ConstantBitIsCodedAsRunsOf64AndTheRest)
{
    const std::vector<SPulseBit> subs{MakePulseBit(0, 1)};
    // 200 low bits: runs 64, 64, 64, 8; (n - 1) * 4 + 1.
    EXPECT_EQ(Encode(subs, Samples(std::vector<int>(200, 0), 1), 1),
              (std::vector<unsigned char>{0xFD, 0xFD, 0xFD, 0x1D}));
    // High bits add 2.
    const std::vector<SPulseBit> bit3{MakePulseBit(0, 8)};
    const std::vector<unsigned char> high = Encode(bit3, Samples(std::vector<int>(200, 1), 8), 1);
    EXPECT_EQ(high, (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0x1F}));
    const auto bits = Decode(bit3, 200, high);
    EXPECT_EQ(bits[0], std::vector<std::uint8_t>(200, 1));
}

TEST(PulseBitCode, ToggledBitIsCodedAsLiteralsOnly)
{
    std::vector<int> toggling;
    for (int i = 0; i < 200; ++i) toggling.push_back(i % 2);
    const std::vector<SPulseBit> subs{MakePulseBit(0, 4)};
    const std::vector<unsigned char> code = Encode(subs, Samples(toggling, 4), 1);
    // 29 literals of 7 bits; bit k + 1 carries sample k. A literal starting
    // at an even scan holds 0101010 (0x54), at an odd one 1010101 (0xAA); the
    // last starts at 196 and has 4 samples left (0x14).
    ASSERT_EQ(code.size(), 29u);
    for (std::size_t i = 0; i + 1 < code.size(); ++i) EXPECT_EQ(code[i], i % 2 ? 0xAA : 0x54) << i;
    EXPECT_EQ(code.back(), 0x14);
    const auto bits = Decode(subs, 200, code);
    EXPECT_EQ(bits[0], std::vector<std::uint8_t>(toggling.begin(), toggling.end()));
}

TEST(PulseBitCode, RunNeedsEightEqualBitsAndEndsAtTheChunk)
{
    const std::vector<SPulseBit> subs{MakePulseBit(0, 1)};
    // Seven equal bits are a literal; the eighth bit starts the next byte.
    EXPECT_EQ(Encode(subs, Samples({1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 1), 1),
              (std::vector<unsigned char>{0xFE, 0x1D}));
    // Exactly eight at the end of a chunk: one run.
    EXPECT_EQ(Encode(subs, Samples({0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1}, 1), 1),
              (std::vector<unsigned char>{0x00, 0x1F}));
}

TEST(PulseBitCode, SubChannelsTakeTurnsBySmallestPosition)
{
    // Channel 1 holds sub-channel 0 (mask 1, always high) and sub-channel 1
    // (mask 2, toggling) in one sample. Both start at 0: sub-channel 0 (the
    // lower index) runs to 64; sub-channel 1 codes literals up to 70, passing
    // 64 on its literal at 63; sub-channel 0 then runs the last 36; sub-channel
    // 1 finishes with literals from 70 to 98 (2 samples left in the last).
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 100; ++i) {
        samples.push_back(std::int16_t(-1234));  // channel 0, no pulses
        samples.push_back(std::int16_t(0x0100 | 1 | ((i % 2) ? 2 : 0)));
    }
    const std::vector<SPulseBit> subs{MakePulseBit(1, 1), MakePulseBit(1, 2)};
    const std::vector<unsigned char> expected{0xFF, 0x54, 0xAA, 0x54, 0xAA, 0x54, 0xAA, 0x54, 0xAA, 0x54, 0xAA,
                                              0x8F, 0x54, 0xAA, 0x54, 0xAA, 0x04};
    const std::vector<unsigned char> code = Encode(subs, samples, 2);
    EXPECT_EQ(code, expected);

    const auto bits = Decode(subs, 100, code);
    EXPECT_EQ(bits[0], std::vector<std::uint8_t>(100, 1));
}

TEST(PulseBitCode, DecoderRefusesDamagedCode)
{
    const std::vector<SPulseBit> subs{MakePulseBit(0, 1)};
    // Nothing where a chunk begins: the code has ended.
    Decode(subs, 200, {}, EDecode::End);
    // Ends inside the chunk.
    Decode(subs, 200, {0xFD, 0xFD}, EDecode::Truncated);
    // A run of 1, which no writer makes.
    Decode(subs, 200, {0x01}, EDecode::Invalid);
    // A run of 64 in a chunk of 10.
    Decode(subs, 10, {0xFD}, EDecode::Invalid);
}
