#include "formats/pak/PakLayout.h"

#include <cctype>
#include <cmath>
#include <string_view>

namespace PakLayout {

std::string CFields::Text(std::size_t offset, std::size_t size) const
{
    std::string s;
    for (std::size_t i = offset; i < offset + size && i < m_n && m_p[i]; ++i)
        s.push_back(char(m_p[i]));
    return s;
}

bool IsBigEndian(const unsigned char* header)
{
    // The text is zero-terminated within the 8 bytes before the revision.
    char text[9] = {};
    std::memcpy(text, header + kHdrByteOrder, 8);
    return (text[0] == 'M' || text[0] == 'm') && (text[1] == 'S' || text[1] == 's') &&
           (text[2] == 'B' || text[2] == 'b') && text[3] == '\0';
}

}  // namespace PakLayout

using namespace PakLayout;

unsigned ReadPakThroughput(const unsigned char* header, const unsigned char* setup, SPakThroughput& t,
                           std::string& detail)
{
    t = SPakThroughput();
    t.bBigEndian = IsBigEndian(header);
    // The accessors only read; the casts let one class serve both directions.
    const CFields h(const_cast<unsigned char*>(header), kHeaderSize, t.bBigEndian);
    const CFields s(const_cast<unsigned char*>(setup), kSetupSize, t.bBigEndian);

    t.lHeaderRevision = h.Get<std::int32_t>(kHdrRevision);
    t.lSamplesPerBlock = h.Get<std::int32_t>(kHdrSamplesPerBlock);
    t.nBits = h.Get<std::int16_t>(kHdrBits);
    t.dStart = h.Get<double>(kHdrStart);
    t.nTimeZone = h.Get<std::int16_t>(kHdrTimeZone);
    t.nSetupRevision = s.Get<std::int16_t>(kSetRevision);
    t.lBlocks = s.Get<std::int32_t>(kSetBlocks);
    t.nChannels = s.Get<std::int16_t>(kSetChannels);
    t.fRate = s.Get<float>(kSetRate);

    if (t.nChannels < 1 || t.nChannels > kMaxChannels) {
        detail = "number of channels " + std::to_string(t.nChannels) + " (setup offset 28)";
        return 105;
    }
    int analog = 0;
    for (int i = 0; i < kMaxChannels; ++i) {
        const short kind = s.Get<std::int16_t>(Record(i) + kRecKind);
        if (kind == 1)
            ++analog;
        else if (kind > 1)
            ++t.iPulseFound;
    }
    if (t.lHeaderRevision != 1 || t.nSetupRevision != 2) {
        detail = "header revision " + std::to_string(t.lHeaderRevision) + ", setup revision " +
                 std::to_string(t.nSetupRevision);
        return 130;
    }
    if (analog == 0) {
        detail = "no channel record of kind 1";
        return 7;
    }
    if (analog + t.iPulseFound > t.nChannels) {
        detail = std::to_string(analog) + " analog and " + std::to_string(t.iPulseFound) + " pulse channels, " +
                 std::to_string(t.nChannels) + " declared";
        return 103;
    }

    // Values that give neither a time axis nor a block layout: the file is
    // no throughput file, whatever its revisions say.
    if (t.lSamplesPerBlock <= 0) {
        detail = "samples per block " + std::to_string(t.lSamplesPerBlock) + " (header offset 2064)";
        return 131;
    }
    if (t.lBlocks < 0) {
        detail = "number of blocks " + std::to_string(t.lBlocks) + " (setup offset 24)";
        return 131;
    }
    if (!(t.fRate > 0.0f) || !std::isfinite(t.fRate)) {
        detail = "sampling rate " + std::to_string(t.fRate) + " (setup offset 32)";
        return 131;
    }

    std::uint64_t offset = 0;
    const std::uint64_t sampleBytes = std::uint64_t(t.SampleBytes());
    int analogInRange = 0, pulseInRange = 0;
    for (int i = 0; i < t.nChannels; ++i) {
        SPakChannel c;
        c.iIndex = i;
        c.nKind = s.Get<std::int16_t>(Record(i) + kRecKind);
        c.nQuantity = s.Get<std::int16_t>(Record(i) + kRecQuantity);
        c.dFactor = s.Get<double>(Record(i) + kRecFactor);
        c.dOffset = s.Get<double>(Record(i) + kRecOffset);
        c.dScale = h.Get<double>(kHdrScale + 8 * std::size_t(i));
        c.lValues = h.Get<std::int32_t>(kHdrValuesPerBlock + 4 * std::size_t(i));
        c.uBlockOffset = offset;
        if (c.nKind == 1) {
            ++analogInRange;
            offset += std::uint64_t(t.lSamplesPerBlock) * sampleBytes;
            t.analog.push_back(c);
        } else if (c.nKind != 0) {
            const bool used = c.nKind > 1 && pulseInRange < kMaxPulseChannels;
            // A pulse channel without values has no time axis.
            if (c.lValues < 0 || (used && c.lValues == 0)) {
                detail = "values per block " + std::to_string(c.lValues) + " of channel " + std::to_string(i) +
                         " (header offset " + std::to_string(kHdrValuesPerBlock + 4 * std::size_t(i)) + ")";
                return 131;
            }
            offset += std::uint64_t(c.lValues) * 4;
            if (c.nKind > 1)
                ++pulseInRange;
            if (used)
                t.pulse.push_back(c);
        }
    }
    // Records beyond the declared count hold no data: a channel announced
    // there has nowhere to come from.
    if (analogInRange != analog || pulseInRange != t.iPulseFound) {
        detail = "a channel record beyond the " + std::to_string(t.nChannels) + " declared channels is in use";
        return 103;
    }
    t.uBlockBytes = offset;
    return 0;
}

