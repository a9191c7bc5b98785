// Any bytes as an MP3 side file: the banner search must stay within the
// bytes and find a line only where the TRX magic follows; the pulse-bit
// decoder, under a schedule of sub-channels taken from the first bytes, must
// end every chunk with a verdict, fill exactly the chunk's bits with 0 or 1,
// and never read more bytes than a chunk can need.

#include "FuzzSupport.h"
#include "formats/mp3/Mp3SideFile.h"
#include "formats/mp3/PulseBitCode.h"

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t banner = Mp3SideFile::BannerLength(data, size);
    if (banner != 0)
        Check(banner <= size && banner <= Mp3SideFile::kBannerMax && size - banner >= 8 &&
              std::memcmp(data + banner, "\x89TRX", 4) == 0 && data[banner - 1] == '\n');

    if (size < 4) return 0;
    const int count = 1 + data[0] % 4;
    if (size < std::size_t(3 + 2 * count)) return 0;
    const long scans = 1 + long((data[1] | data[2] << 8) % 20000);
    std::vector<PulseBitCode::SPulseBit> subs;
    for (int s = 0; s < count; ++s)
        subs.push_back(PulseBitCode::MakePulseBit(data[3 + 2 * s] % 2, 1u << (data[4 + 2 * s] % 16)));
    const std::size_t head = std::size_t(3 + 2 * count);
    PulseBitCode::CMemorySource in(data + head, size - head);
    std::vector<std::vector<std::uint8_t>> bits;
    std::vector<std::int16_t> samples(std::size_t(scans) * 2, 0x1234);
    for (int chunk = 0; chunk < 64; ++chunk) {
        const std::size_t before = in.Remaining();
        const PulseBitCode::EDecode r = PulseBitCode::DecodeChunk(subs, scans, in, bits);
        // At most one byte per bit of every sub-channel.
        Check(before - in.Remaining() <= std::size_t(scans) * subs.size());
        if (r != PulseBitCode::EDecode::Ok) break;
        for (const auto& b : bits) {
            Check(long(b.size()) == scans);
            for (std::uint8_t v : b)
                Check(v <= 1);
        }
        PulseBitCode::ApplyChunk(subs, bits, samples.data(), 2, scans);
        // What was decoded codes back to a chunk that decodes the same.
        std::vector<unsigned char> again;
        PulseBitCode::EncodeChunk(subs, samples.data(), 2, scans, again);
        PulseBitCode::CMemorySource in2(again.data(), again.size());
        std::vector<std::vector<std::uint8_t>> bits2;
        Check(PulseBitCode::DecodeChunk(subs, scans, in2, bits2) == PulseBitCode::EDecode::Ok && in2.Remaining() == 0);
        for (std::size_t s = 0; s < subs.size(); ++s) {
            // Two sub-channels on one bit share it; the later one wins in the samples.
            bool shared = false;
            for (std::size_t t = s + 1; t < subs.size(); ++t)
                shared |= subs[t].parent == subs[s].parent && subs[t].mask == subs[s].mask;
            Check(shared || bits2[s] == bits[s]);
        }
    }
    return 0;
}
