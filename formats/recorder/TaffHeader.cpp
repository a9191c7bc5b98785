#include "formats/recorder/TaffHeader.h"

#include "formats/recorder/RecorderText.h"

#include <string_view>

namespace {

using RecorderText::Atol;

// Lines of the header, one after the other. A line ends at a line feed; the
// carriage return of a CR LF file belongs to the line end, as it would in a
// file read in text mode.
class CLineReader {
public:
    CLineReader(const char* data, std::size_t size) : m_text(data, size) {}

    // False at the end of the file or for an over-long line (then `tooLong`).
    bool Read(std::string_view& line, bool& tooLong)
    {
        tooLong = false;
        if (m_pos >= m_text.size())
            return false;
        std::size_t nl = m_text.find('\n', m_pos);
        std::size_t end = nl == std::string_view::npos ? m_text.size() : nl;
        line = m_text.substr(m_pos, end - m_pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > STaffHeader::kMaxLine) {
            tooLong = true;
            return false;
        }
        m_pos = end + 1;
        ++m_line;
        return true;
    }
    void Rewind() { m_pos = 0; m_line = 0; }
    int LineNumber() const { return m_line; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 0;
};

// The key part (before the first blank or tab), in upper case, must contain
// the keyword; the value is what follows that blank or tab.
bool Carries(std::string_view line, const char* keyword, std::string& value)
{
    std::size_t sep = line.find_first_of(" \t");
    std::string key = RecorderText::Upper(line.substr(0, sep));
    if (key.find(keyword) == std::string::npos)
        return false;
    value = sep == std::string_view::npos ? std::string() : std::string(line.substr(sep + 1));
    return true;
}

}  // namespace

std::vector<std::string> SplitTaffList(const std::string& value, int count)
{
    std::vector<std::string> out(std::size_t(count > 0 ? count : 0));
    std::string_view rest(value);
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) {
            out[i] = std::string(RecorderText::Trim(rest));
            break;
        }
        out[i] = std::string(RecorderText::Trim(rest.substr(0, comma)));
        rest = rest.substr(comma + 1);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
    }
    return out;
}

unsigned ReadTaffHeader(const char* data, std::size_t size, STaffHeader& h, std::string& detail)
{
    h = STaffHeader();
    detail.clear();
    CLineReader reader(data, size);
    std::string_view line;
    bool tooLong = false;
    auto readFailed = [&]() -> unsigned {
        if (tooLong)
            detail = "line " + std::to_string(reader.LineNumber() + 1) + " is longer than " +
                     std::to_string(STaffHeader::kMaxLine) + " characters";
        else
            detail = "the file ends after line " + std::to_string(reader.LineNumber());
        return 77;
    };

    // NUM_SERIES, the tenth line, gives the length of every list.
    for (int i = 0; i < 10; ++i)
        if (!reader.Read(line, tooLong))
            return readFailed();
    std::string value;
    if (!Carries(line, "NUM_SERIES", value)) {
        detail = "NUM_SERIES";
        return 78;
    }
    h.iNumSeries = int(Atol(value));
    if (h.iNumSeries > STaffHeader::kMaxSeries) {
        detail = "NUM_SERIES " + std::to_string(h.iNumSeries) + " is more than " +
                 std::to_string(STaffHeader::kMaxSeries) + " series";
        return 77;
    }
    const int n = h.iNumSeries;

    reader.Rewind();
    static const char* const kOrder[] = {"DATASET",  "VERSION",      "SERIES",     "DATE",  "TIME",
                                         "RATE",     "VERT_UNITS",   "HORZ_UNITS", "COMMENT",
                                         "NUM_SERIES", "STORAGE_MODE", "FILE_TYPE", "SLOPE", "X_OFFSET",
                                         "Y_OFFSET", "NUM_SAMPS"};
    for (const char* keyword : kOrder) {
        if (!reader.Read(line, tooLong))
            return readFailed();
        if (!Carries(line, keyword, value)) {
            detail = keyword;
            return 78;
        }
        const std::string_view k(keyword);
        if (k == "VERSION")
            h.iVersion = int(Atol(value));
        else if (k == "SERIES")
            h.series = SplitTaffList(value, n);
        else if (k == "DATE")
            h.sDate = value;
        else if (k == "TIME")
            h.sTime = value;
        else if (k == "RATE")
            h.lRate = Atol(value);
        else if (k == "VERT_UNITS")
            h.vertUnits = SplitTaffList(value, n);
        else if (k == "HORZ_UNITS")
            h.sHorzUnits = RecorderText::Upper(value);
        else if (k == "COMMENT")
            h.sComment = value;
        else if (k == "STORAGE_MODE")
            h.sStorageMode = RecorderText::Upper(value);
        else if (k == "SLOPE")
            h.slopes = SplitTaffList(value, n);
        else if (k == "Y_OFFSET")
            h.yOffsets = SplitTaffList(value, n);
        else if (k == "NUM_SAMPS")
            h.lNumSamps = Atol(value);
    }

    // Optional, in this order; the file may end before either.
    for (const char* keyword : {"CH_SLOT", "RATE_MULTI"}) {
        while (reader.Read(line, tooLong)) {
            if (Carries(line, keyword, value)) {
                (std::string_view(keyword) == "CH_SLOT" ? h.chSlots : h.rateMulti) = SplitTaffList(value, n);
                break;
            }
        }
        if (tooLong)
            return readFailed();
    }
    return 0;
}
