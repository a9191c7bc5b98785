#include "formats/recorder/SonyLog.h"

#include "common/OutputPolicy.h"
#include "formats/recorder/RecorderText.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

using RecorderText::Atol;

struct SKeyword {
    const char* pszName;
    int iBit;   // -1: INPUT_RANGE, no bit
};

// Matched in this order, each over its own length: the first that is a
// prefix of the line wins.
constexpr SKeyword kKeywords[] = {
    {"VERSION", kSonyVersion},        {"DATA_FILE", kSonyDataFile},   {"FORMAT", kSonyFormat},
    {"VOLUME_CH", kSonyVolume},       {"FILE_INTVL_CH", kSonyInterval}, {"FILE_MEMO", kSonyFileMemo},
    {"REMARKS", kSonyFileMemo},       {"CHANNEL", kSonyChannel},      {"TAPE_BC_MODE", kSonyTapeMode},
    {"TAPE_SRATE_CH", kSonyTapeRate}, {"DECIMATION", kSonyDecimation}, {"TAPE_SPEED", kSonyTapeSpeed},
    {"ID", kSonyID},                  {"DATE_TIME", kSonyDateTime},   {"CNT_ADDRESS", kSonyCounter},
    {"MEMO", kSonyMemo},              {"TRIG_MODE", kSonyTrigMode},   {"INPUT_RANGE", -1},
};

std::string Take(std::string_view v, std::size_t n) { return std::string(v.substr(0, n)); }

int Digit(std::string_view v) { return !v.empty() && v[0] >= '0' && v[0] <= '9' ? v[0] - '0' : -1; }

// A CHANNEL line: CHANNEL <n>, "<name>", <unit>, <mapping>. Positions are
// searched within the line only; false when one of them is missing.
bool ParseChannel(std::string_view line, std::size_t keywordLength, SSonyChannel& ch)
{
    constexpr auto npos = std::string_view::npos;
    const std::size_t start = keywordLength + 1;
    if (start > line.size())
        return false;
    const std::size_t blank = line.find(' ', start);
    if (blank == npos)
        return false;
    // Commas right after the number end it, as atoi would stop there too.
    ch.iNumber = int(std::max<long long>(Atol(line.substr(blank + 1)) - 1LL, INT32_MIN));
    const std::size_t open = line.find('"', blank + 1);
    if (open == npos)
        return false;
    const std::size_t close = line.find('"', open + 1);
    if (close == npos)
        return false;
    ch.sName = Take(line.substr(open + 1, close - open - 1), 10);
    const std::size_t comma1 = line.find(',', close + 1);
    if (comma1 == npos)
        return false;
    const std::size_t blank1 = line.find(' ', comma1);
    if (blank1 == npos)
        return false;
    const std::size_t comma2 = line.find(',', blank1 + 1);
    if (comma2 == npos)
        return false;
    ch.sUnit = Take(line.substr(blank1 + 1, comma2 - blank1 - 1), 8);
    const std::size_t blank2 = line.find(' ', comma2);
    if (blank2 == npos)
        return false;
    ch.sMapping = Take(line.substr(blank2 + 1), 25);
    ch.bUsed = true;
    return true;
}

std::uint16_t RangeCode(std::string_view v)
{
    static constexpr struct {
        const char* text;
        std::uint16_t tenths;
    } kRanges[] = {{"0.5", 5}, {"1.0", 10}, {"2.0", 20}, {"5.0", 50}, {"10.", 100}, {"20.", 200}};
    for (const auto& r : kRanges)
        if (v.substr(0, 3) == r.text)
            return r.tenths;
    return SSonyLog::kRangeUnknown;
}

}  // namespace

const char* SonyLogKeyword(int bit)
{
    for (const SKeyword& k : kKeywords)
        if (k.iBit == bit)
            return k.pszName;
    return "";
}

