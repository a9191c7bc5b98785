#include "formats/recorder/QuickVu.h"

#include <cmath>
#include <cstring>

namespace {

std::uint32_t U32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

float F32(const unsigned char* p)
{
    std::uint32_t u = U32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// A text field: up to its first zero byte, at most `width` characters.
std::string Text(const unsigned char* p, std::size_t width)
{
    const void* z = std::memchr(p, 0, width);
    std::size_t n = z ? std::size_t(static_cast<const unsigned char*>(z) - p) : width;
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

SQuickVuHeader SQuickVuHeader::Parse(const unsigned char* b)
{
    SQuickVuHeader h;
    h.sComment = Text(b, 401);
    h.uVersion = b[401];
    h.uYear = b[402];
    h.uMonth = b[403];
    h.uDay = b[404];
    h.uHour = b[405];
    h.uMinute = b[406];
    h.uSecond = b[407];
    std::memcpy(h.channel.data(), b + 413, kSlots);
    h.uTotalSamples = U32(b + 433);
    h.fRate = F32(b + 437);
    std::memcpy(h.range.data(), b + 441, kSlots);
    h.uByteOrder = b[457];
    return h;
}

int SQuickVuHeader::UsedSlots() const
{
    int n = 0;
    for (std::uint8_t c : channel)
        n += c != 0;
    return n;
}

double QuickVuVoltsPerCount(int code)
{
    static constexpr double kVolts[] = {1.5625e-05, 3.125e-05, 6.25e-05, 0.00015625, 0.0003125, 0.000625};
    return code >= 1 && code <= 6 ? kVolts[code - 1] : 0.0;
}

unsigned CheckQuickVuHeader(const SQuickVuHeader& h, std::uint64_t fileLength)
{
    if (fileLength != SQuickVuHeader::kSize + 2 * std::uint64_t(h.uTotalSamples))
        return 71;
    if (h.uByteOrder != 0)
        return 72;
    if (h.uVersion != 1)
        return 76;
    if (h.UsedSlots() == 0)
        return 7;
    for (int s = 0; s < SQuickVuHeader::kSlots; ++s)
        if (h.channel[s] && QuickVuVoltsPerCount(h.range[s]) == 0.0)
            return 73;
    // A time axis needs a sampling rate.
    if (!(std::isfinite(h.fRate) && h.fRate > 0.0f))
        return 73;
    return 0;
}

SQuickVuSet ParseQuickVuSet(const unsigned char* bytes, std::size_t size, const SQuickVuHeader& header)
{
    SQuickVuSet set;
    if (size < SQuickVuSet::kSize)
        return set;
    set.bValid = true;
    for (int s = 0; s < SQuickVuHeader::kSlots; ++s) {
        const unsigned char* r = bytes + 41 + 28 * s;
        SQuickVuSetRecord& rec = set.slots[std::size_t(s)];
        rec.sName = Text(r, 10);
        rec.sUnit = Text(r + 10, 10);
        rec.fFactor = F32(r + 20);
        rec.fOffset = F32(r + 24);
        if (header.channel[std::size_t(s)] && !(std::isfinite(rec.fFactor) && rec.fFactor != 0.0f))
            set.bValid = false;
    }
    return set;
}