namespace {

constexpr std::size_t kMaxName = 128;

// The number at the start of a text, as atoi reads it (clamped, so that a
// long run of digits cannot overflow).
long LeadingNumber(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = v > 100000 ? v : v * 10 + (s[i] - '0');
    return negative ? -v : v;
}

// The text after the first tab at or after `from`; false without one.
bool AfterTab(std::string_view line, std::size_t from, std::string_view& value)
{
    const std::size_t tab = line.find('\t', from);
    if (tab == std::string_view::npos)
        return false;
    value = line.substr(tab + 1);
    return true;
}

template <class F>
void ForEachLine(const char* text, std::size_t size, F f)
{
    std::string_view all(text ? text : "", text ? size : 0);
    while (!all.empty()) {
        const std::size_t nl = all.find('\n');
        std::string_view line = all.substr(0, nl);
        all = nl == std::string_view::npos ? std::string_view() : all.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!f(line))
            return;
    }
}

std::string Capped(std::string_view s) { return std::string(s.substr(0, kMaxName)); }

}  // namespace

void ReadChanPosNames(const char* text, std::size_t size, PakNames& names)
{
    ForEachLine(text, size, [&](std::string_view line) {
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        std::string_view value;
        if (line.starts_with("POS")) {
            const long i = LeadingNumber(line.substr(3));
            if (i >= 0 && i < kMaxChannels && AfterTab(line, 3, value))
                names[std::size_t(i)] = Capped(value);
        } else if (line.starts_with("MPTEXT")) {
            const long i = LeadingNumber(line.substr(6));
            if (i >= 0 && i < kMaxChannels && AfterTab(line, 6, value) && names[std::size_t(i)].empty())
                names[std::size_t(i)] = Capped(value);
        } else if (line.starts_with("DIRECTION")) {
            const long i = LeadingNumber(line.substr(9));
            // "S" is the default direction and an empty one says nothing:
            // neither is worth a word in the name.
            if (i >= 0 && i < kMaxChannels && AfterTab(line, 9, value) && names[std::size_t(i)].size() >= 2 &&
                value != "S" && !value.empty())
                names[std::size_t(i)] = Capped(names[std::size_t(i)] + " " + std::string(value));
        }
        return true;
    });
}

void ReadMPlistNames(const char* text, std::size_t size, PakNames& names)
{
    std::size_t i = 0;
    ForEachLine(text, size, [&](std::string_view line) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string_view::npos && names[i].empty()) {
            const std::string_view name = line.substr(0, tab);
            names[i] = name.size() > 129 ? std::string(name.substr(0, 64)) + "." + std::string(name.substr(name.size() - 63))
                                         : Capped(name);
        }
        return ++i < names.size();
    });
}
