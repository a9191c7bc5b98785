#include "formats/ascii/AsciiHeaderScan.h"

#include <memory>

namespace {

bool IsNumberChar(unsigned char c)
{
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',' || c == 'e' ||
           c == 'E' || c == ' ' || c == '\t';
}

// Appends up to the header limit; the rest of an oversized header is dropped.
void AppendCapped(std::string& to, std::string_view text)
{
    if (to.size() >= g_nMaxAsciiHeader) return;
    to.append(text.substr(0, g_nMaxAsciiHeader - to.size()));
}

// Line state gathered while the bytes stream past, so that a line of any length
// is classified without holding more than the capped text of it.
struct SLineState {
    bool bEmpty = true;
    bool bAllNumberChars = true;
    bool bAllBlank = true;
    bool bPendingCR = false;
    std::string sText; // capped copy, for the header

    void Reset() { *this = SLineState(); sText.reserve(256); }
    void Add(unsigned char c)
    {
        bEmpty = false;
        if (!IsNumberChar(c)) bAllNumberChars = false;
        if (c != ' ' && c != '\t') bAllBlank = false;
        if (sText.size() < g_nMaxAsciiHeader) sText.push_back(char(c));
    }
    EAsciiLine Class() const
    {
        if (bEmpty) return EAsciiLine::other;
        if (bAllBlank) return EAsciiLine::blank;
        return bAllNumberChars ? EAsciiLine::number : EAsciiLine::other;
    }
};

} // namespace

EAsciiLine ClassifyAsciiLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    SLineState st;
    for (unsigned char c : line) st.Add(c);
    return st.Class();
}

bool ScanAsciiHeader(std::FILE* f, SAsciiDataStart& out)
{
    out = SAsciiDataStart();
    constexpr std::size_t kBlock = 1 << 16;
    const auto buf = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
    std::string pending;
    unsigned run = 0;
    unsigned lineNo = 1;
    std::int64_t pos = 0;       // offset of the next byte
    std::int64_t lineStart = 0; // offset of the current line
    SLineState st;
    st.Reset();

    // Returns true when the scan is complete.
    auto endLine = [&](bool withLineFeed) -> bool {
        switch (st.Class()) {
        case EAsciiLine::number:
            if (run == 0) {
                out.llOffset = lineStart;
                out.uLine = lineNo;
                out.bNumbersFound = true;
            }
            ++run;
            AppendCapped(pending, st.sText);
            AppendCapped(pending, "\r\n");
            break;
        case EAsciiLine::blank:
            run = 0;
            AppendCapped(pending, st.sText);
            AppendCapped(pending, "\r\n");
            break;
        case EAsciiLine::other:
            run = 0;
            AppendCapped(out.sHeader, pending);
            pending.clear();
            if (withLineFeed) {
                AppendCapped(out.sHeader, st.sText);
                AppendCapped(out.sHeader, "\r\n");
            }
            break;
        }
        ++lineNo;
        lineStart = pos;
        st.Reset();
        return run >= g_uAsciiDataRun;
    };

    for (;;) {
        std::size_t n = std::fread(buf.get(), 1, kBlock, f);
        if (n == 0) {
            if (std::ferror(f)) return false;
            break;
        }
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char c = buf[i];
            ++pos;
            if (c == '\n') {
                st.bPendingCR = false; // the CR of a CR LF pair is no part of the line
                if (endLine(true)) return true;
                continue;
            }
            if (st.bPendingCR) st.Add('\r');
            st.bPendingCR = c == '\r';
            if (!st.bPendingCR) st.Add(c);
        }
    }
    if (st.bPendingCR) st.Add('\r');
    if (!st.bEmpty) endLine(false);
    if (!out.bNumbersFound) {
        out.llOffset = 0;
        out.uLine = 1;
    }
    return true;
}
