#include "formats/spreadsheet/TableWriter.h"

#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// u is approximately v: within 10 % of it; a zero v admits only zero.
bool Approximately(double u, double v)
{
    if (v != 0.0) return std::fabs(1.0 - u / v) < 0.1;
    return u == 0.0;
}

void SetReason(CString* reason, const CString& text)
{
    if (reason) *reason = text;
}

bool RowHoldsRun(const CNumberTable& t, std::size_t k, std::uint32_t firstCol, std::size_t columns)
{
    const CNumberTable::SCell* c = t.Find(k, firstCol);
    // Cells are unique and sorted, so the run is whole when its last column fits.
    return c && std::size_t(t.RowEnd(k) - c) >= columns && c[columns - 1].uCol == firstCol + (columns - 1);
}

// The bottom-most row with a number right of the first column ends the
// block; the unbroken run of numbers ending at its rightmost number gives
// the columns; rows above belong while they hold that whole run.
bool FindBlock(const CNumberTable& t, STableLayout& b)
{
    std::size_t k = t.RowCount();
    const CNumberTable::SCell* last = nullptr;
    while (k > 0) {
        --k;
        const CNumberTable::SCell* candidate = t.RowEnd(k) - 1;
        if (candidate->uCol >= 1) {
            last = candidate;
            break;
        }
    }
    if (!last) return false;
    b.kLast = k;
    b.uLastCol = last->uCol;
    const CNumberTable::SCell* p = last;
    while (p > t.RowBegin(k) && (p - 1)->uCol + 1 == p->uCol) --p;
    b.uFirstCol = p->uCol;
    b.kFirst = k;
    while (b.kFirst > 0 && t.RowNumber(b.kFirst - 1) + 1 == t.RowNumber(b.kFirst) &&
           RowHoldsRun(t, b.kFirst - 1, b.uFirstCol, b.Channels() + 1))
        --b.kFirst;
    return b.kFirst < b.kLast && b.uFirstCol < b.uLastCol;
}

// Ratio of neighbouring band centres: the first ratio snapped to whole bands
// per octave when it is near one (n = ln 2 / ln q rounded), else kept. A
// ratio too close to 1 for any whole count, or below 1, stays as it is.
double RegularRatio(double q)
{
    const double n = std::log(2.0) / std::log(q) + 0.5;
    if (n >= 1.0 && n < double(INT_MAX)) return std::pow(2.0, 1.0 / double(int(n)));
    return q;
}

} // namespace

EAbscissaCase ClassifyAbscissa(const double* v, std::size_t count)
{
    if (count < 2) return EAbscissaCase::None;
    const double a = v[0], b = v[1];
    const double d = b - a, q = b / a;
    bool increasing = a < b, equidistant = true, logarithmic = true;
    for (std::size_t i = 2; i < count; ++i) {
        const double x = v[i], p = v[i - 1];
        if (!(x > p)) increasing = false;
        if (equidistant && !Approximately(x - p, d)) equidistant = false;
        if (logarithmic && !Approximately(x / p, q)) logarithmic = false;
    }
    if (equidistant) return EAbscissaCase::Equidistant;
    if (logarithmic) return EAbscissaCase::Logarithmic;
    if (increasing) return EAbscissaCase::Increasing;
    return EAbscissaCase::None;
}

bool AnalyseTable(const CNumberTable& table, STableLayout& block, CString* reason)
{
    block = STableLayout();
    if (!FindBlock(table, block)) {
        SetReason(reason, "The table holds no block of at least two rows and two columns of numbers.");
        return false;
    }
    const std::size_t scans = block.Scans();
    std::vector<double> abscissa(scans);
    for (std::size_t i = 0; i < scans; ++i) abscissa[i] = table.Find(block.kFirst + i, block.uFirstCol)->dValue;
    block.eCase = ClassifyAbscissa(abscissa.data(), scans);
    if (block.eCase == EAbscissaCase::None) {
        SetReason(reason, CString::Formatted("Column %u (the abscissa) is neither equidistant, nor logarithmic, "
                                             "nor increasing.",
                                             block.uFirstCol + 1));
        return false;
    }
    return true;
}

