#include "formats/mp3/PulseBitCode.h"

#include <algorithm>
#include <cstring>

namespace PulseBitCode {

int BitNumber(unsigned mask)
{
    int b = 0;
    for (unsigned long long v = 1; v < mask; v *= 2) ++b;
    return b;
}

SPulseBit MakePulseBit(int parent, unsigned mask)
{
    SPulseBit p;
    p.parent = parent;
    p.mask = mask;
    p.bit = BitNumber(mask);
    return p;
}

namespace {

// The sub-channel due next: the smallest position, the lowest index on a
// tie; -1 when every one has reached the end.
int Due(const std::vector<long>& pos, long scans)
{
    int due = -1;
    for (std::size_t s = 0; s < pos.size(); ++s)
        if (pos[s] < scans && (due < 0 || pos[s] < pos[std::size_t(due)])) due = int(s);
    return due;
}

}  // namespace

void EncodeChunk(const std::vector<SPulseBit>& subs, const std::int16_t* samples, int channels, long scans,
                 std::vector<unsigned char>& out)
{
    if (scans <= 0) return;
    // Each sub-channel's bits first, one pass over its parent's samples: the
    // pulse is high where the masked sample is not 0 (with the one-bit masks
    // the data sets use, the bit the mask selects).
    std::vector<std::vector<std::uint8_t>> bits(subs.size());
    for (std::size_t s = 0; s < subs.size(); ++s) {
        bits[s].resize(std::size_t(scans));
        const std::int16_t* x = samples + subs[s].parent;
        const std::uint16_t mask = std::uint16_t(subs[s].mask);
        for (long i = 0; i < scans; ++i, x += channels)
            bits[s][std::size_t(i)] = (std::uint16_t(*x) & mask) != 0 ? 1 : 0;
    }
    std::vector<long> pos(subs.size(), 0);
    for (int s; (s = Due(pos, scans)) >= 0;) {
        const std::uint8_t* b = bits[std::size_t(s)].data();
        long& p = pos[std::size_t(s)];
        const std::uint8_t v = b[p];
        long n = 1;
        while (n < kMaxRun && p + n < scans && b[p + n] == v) ++n;
        if (n >= kMinRun) {
            out.push_back(static_cast<unsigned char>((n - 1) * 4 + v * 2 + 1));
            p += n;
        } else {
            unsigned char byte = 0;
            for (int k = 0; k < kLiteralBits && p + k < scans; ++k)
                byte |= static_cast<unsigned char>(b[p + k] << (k + 1));
            out.push_back(byte);
            p += kLiteralBits;
        }
    }
}

EDecode DecodeChunk(const std::vector<SPulseBit>& subs, long scans, CByteSource& in,
                    std::vector<std::vector<std::uint8_t>>& bits)
{
    bits.resize(subs.size());
    for (auto& b : bits) b.assign(std::size_t(scans > 0 ? scans : 0), 0);
    if (subs.size() == 1) {
        // The usual case, one tacho: every byte is that sub-channel's, so the
        // schedule needs no search and whole literals need no bound check.
        std::uint8_t* b = bits[0].data();
        for (long p = 0; p < scans;) {
            unsigned char byte;
            if (!in.Next(byte)) return p == 0 ? EDecode::End : EDecode::Truncated;
            if (byte & 1) {
                const long n = (byte >> 2) + 1;
                if (n < kMinRun || p + n > scans) return EDecode::Invalid;
                std::memset(b + p, (byte >> 1) & 1, std::size_t(n));
                p += n;
            } else if (p + kLiteralBits <= scans) {
                for (int k = 0; k < kLiteralBits; ++k) b[p + k] = (byte >> (k + 1)) & 1;
                p += kLiteralBits;
            } else {
                for (int k = 0; p + k < scans; ++k) b[p + k] = (byte >> (k + 1)) & 1;
                p += kLiteralBits;
            }
        }
        return EDecode::Ok;
    }
    std::vector<long> pos(subs.size(), 0);
    bool first = true;
    for (int s; (s = Due(pos, scans)) >= 0;) {
        unsigned char byte;
        if (!in.Next(byte)) return first ? EDecode::End : EDecode::Truncated;
        first = false;
        long& p = pos[std::size_t(s)];
        std::uint8_t* b = bits[std::size_t(s)].data();
        if (byte & 1) {
            const long n = (byte >> 2) + 1;
            // A writer never codes fewer than 8 equal bits as a run, nor one
            // past the end of the chunk.
            if (n < kMinRun || p + n > scans) return EDecode::Invalid;
            const std::uint8_t v = (byte >> 1) & 1;
            for (long i = 0; i < n; ++i) b[p + i] = v;
            p += n;
        } else {
            for (int k = 0; k < kLiteralBits && p + k < scans; ++k) b[p + k] = (byte >> (k + 1)) & 1;
            p += kLiteralBits;
        }
    }
    return EDecode::Ok;
}

void ApplyChunk(const std::vector<SPulseBit>& subs, const std::vector<std::vector<std::uint8_t>>& bits,
                std::int16_t* samples, int channels, long scans, long from)
{
    for (std::size_t s = 0; s < subs.size() && s < bits.size(); ++s) {
        const SPulseBit& sub = subs[s];
        if (sub.parent < 0 || sub.parent >= channels) continue;
        const std::uint16_t mask = std::uint16_t(sub.mask);
        const std::size_t skip = std::min(std::size_t(from > 0 ? from : 0), bits[s].size());
        const std::size_t n = std::min(std::size_t(scans > 0 ? scans : 0), bits[s].size() - skip);
        const std::uint8_t* b = bits[s].data() + skip;
        std::int16_t* x = samples + sub.parent;
        const std::size_t step = std::size_t(channels);
        // Without a branch: pulse bits are as good as random to a predictor.
        const std::uint16_t keep = std::uint16_t(~mask);
        for (std::size_t i = 0; i < n; ++i, x += step) {
            const std::uint16_t set = std::uint16_t(-std::uint16_t(b[i] & 1u)) & mask;
            *x = std::int16_t((std::uint16_t(*x) & keep) | set);
        }
    }
}

}  // namespace PulseBitCode
