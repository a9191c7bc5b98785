#include "formats/spreadsheet/SpreadsheetReader.h"

#include "formats/spreadsheet/XlsxSheet.h"
#include "formats/spreadsheet/XmlCharRefs.h"
#include "formats/spreadsheet/XmlEvents.h"
#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"

#include <freexl.h>
#include <orcus/exception.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ss = orcus::spreadsheet;

namespace {

// Thrown from the cell callbacks when the table is full, to stop the parser.
struct STableFull : std::exception {
    const char* what() const noexcept override { return "the worksheet has more number cells than can be read"; }
};

// Where the cells a reader finds go: the table itself, or the pipe to the
// process that waits for them.
class CCellSink {
public:
    virtual ~CCellSink() = default;
    // Throws STableFull when no more cells may be kept.
    virtual void Add(std::uint32_t row, std::uint32_t col, double value) = 0;
};

class CTableSink : public CCellSink {
public:
    explicit CTableSink(CNumberTable& table) : m_table(table) {}
    void Add(std::uint32_t row, std::uint32_t col, double value) override
    {
        if (!m_table.Set(row, col, value)) throw STableFull();
    }

private:
    CNumberTable& m_table;
};

void Keep(CCellSink& sink, ss::row_t row, ss::col_t col, double value)
{
    if (row < 0 || col < 0) return;
    sink.Add(std::uint32_t(row), std::uint32_t(col), value);
}

// Strings are counted, never kept: a text cell is simply not a number.
class CStringCounter : public ss::iface::import_shared_strings {
public:
    std::size_t append(std::string_view) override { return m_n++; }
    std::size_t add(std::string_view) override { return m_n++; }
    void set_segment_font(std::size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
    void append_segment(std::string_view) override {}
    std::size_t commit_segments() override { return m_n++; }

private:
    std::size_t m_n = 0;
};

// A formula cell is a number when its stored result is one.
class CFormulaResults : public ss::iface::import_formula {
public:
    explicit CFormulaResults(CCellSink* table) : m_table(table) {}
    void set_position(ss::row_t row, ss::col_t col) override
    {
        m_row = row;
        m_col = col;
        m_bNumber = false;
    }
    void set_formula(ss::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(std::size_t) override {}
    void set_result_string(std::string_view) override { m_bNumber = false; }
    void set_result_value(double value) override
    {
        m_value = value;
        m_bNumber = true;
    }
    void set_result_bool(bool) override { m_bNumber = false; }
    void set_result_empty() override { m_bNumber = false; }
    void commit() override
    {
        if (m_bNumber && m_table) Keep(*m_table, m_row, m_col, m_value);
        m_bNumber = false;
    }

private:
    CCellSink* m_table;
    ss::row_t m_row = -1;
    ss::col_t m_col = -1;
    double m_value = 0.0;
    bool m_bNumber = false;
};

// One worksheet: the first one keeps its numbers, the others (table null)
// are read past.
class CSheetCells : public ss::iface::import_sheet {
public:
    explicit CSheetCells(CCellSink* table) : m_table(table), m_formulas(table) {}
    ss::iface::import_formula* get_formula() override { return &m_formulas; }
    void set_auto(ss::row_t, ss::col_t, std::string_view) override {}
    void set_string(ss::row_t, ss::col_t, ss::string_id_t) override {}
    void set_value(ss::row_t row, ss::col_t col, double value) override
    {
        if (m_table) Keep(*m_table, row, col, value);
    }
    void set_bool(ss::row_t, ss::col_t, bool) override {}
    void set_date_time(ss::row_t, ss::col_t, int, int, int, int, int, double) override {}
    void set_format(ss::row_t, ss::col_t, std::size_t) override {}
    void set_format(ss::row_t, ss::col_t, ss::row_t, ss::col_t, std::size_t) override {}
    void fill_down_cells(ss::row_t, ss::col_t, ss::row_t) override {}
    ss::range_size_t get_sheet_size() const override { return {1048576, 16384}; }

private:
    CCellSink* m_table;
    CFormulaResults m_formulas;
};

// Cell addresses in A1 notation ("B7", "$C$12"), which the xlsx reader
// hands over as text; ranges "A1:C7".
class CA1Resolver : public ss::iface::import_reference_resolver {
public:
    ss::src_address_t resolve_address(std::string_view a) override
    {
        ss::src_address_t r{0, 0, 0};
        std::size_t i = 0;
        if (i < a.size() && a[i] == '$') ++i;
        long col = 0;
        const std::size_t letters = i;
        for (; i < a.size() && a[i] >= 'A' && a[i] <= 'Z'; ++i) {
            col = col * 26 + (a[i] - 'A' + 1);
            if (col > 16384) throw orcus::invalid_arg_error("cell address beyond the last column");
        }
        if (i == letters) throw orcus::invalid_arg_error("cell address without a column");
        if (i < a.size() && a[i] == '$') ++i;
        long row = 0;
        const std::size_t digits = i;
        for (; i < a.size() && a[i] >= '0' && a[i] <= '9'; ++i) {
            row = row * 10 + (a[i] - '0');
            if (row > 1048576) throw orcus::invalid_arg_error("cell address beyond the last row");
        }
        if (i == digits || i != a.size() || row == 0) throw orcus::invalid_arg_error("malformed cell address");
        r.row = ss::row_t(row - 1);
        r.column = ss::col_t(col - 1);
        return r;
    }
    ss::src_range_t resolve_range(std::string_view range) override
    {
        const std::size_t colon = range.find(':');
        ss::src_range_t r;
        r.first = resolve_address(range.substr(0, colon));
        r.last = colon == std::string_view::npos ? r.first : resolve_address(range.substr(colon + 1));
        return r;
    }
};

class CFirstSheetFactory : public ss::iface::import_factory {
public:
    explicit CFirstSheetFactory(CCellSink& sink) : m_first(&sink), m_other(nullptr) {}
    ss::iface::import_shared_strings* get_shared_strings() override { return &m_strings; }
    ss::iface::import_reference_resolver* get_reference_resolver(ss::formula_ref_context_t) override
    {
        return &m_resolver;
    }
    ss::iface::import_sheet* append_sheet(ss::sheet_t index, std::string_view name) override
    {
        if (index != 0) return &m_other;
        m_sFirstName = name;
        return &m_first;
    }
    // The xlsx reader finds a sheet by its name when it reads its cells.
    ss::iface::import_sheet* get_sheet(std::string_view name) override
    {
        return name == m_sFirstName ? &m_first : &m_other;
    }
    ss::iface::import_sheet* get_sheet(ss::sheet_t index) override { return index == 0 ? &m_first : &m_other; }
    void finalize() override {}

private:
    CStringCounter m_strings;
    CA1Resolver m_resolver;
    std::string m_sFirstName;
    CSheetCells m_first;
    CSheetCells m_other;
};

// liborcus's ods importer asserts (and so ends the process) when a style
// nests in a style, or when column or row properties sit in a style of
// another family. Those parts are looked over with expat first; names are
// matched without their prefix, so a file that plays tricks with prefixes is
// refused rather than let through.
class COdsStyleCheck : public CXmlEvents {
public:
    void StartElement(std::string_view name, const std::vector<SXmlAttribute>& attributes) override
    {
        m_family.clear();
        for (const SXmlAttribute& a : attributes)
            if (a.name == "family") m_family.assign(a.value);
        const bool style = name == "style" || name == "default-style";
        if (style) {
            if (m_depth > 0) throw SOdsRefused("a style inside a style");
            m_currentFamily = m_family;
        } else if (name == "table-column-properties" || name == "table-row-properties") {
            const bool column = name == "table-column-properties";
            if (m_depth == 0 || m_currentFamily != (column ? "table-column" : "table-row"))
                throw SOdsRefused(column ? "column properties in a style of another family"
                                         : "row properties in a style of another family");
        }
        if (m_depth > 0 || style) ++m_depth;
    }
    void EndElement(std::string_view) override
    {
        if (m_depth > 0) --m_depth;
    }