bool WriteTableToTRX(const CNumberTable& table, const char* output, int dataKind, CString* reason)
{
    STableLayout block;
    if (!AnalyseTable(table, block, reason)) return false;
    const std::size_t scans = block.Scans();
    const std::size_t channels = block.Channels();
    const EAbscissaCase kind = block.eCase;

    // Each row of the block starts at its first column's cell.
    std::vector<const CNumberTable::SCell*> rowStart(scans);
    for (std::size_t i = 0; i < scans; ++i) rowStart[i] = table.Find(block.kFirst + i, block.uFirstCol);

    const CQuantity quantity("frequency");
    const CUnit unit("Hz", 1);
    const double a = rowStart[0]->dValue, b = rowStart[1]->dValue;
    CAbscissa absc;
    int organisation = ds__dorg_interleaved;
    int coordinate = ac__world;
    switch (kind) {
    case EAbscissaCase::Equidistant:
        absc = CAbscissa("Frequency", "f", quantity, unit, a, b - a, long(scans), df__linear);
        break;
    case EAbscissaCase::Logarithmic:
        organisation = ds__dorg_with_abscissa;
        coordinate = ac__band;
        absc = CAbscissa("Frequency", "f", quantity, unit, it__float, long(scans), ac__band);
        break;
    default:
        organisation = ds__dorg_with_abscissa;
        absc = CAbscissa("Frequency", "f", quantity, unit, it__float, long(scans), ac__world);
        break;
    }
    CAbscissaList abscissas;
    abscissas.AddTail(absc);
    CChannelList channelList;
    for (std::size_t c = 0; c < channels; ++c) {
        const CString name = CString::Formatted("Ch%2i", int(c + 1));
        channelList.AddTail(CChannel(name, "", CQuantity(""), CUnit("", 1), it__float, int(c), 1.0, 1.0,
                                     static_cast<const map__dct*>(nullptr)));
    }

    CCreatedOutputs created;
    std::unique_ptr<CDataset> ds;
    auto fail = [&](const CString& text) {
        SetReason(reason, text);
        if (ds) {
            try {
                ds->Close();
            } catch (...) {
            }
            ds.reset();
        }
        created.RemoveAll();
        return false;
    };
    try {
        ds = std::make_unique<CDataset>(output, abscissas, channelList, dataKind, organisation, 0L, 65536L,
                                        sh__deny_write);
        created.Add(output);
        CChNbrList all;
        all.AddGroup(0, int(channels) - 1);
        CAccess* access = ds->CreateAccess(am__readwrite, all);
        if (!access) return fail(ds->GetLastError());
        if (organisation == ds__dorg_with_abscissa && !access->SetAbscissaCoord(coordinate))
            return fail(access->GetLastError());

        // Whole scans in blocks of about 64 KiB, so that memory stays flat
        // however long the table is.
        const std::size_t abscValues = kind == EAbscissaCase::Logarithmic ? 3
                                       : kind == EAbscissaCase::Increasing ? 1
                                                                           : 0;
        const std::size_t scanFloats = abscValues + channels;
        const std::size_t blockScans =
            std::min(scans, std::max<std::size_t>(1, (std::size_t(1) << 16) / (4 * scanFloats)));
        std::vector<float> buffer(blockScans * scanFloats);
        const double ratio = kind == EAbscissaCase::Logarithmic ? RegularRatio(b / a) : 1.0;
        double lower = a / std::sqrt(ratio);
        double upper = lower * ratio;
        for (std::size_t first = 0; first < scans; first += blockScans) {
            const std::size_t n = std::min(blockScans, scans - first);
            float* out = buffer.data();
            for (std::size_t i = first; i < first + n; ++i) {
                const CNumberTable::SCell* cell = rowStart[i];
                if (abscValues == 3) {
                    *out++ = float(lower);
                    *out++ = float(cell->dValue);
                    *out++ = float(upper);
                    lower = upper;
                    upper *= ratio;
                } else if (abscValues == 1) {
                    *out++ = float(cell->dValue);
                }
                for (std::size_t c = 1; c <= channels; ++c) *out++ = float(std::pow(10.0, 0.05 * cell[c].dValue));
            }
            if (access->SetData(long(n), buffer.data(), organisation, it__float) != long(n))
                return fail(access->GetLastError());
        }
        ds->DeleteAccess(access);

        CAbscissa written = ds->GetAbscissa(0);
        written.SetNbrOfScans(long(scans));
        if (!ds->SetAbscissa(0, written)) return fail(ds->GetLastError());
        ds->Close();
        ds.reset();
    } catch (const CDatasetException& e) {
        return fail(e.GetText());
    } catch (const std::bad_alloc&) {
        return fail("Out of memory.");
    }
    created.Keep();
    return true;
}
