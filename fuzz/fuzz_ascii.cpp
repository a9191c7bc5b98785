// ASCII import from any bytes. Two findings count: a crash or hang of the whole
// conversion (header scan, both passes, data set writing), and any line on
// which the plain-line reader and the token scanner disagree: whenever the
// plain reader takes a table, the scanner must read the very same numbers
// from it.

#include "FuzzSupport.h"
#include "formats/ascii/AsciiLineReader.h"
#include "formats/ascii/TS_ASCIIImport.h"

namespace {

// The lines of a table as one reader gives them; false when the plain reader
// hands over to the scanner (restart) or either reports an error.
bool ReadAll(const std::uint8_t* data, std::size_t size, bool scanner, std::vector<std::vector<double>>& lines)
{
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!f) return false;
    CAsciiLineReader reader(f, 0, 1, scanner);
    std::vector<double> v(g_uAsciiMaxColumns);
    unsigned n = 0;
    bool ok = true;
    for (;;) {
        CAsciiLineReader::EResult r = reader.Next(v.data(), n);
        if (r == CAsciiLineReader::EResult::line) {
            lines.emplace_back(v.begin(), v.begin() + n);
            if (lines.size() > 100000) break;
            continue;
        }
        ok = r == CAsciiLineReader::EResult::end;
        break;
    }
    std::fclose(f);
    return ok;
}

bool SameBits(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size()) return false;
        if (!a[i].empty() && std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(double)) != 0) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    std::vector<std::vector<double>> fast, scanned;
    if (ReadAll(data, size, false, fast)) fuzz::Check(ReadAll(data, size, true, scanned) && SameBits(fast, scanned));

    // The table comes from memory, the data set goes to the scratch folder.
    static const std::string out = fuzz::Scratch() + "/out.trx";
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!f) return 0;
    static const SASCImportContext context;
    CString error;
    fuzz::Check(ConvertASCIIToTRX(f, "fuzz input", out.c_str(), context, error) == 0 || !error.IsEmpty());
    std::fclose(f);
    unlink(out.c_str());
    return 0;
}