bool ReadSonyLog(const char* data, std::size_t size, SSonyLog& log, std::string& failure)
{
    log = SSonyLog();
    log.inputRange.fill(SSonyLog::kRangeUnknown);
    failure.clear();

    // One zero byte in front, one behind; going backwards, tabs become blanks
    // and line ends zeros, together with the blanks that trail a line.
    std::string buf;
    buf.reserve(size + 2);
    buf.push_back('\0');
    buf.append(data, size);
    buf.push_back('\0');
    bool trailing = false;
    for (std::size_t i = size; i >= 1; --i) {
        char& c = buf[i];
        if (c == '\r' || c == '\n') {
            c = '\0';
            trailing = true;
        } else if (trailing && (c == ' ' || c == '\t')) {
            c = '\0';
        } else {
            trailing = false;
            if (c == '\t')
                c = ' ';
        }
    }

    std::vector<std::uint16_t> ranges;   // of the k-th INPUT_RANGE line
    bool tooMany = false, malformed = false, sawFormat = false;
    std::size_t malformedLine = 0, lineNumber = 0;
    for (std::size_t p = 1; p + 1 < buf.size();) {
        const std::size_t end = buf.find('\0', p);
        const std::string_view line(buf.data() + p, end - p);
        p = end + 1;
        ++lineNumber;
        if (line.empty())
            continue;
        const SKeyword* kw = nullptr;
        for (const SKeyword& k : kKeywords)
            if (line.compare(0, std::strlen(k.pszName), k.pszName) == 0) {
                kw = &k;
                break;
            }
        if (!kw)
            continue;
        const std::size_t klen = std::strlen(kw->pszName);
        // The value starts one character after the keyword, past blanks; a
        // line that ends with the keyword has an empty value.
        std::size_t v = std::min(klen + 1, line.size());
        while (v < line.size() && line[v] == ' ')
            ++v;
        const std::string_view value = line.substr(v);
        const std::uint16_t bit = kw->iBit >= 0 ? std::uint16_t(1u << kw->iBit) : 0;
        switch (kw->iBit) {
        case kSonyVersion: log.sVersion = Take(value, 4); break;
        case kSonyDataFile: log.sDataFile = Take(value, 128); break;
        case kSonyFormat:
            sawFormat = true;
            log.iFormat = Digit(value);
            // Only format 0 is read; as with every field, a later line
            // overrides an earlier one.
            if (log.iFormat != 0) {
                log.uMissing |= bit;
                continue;
            }
            break;
        case kSonyVolume: log.lSamplesPerChannel = Atol(value); break;
        case kSonyInterval: log.dInterval = RecorderText::Atof(value); break;
        case kSonyFileMemo: log.sFileMemo = Take(value, 128); break;
        case kSonyChannel: {
            SSonyChannel ch;
            if (!ParseChannel(line, klen, ch)) {
                if (!malformed)
                    malformedLine = lineNumber;
                malformed = true;
                continue;
            }
            if (int(log.channels.size()) == SSonyLog::kMaxChannels) {
                tooMany = true;
                continue;
            }
            log.channels.push_back(ch);
            break;
        }
        case kSonyTapeMode: log.iTapeMode = Atol(value); break;
        case kSonyTapeRate: log.lTapeSampleRate = Atol(value); break;
        case kSonyDecimation: {
            std::int32_t d = Atol(value);
            log.nDecimation = std::int16_t(d > INT16_MAX ? INT16_MAX : d < INT16_MIN ? INT16_MIN : d);
            break;
        }
        case kSonyTapeSpeed: log.iTapeSpeed = Digit(value); break;
        case kSonyID: log.iID = int(Atol(value.substr(0, 3))); break;
        case kSonyDateTime:
            if (value.size() > 6 && value[6] == ' ') {
                log.lDate = Atol(value.substr(0, 6));
                log.lTime = value.size() > 7 ? Atol(value.substr(7)) : 0;
            } else {
                log.lDate = Atol(value.substr(0, 8));
                log.lTime = value.size() > 9 ? Atol(value.substr(9)) : 0;
            }
            break;
        case kSonyCounter: {
            std::string_view c = value;
            if (!c.empty() && c[0] == '+')
                c.remove_prefix(1);
            log.lCounterAddress = Atol(c) / 1000;
            break;
        }
        case kSonyMemo: log.sMemo = Take(value, 139); break;
        case kSonyTrigMode: log.iTrigMode = Digit(value); break;
        default: {   // INPUT_RANGE
            std::size_t comma = line.find(',');
            std::uint16_t code = SSonyLog::kRangeUnknown;
            if (comma != std::string_view::npos) {
                std::size_t r = comma + 1;
                while (r < line.size() && line[r] == ' ')
                    ++r;
                code = RangeCode(line.substr(r));
            }
            ranges.push_back(code);
            break;
        }
        }
        log.uMissing &= std::uint16_t(~bit);
    }

    // The k-th INPUT_RANGE line belongs to the k-th CHANNEL line, in
    // whatever order the two kinds of line came.
    for (std::size_t k = 0; k < ranges.size() && k < log.channels.size(); ++k) {
        const int n = log.channels[k].iNumber;
        if (ranges[k] != SSonyLog::kRangeUnknown && n >= 0 && n < SSonyLog::kMaxChannels)
            log.inputRange[std::size_t(n)] = ranges[k];
    }

    if (log.channels.empty() && !malformed) {
        failure = "No channels were read!\nLog file may be corrupted";
        return false;
    }
    if (malformed) {
        failure = "CHANNEL line (line " + std::to_string(malformedLine) +
                  ") is not of the form CHANNEL <number>, \"<name>\", <unit>, <mapping>";
        return false;
    }
    if (tooMany) {
        failure = "more than " + std::to_string(SSonyLog::kMaxChannels) + " CHANNEL lines";
        return false;
    }
    for (int b = 0; b < kSonyBitCount; ++b)
        if (log.uMissing & (1u << b)) {
            if (b == kSonyFormat && sawFormat)
                failure = "only FORMAT 0 is read";
            else
                failure = std::string("no line with ") + SonyLogKeyword(b);
            return false;
        }
    return true;
}

void ParseSonyMapping(const std::string& text, double& factor, double& offset)
{
    std::string t = text;
    for (char& c : t)
        if (c == '*' || c == '(' || c == ')')
            c = ' ';
    std::size_t end = 0;
    factor = RecorderText::Atof(t, end);
    offset = 0.0;
    // The offset is the signed number that follows the factor; searching
    // only behind the factor's numeral keeps an exponent's sign ("1.5E+02")
    // from being taken for it.
    const std::size_t sign = t.find_first_of("+-", end);
    if (sign != std::string::npos)
        offset = RecorderText::Atof(std::string_view(t).substr(sign));
}

std::string SonyLogPath(const char* dataFile)
{
    CString upper(dataFile ? dataFile : "");
    OutputPolicy::SetExtension(upper, ".LOG");
    if (FileSystem::FileExists(upper))
        return upper.str();
    CString lower(dataFile ? dataFile : "");
    OutputPolicy::SetExtension(lower, ".log");
    if (FileSystem::FileExists(lower))
        return lower.str();
    return upper.str();
}
