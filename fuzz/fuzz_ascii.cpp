// ASCII import from any bytes. Two findings count: a crash or hang of the whole
// conversion (header scan, both passes, data set writing), and any line on
// which the plain-line reader and the token scanner disagree: whenever the
// plain reader takes a table, the scanner must read the very same numbers
// from it.

#include "FuzzSupport.h"
#include "formats/ascii/AsciiLineReader.h"
#include "formats/ascii/TS_ASCIIImport.h"

namespace {

// The lines of a table as one reader gives them, as bit patterns (so that
// NaNs and signed zeros compare too); false when the plain reader hands over
// to the scanner (restart) or either reports an error.
using Lines = std::vector<std::vector<std::uint64_t>>;
bool ReadAll(const std::uint8_t* data, std::size_t size, bool scanner, Lines& lines)
{
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!f) return false;
    CAsciiLineReader reader(f, 0, 1, scanner);
    std::vector<double> v(g_uAsciiMaxColumns);
    unsigned n = 0;
    CAsciiLineReader::EResult r;
    while ((r = reader.Next(v.data(), n)) == CAsciiLineReader::EResult::line && lines.size() < 100000) {
        lines.emplace_back(n);
        std::memcpy(lines.back().data(), v.data(), n * sizeof(double));
    }
    std::fclose(f);
    return r == CAsciiLineReader::EResult::line || r == CAsciiLineReader::EResult::end;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    Lines fast, scanned;
    if (ReadAll(data, size, false, fast)) fuzz::Check(ReadAll(data, size, true, scanned) && fast == scanned);

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