    struct SOdsRefused : std::exception {
        explicit SOdsRefused(const char* t) : text(t) {}
        const char* what() const noexcept override { return text; }
        const char* text;
    };

private:
    std::string m_family, m_currentFamily;
    std::size_t m_depth = 0;  // elements open inside the innermost style, the style included
};

// False with `reason` when the reader refuses the content.
bool SendOdsCells(std::string_view content, CCellSink& sink, std::string& reason)
{
    try {
        // The parts the importer reads go past its XML parser's assertion
        // first.
        orcus::zip_archive_stream_blob stream(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
        orcus::zip_archive zip(&stream);
        zip.load();
        std::vector<unsigned char> part;
        for (const char* name : {"content.xml", "styles.xml"}) {
            part.clear();
            if (!zip.read_file_entry(name, part)) continue;
            // The zip reader puts a NUL behind the part.
            std::size_t size = part.size();
            if (size > 0 && part.back() == 0) --size;
            if (!CharacterReferencesValid(reinterpret_cast<const char*>(part.data()), size)) {
                reason = std::string(name) + " holds a character reference that names no character";
                return false;
            }
            try {
                COdsStyleCheck check;
                ParseXml(reinterpret_cast<const char*>(part.data()), size, check, name);
            } catch (const COdsStyleCheck::SOdsRefused& e) {
                reason = std::string(name) + ": " + e.what();
                return false;
            }
        }
        part.clear();
        part.shrink_to_fit();
        CFirstSheetFactory factory(sink);
        orcus::orcus_ods reader(&factory);
        reader.read_stream(content);
    } catch (const std::exception& e) {
        reason = e.what();
        return false;
    } catch (...) {
        reason = "the reader gave up";
        return false;
    }
    return true;
}

ESheetRead ReadXlsx(std::string_view content, CNumberTable& table, CString& reason)
{
    return ReadXlsxFirstSheet(content, table, reason) ? ESheetRead::Ok : ESheetRead::Unreadable;
}

struct SFreeXL {
    const void* h = nullptr;
    ~SFreeXL()
    {
        if (h) freexl_close(h);
    }
};

// What a reading process sends: number cells, and at most one failure record
// (row kFailure, column the length of the text that follows it) before it
// gives up.
struct SCellRecord {
    std::uint32_t uRow;
    std::uint32_t uCol;
    double dValue;
};
constexpr std::uint32_t kFailure = 0xFFFFFFFFu;

// The cells in batches down the pipe. The process that reads the file keeps
// the table's limit itself, so that a file promising billions of cells ends
// there instead of flooding the pipe.
class CPipeSink : public CCellSink {
public:
    CPipeSink(const ChildProcess::Sender& send, std::size_t maxCells) : m_send(send), m_left(maxCells)
    {
        m_batch.reserve(4096);
    }
    void Add(std::uint32_t row, std::uint32_t col, double value) override
    {
        if (m_left == 0) throw STableFull();
        --m_left;
        m_batch.push_back({row, col, value});
        if (m_batch.size() == m_batch.capacity() && !Flush()) throw SPipeClosed();
    }
    bool Flush()
    {
        const bool ok = m_batch.empty() || m_send(m_batch.data(), m_batch.size() * sizeof(SCellRecord));
        m_batch.clear();
        return ok;
    }
    int Fail(const std::string& text)
    {
        if (!Flush()) return 1;
        const SCellRecord r{kFailure, std::uint32_t(text.size()), 0.0};
        m_send(&r, sizeof r);
        m_send(text.data(), text.size());
        return 1;
    }

    struct SPipeClosed : std::exception {};

private:
    const ChildProcess::Sender& m_send;
    std::vector<SCellRecord> m_batch;
    std::size_t m_left;
};

// libfreexl: the first worksheet's number cells, or a failure text.
bool SendXlsCells(const char* path, CCellSink& sink, std::string& reason)
{
    auto fail = [&](const char* what, int rc) {
        reason = CString::Formatted("%s (freexl error %d)", what, rc).str();
        return false;
    };
    SFreeXL x;
    int rc = freexl_open(path, &x.h);
    if (rc != FREEXL_OK) return fail("not a readable xls file", rc);
    unsigned info = 0;
    if (freexl_get_info(x.h, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info != FREEXL_BIFF_PLAIN)
        return fail("the workbook is protected by a password", 0);
    unsigned sheets = 0;
    if ((rc = freexl_get_info(x.h, FREEXL_BIFF_SHEET_COUNT, &sheets)) != FREEXL_OK)
        return fail("the worksheets cannot be listed", rc);
    if (sheets == 0) return true;
    if ((rc = freexl_select_active_worksheet(x.h, 0)) != FREEXL_OK)
        return fail("the first worksheet cannot be read", rc);
    unsigned rows = 0;
    unsigned short cols = 0;
    if ((rc = freexl_worksheet_dimensions(x.h, &rows, &cols)) != FREEXL_OK)
        return fail("the first worksheet has no dimensions", rc);
    for (unsigned r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < cols; ++c) {
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(x.h, r, c, &cell) != FREEXL_OK) continue;
            if (cell.type == FREEXL_CELL_INT)
                sink.Add(r, c, double(cell.value.int_value));
            else if (cell.type == FREEXL_CELL_DOUBLE)
                sink.Add(r, c, cell.value.double_value);
        }
    }
    return true;
}

// Runs a reader of a foreign library in a process of its own: libfreexl has
// memory faults on crafted xls files, and liborcus's ods importer stops on
// assertions with crafted content; neither may take the host's process
// down. A reader that dies, or sends nothing for a minute, is a file that
// could not be read.
ESheetRead ReadIsolated(const char* kind, CNumberTable& table, CString& reason,
                        const std::function<bool(CCellSink&, std::string&)>& read)
{
    std::string pending, failureText;
    std::size_t textLeft = 0;
    bool failed = false, full = false;
    auto receive = [&](const void* data, std::size_t size) {
        pending.append(static_cast<const char*>(data), size);
        std::size_t used = 0;
        while (used < pending.size()) {
            if (textLeft > 0) {
                const std::size_t n = std::min(textLeft, pending.size() - used);
                failureText.append(pending, used, n);
                used += n;
                textLeft -= n;
                continue;
            }
            if (pending.size() - used < sizeof(SCellRecord)) break;
            SCellRecord r;
            std::memcpy(&r, pending.data() + used, sizeof r);
            used += sizeof r;
            if (r.uRow == kFailure) {
                failed = true;
                textLeft = std::min<std::size_t>(r.uCol, 4096);
            } else if (!full && !table.Set(r.uRow, r.uCol, r.dValue)) {
                full = true;
            }
        }
        pending.erase(0, used);
    };
    const std::size_t maxCells = table.MaxCells();
    std::string childFailure;
    const bool ran = ChildProcess::RunIsolated(
        [&](const ChildProcess::Sender& send) {
            CPipeSink sink(send, maxCells);
            std::string why;
            try {
                if (!read(sink, why)) return sink.Fail(why);
            } catch (const STableFull& e) {
                return sink.Fail(e.what());
            } catch (const CPipeSink::SPipeClosed&) {
                return 1;
            }
            return sink.Flush() ? 0 : 1;
        },
        receive, childFailure);
    if (failed) {
        reason = failureText.empty() ? std::string("the reader gave up") : failureText;
        return ESheetRead::Unreadable;
    }
    if (!ran) {
        reason = CString::Formatted("the %s reader failed on this file: %s", kind, childFailure.c_str());
        return ESheetRead::Unreadable;
    }
    if (full) {
        reason = STableFull().what();
        return ESheetRead::Unreadable;
    }
    table.Finish();
    return ESheetRead::Ok;
}

ESheetRead ReadWithFreeXL(const char* path, CNumberTable& table, CString& reason)
{
    return ReadIsolated("xls", table, reason,
                        [path](CCellSink& sink, std::string& why) { return SendXlsCells(path, sink, why); });
}

ESheetRead ReadOds(std::string_view content, CNumberTable& table, CString& reason)
{
    return ReadIsolated("ods", table, reason,
                        [content](CCellSink& sink, std::string& why) { return SendOdsCells(content, sink, why); });
}

bool ReadWhole(const char* path, std::string& content, CString& reason)
{
    FileSystem::CFile f;
    if (!f.Open(path, false, FileSystem::EShare::Read)) {
        reason = std::strerror(f.GetError().iErrno);
        return false;
    }
    const long long size = f.GetSize();
    content.reserve(size > 0 ? std::size_t(size) : 0);
    char buffer[1 << 16];
    for (;;) {
        const long long n = f.Read(buffer, sizeof buffer);
        if (n < 0) {
            reason = std::strerror(f.GetError().iErrno);
            return false;
        }
        if (n == 0) return true;
        content.append(buffer, std::size_t(n));
    }
}

std::uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t Le16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }

// Deflate cannot expand data by more than about 1032:1, and a stored entry
// not at all: an entry that claims more is damaged (or a bomb), and the zip
// reader would allocate the claimed size before it finds out.
bool SizesPossible(std::uint16_t method, std::uint32_t compressed, std::uint32_t uncompressed, std::size_t file)
{
    if (compressed > file || compressed == 0xFFFFFFFFu || uncompressed == 0xFFFFFFFFu) return false;
    if (method == 0) return uncompressed <= compressed;
    return std::uint64_t(uncompressed) <= std::uint64_t(compressed) * 1032u + 1024u;
}

bool ZipEntriesPlausible(const unsigned char* p, std::size_t size)
{
    if (size < 22) return false;
    std::size_t eocd = size - 22;
    const std::size_t lowest = size > 22 + 65535 ? size - 22 - 65535 : 0;
    while (Le32(p + eocd) != 0x06054b50u) {
        if (eocd == lowest) return false;
        --eocd;
    }
    // The zip reader may go by either count, or by the records it finds in
    // the directory's bytes: every one of them is checked.
    const std::size_t entries = std::max(Le16(p + eocd + 8), Le16(p + eocd + 10));
    const std::size_t cdSize = Le32(p + eocd + 12), cdOffset = Le32(p + eocd + 16);
    if (cdOffset > size || cdSize > size - cdOffset) return false;
    // Nor does it stop at the directory's stated size.
    std::size_t pos = cdOffset;
    for (std::size_t i = 0; i < entries || (pos + 4 <= size && Le32(p + pos) == 0x02014b50u); ++i) {
        if (pos + 46 > size || Le32(p + pos) != 0x02014b50u) return false;
        const std::uint16_t method = Le16(p + pos + 10);
        if (!SizesPossible(method, Le32(p + pos + 20), Le32(p + pos + 24), size)) return false;
        const std::size_t local = Le32(p + pos + 42);
        if (local + 30 > size || Le32(p + local) != 0x04034b50u) return false;
        const std::uint32_t lc = Le32(p + local + 18), lu = Le32(p + local + 22);
        if ((lc != 0 || lu != 0) && !SizesPossible(Le16(p + local + 8), lc, lu, size)) return false;
        pos += 46 + std::size_t(Le16(p + pos + 28)) + Le16(p + pos + 30) + Le16(p + pos + 32);
    }
    return true;
}

} // namespace

ESheetType DetectSheetType(const void* data, std::size_t size)
{
    static const unsigned char kOle2[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    const auto* p = static_cast<const unsigned char*>(data);
    if (size >= 8 && std::memcmp(p, kOle2, 8) == 0) return ESheetType::Xls;
    if (size < 4 || std::memcmp(p, "PK\x03\x04", 4) != 0) return ESheetType::Unknown;
    if (!ZipEntriesPlausible(p, size)) return ESheetType::Damaged;
    orcus::zip_archive_stream_blob stream(p, size);
    std::unique_ptr<orcus::zip_archive> zip;
    try {
        zip = std::make_unique<orcus::zip_archive>(&stream);
        zip->load();
    } catch (...) {
        return ESheetType::Damaged;
    }
    // By the package's own declarations, without an XML parser: the ods
    // mimetype entry, or the workbook's content type among the xlsx package's
    // content types.
    try {
        std::vector<unsigned char> entry;
        if (zip->read_file_entry("mimetype", entry)) {
            // The zip reader hands entries over with a NUL behind them.
            std::string_view mime(reinterpret_cast<const char*>(entry.data()), entry.size());
            while (!mime.empty() && (mime.back() == '\0' || mime.back() == '\n' || mime.back() == '\r' || mime.back() == ' '))
                mime.remove_suffix(1);
            return mime == "application/vnd.oasis.opendocument.spreadsheet" ? ESheetType::Ods : ESheetType::Unknown;
        }
        entry.clear();
        if (zip->read_file_entry("[Content_Types].xml", entry)) {
            const std::string_view types(reinterpret_cast<const char*>(entry.data()), entry.size());
            for (const char* main : {"spreadsheetml.sheet.main+xml", "spreadsheetml.template.main+xml",
                                     "ms-excel.sheet.macroEnabled.main+xml", "ms-excel.template.macroEnabled.main+xml"})
                if (types.find(main) != std::string_view::npos) return ESheetType::Xlsx;
        }
        return ESheetType::Unknown;
    } catch (...) {
        return ESheetType::Unknown;
    }
}

ESheetRead ReadFirstWorksheet(const char* path, CNumberTable& table, CString& reason)
{
    std::string content;
    if (!path || !ReadWhole(path, content, reason)) return ESheetRead::Unreadable;
    const ESheetType type = DetectSheetType(content.data(), content.size());
    switch (type) {
    case ESheetType::Damaged: reason = "the zip container is damaged"; return ESheetRead::Unreadable;
    case ESheetType::Xlsx: return ReadXlsx(content, table, reason);
    case ESheetType::Ods: return ReadOds(content, table, reason);
    case ESheetType::Xls:
        content.clear();
        content.shrink_to_fit();
        return ReadWithFreeXL(path, table, reason);
    default: reason = "not an xlsx, ods or xls file"; return ESheetRead::NoReader;
    }
}

ESheetRead ReadFirstWorksheetFromMemory(const void* data, std::size_t size, CNumberTable& table, CString& reason)
{
    const ESheetType type = DetectSheetType(data, size);
    switch (type) {
    case ESheetType::Damaged: reason = "the zip container is damaged"; return ESheetRead::Unreadable;
    case ESheetType::Xlsx:
        return ReadXlsx(std::string_view(static_cast<const char*>(data), size), table, reason);
    case ESheetType::Ods:
        return ReadOds(std::string_view(static_cast<const char*>(data), size), table, reason);
    case ESheetType::Xls: {
        // The xls reader takes only a path.
        const CString path = FileSystem::MakeTempFile(nullptr, "tessel-xls");
        if (path.IsEmpty()) {
            reason = "no temporary file";
            return ESheetRead::Unreadable;
        }
        ESheetRead r = ESheetRead::Unreadable;
        FileSystem::CFile f;
        if (f.Open(path, true, FileSystem::EShare::None) && f.Write(data, size)) {
            f.Close();
            r = ReadWithFreeXL(path, table, reason);
        } else {
            reason = "the temporary file cannot be written";
        }
        FileSystem::RemoveFile(path);
        return r;
    }
    default: reason = "not an xlsx, ods or xls file"; return ESheetRead::NoReader;
    }
}

ESheetRead ReadOdsInThisProcess(const void* data, std::size_t size, CNumberTable& table, CString& reason)
{
    CTableSink sink(table);
    std::string why;
    try {
        if (!SendOdsCells(std::string_view(static_cast<const char*>(data), size), sink, why)) {
            reason = why;
            return ESheetRead::Unreadable;
        }
    } catch (const STableFull& e) {
        reason = e.what();
        return ESheetRead::Unreadable;
    }
    table.Finish();
    return ESheetRead::Ok;
}
