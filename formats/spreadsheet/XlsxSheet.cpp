#include "formats/spreadsheet/XlsxSheet.h"

#include "formats/spreadsheet/XmlEvents.h"

#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <charconv>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct SReadFailure : std::exception {
    explicit SReadFailure(std::string t) : text(std::move(t)) {}
    const char* what() const noexcept override { return text.c_str(); }
    std::string text;
};

struct SAttribute {
    std::string name, value;
    bool bPrefixed;
};

// Handlers look an element's attributes up while they handle its start.
class CAttributeCollector : public CXmlEvents {
public:
    void StartElement(std::string_view name, const std::vector<SXmlAttribute>& attributes) override
    {
        m_attrs.clear();
        for (const SXmlAttribute& a : attributes)
            m_attrs.push_back({std::string(a.name), std::string(a.value), a.bPrefixed});
        Start(name);
    }
    void EndElement(std::string_view name) override { End(name); }

protected:
    virtual void Start(std::string_view name) = 0;
    virtual void End(std::string_view) {}
    const std::string* Find(std::string_view name, bool prefixed = false) const
    {
        for (const SAttribute& a : m_attrs)
            if (a.name == name && (!prefixed || a.bPrefixed)) return &a.value;
        return nullptr;
    }
    std::vector<SAttribute> m_attrs;
};

struct SRelationship {
    std::string id, type, target;
};

class CRelationshipsHandler : public CAttributeCollector {
public:
    void Start(std::string_view name) override
    {
        if (name == "Relationship") {
            const std::string *id = Find("Id"), *type = Find("Type"), *target = Find("Target"),
                              *mode = Find("TargetMode");
            if (id && type && target && !(mode && *mode == "External")) rels.push_back({*id, *type, *target});
        }
    }
    std::vector<SRelationship> rels;
};

// The relationship ids of the workbook's sheets, in tab order.
class CWorkbookHandler : public CAttributeCollector {
public:
    void Start(std::string_view name) override
    {
        if (name == "sheet")
            if (const std::string* id = Find("id", true)) sheetIds.push_back(*id);
    }
    std::vector<std::string> sheetIds;
};

// Whether a number format shows a date or a time. Built-in formats by their
// number (ECMA-376 Part 1, 18.8.30: 14-22 and 45-47, and the East Asian date
// formats 27-36 and 50-58); a workbook's own formats by their code: its first
// section, without quoted text, escaped characters, fill and padding
// characters and bracketed colours or locales (but with elapsed [h], [m],
// [s]), holds a day, month, year, hour or second token.
bool IsDateFormatCode(std::string_view code)
{
    code = code.substr(0, code.find(';'));
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') {
            const std::size_t close = code.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            i = close;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == '[') {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos) return false;
            const std::string_view inner = code.substr(i + 1, close - i - 1);
            if (!inner.empty() && inner.find_first_not_of(inner[0]) == std::string_view::npos &&
                (inner[0] == 'h' || inner[0] == 'H' || inner[0] == 'm' || inner[0] == 'M' || inner[0] == 's' ||
                 inner[0] == 'S'))
                return true;
            i = close;
        } else {
            switch (c) {
            case 'd': case 'D': case 'm': case 'M': case 'y': case 'Y': case 'h': case 'H': case 's': case 'S':
                return true;
            default: break;
            }
        }
    }
    return false;
}

bool IsBuiltInDateFormat(unsigned id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

// The cell formats (cellXfs) of the styles part: which of them show dates.
class CStylesHandler : public CAttributeCollector {
public:
    void Start(std::string_view name) override
    {
        if (name == "numFmt") {
            const std::string *id = Find("numFmtId"), *code = Find("formatCode");
            unsigned n = 0;
            if (id && code && ParseUnsigned(*id, n)) m_custom.push_back({n, IsDateFormatCode(*code)});
        } else if (name == "cellXfs") {
            m_bInCellXfs = true;
        } else if (name == "xf" && m_bInCellXfs) {
            const std::string* id = Find("numFmtId");
            unsigned n = 0;
            dateStyles.push_back(id && ParseUnsigned(*id, n) && IsDate(n));
        }
    }
    void End(std::string_view name) override
    {
        if (name == "cellXfs") m_bInCellXfs = false;
    }
    std::vector<bool> dateStyles;

private:
    static bool ParseUnsigned(const std::string& text, unsigned& n)
    {
        const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
        return r.ec == std::errc() && r.ptr == text.data() + text.size();
    }
    // A workbook may give a built-in number a code of its own; its code wins.
    bool IsDate(unsigned id) const
    {
        for (const auto& [n, date] : m_custom)
            if (n == id) return date;
        return IsBuiltInDateFormat(id);
    }
    std::vector<std::pair<unsigned, bool>> m_custom;
    bool m_bInCellXfs = false;
};

// Column and row of an A1 address; false when it is not one.
bool ParseA1(std::string_view a, std::uint32_t& row, std::uint32_t& col)
{
    std::size_t i = 0;
    std::uint64_t c = 0, r = 0;
    for (; i < a.size() && a[i] >= 'A' && a[i] <= 'Z'; ++i) {
        c = c * 26 + std::uint64_t(a[i] - 'A' + 1);
        if (c > 16384) return false;
    }
    const std::size_t letters = i;
    for (; i < a.size() && a[i] >= '0' && a[i] <= '9'; ++i) {
        r = r * 10 + std::uint64_t(a[i] - '0');
        if (r > 1048576) return false;
    }
    if (letters == 0 || i == letters || i != a.size() || r == 0) return false;
    row = std::uint32_t(r - 1);
    col = std::uint32_t(c - 1);
    return true;
}

class CSheetHandler : public CXmlEvents {
public:
    CSheetHandler(CNumberTable& table, const std::vector<bool>& dateStyles)
        : m_table(table), m_dateStyles(dateStyles) {}

    void StartElement(std::string_view name, const std::vector<SXmlAttribute>& attributes) override
    {
        for (const SXmlAttribute& a : attributes) Attribute(a);
        Start(name);
    }

    void EndElement(std::string_view name) override
    {
        if (name == "v") {
            m_bInValue = false;
        } else if (name == "c") {
            m_bInCell = false;
            if (m_bNumeric && !m_value.empty()) Keep();
        }
    }

    void Text(std::string_view text) override
    {
        if (m_bInValue) m_value.append(text);
    }

private:
    void Attribute(const SXmlAttribute& a)
    {
        if (a.name == "r") {
            m_r.assign(a.value);
            m_bHaveR = true;
        } else if (a.name == "t") {
            m_t.assign(a.value);
        } else if (a.name == "s") {
            std::size_t style = 0;
            const auto res = std::from_chars(a.value.data(), a.value.data() + a.value.size(), style);
            m_bDateStyle = res.ec == std::errc() && style < m_dateStyles.size() && m_dateStyles[style];
        }
    }
    void Start(std::string_view name)
    {
        if (name == "c") {
            std::uint32_t row = m_row, col = m_bFirstInRow ? 0 : m_col + 1;
            if (m_bHaveR && !ParseA1(m_r, row, col)) throw SReadFailure("malformed cell address \"" + m_r + "\"");
            m_row = row;
            m_col = col;
            m_bFirstInRow = false;
            // A number shown as a date or time is handed over as a date, and
            // a date is not a number to the table writer.
            m_bNumeric = (m_t.empty() || m_t == "n") && !m_bDateStyle;
            m_value.clear();
            m_bInCell = true;
        } else if (name == "v") {
            m_bInValue = m_bInCell;
        } else if (name == "row") {
            std::uint64_t r = m_bAnyRow ? std::uint64_t(m_row) + 1 : 0;
            if (m_bHaveR) {
                const auto res = std::from_chars(m_r.data(), m_r.data() + m_r.size(), r);
                if (res.ec != std::errc() || res.ptr != m_r.data() + m_r.size() || r == 0 || r > 1048576)
                    throw SReadFailure("malformed row number \"" + m_r + "\"");
                --r;
            }
            if (r > 1048575) throw SReadFailure("more rows than a worksheet holds");
            m_row = std::uint32_t(r);
            m_bAnyRow = true;
            m_bFirstInRow = true;
        }
        m_bHaveR = false;
        m_bDateStyle = false;
        m_t.clear();
    }

    void Keep()
    {
        const char* b = m_value.data();
        const char* e = b + m_value.size();
        while (b < e && (*b == ' ' || *b == '\t' || *b == '\n' || *b == '\r')) ++b;
        while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\n' || e[-1] == '\r')) --e;
        if (b < e && *b == '+') ++b;
        double v = 0.0;
        const auto res = std::from_chars(b, e, v);
        // A value that is no number leaves the cell out, as text would be.
        if (res.ec != std::errc() || res.ptr != e) return;
        if (!m_table.Set(m_row, m_col, v)) throw SReadFailure("the worksheet has more number cells than can be read");
    }

    CNumberTable& m_table;
    const std::vector<bool>& m_dateStyles;
    bool m_bDateStyle = false;
    std::string m_r, m_t, m_value;
    bool m_bHaveR = false;
    bool m_bNumeric = false, m_bInCell = false, m_bInValue = false;
    bool m_bAnyRow = false, m_bFirstInRow = true;
    std::uint32_t m_row = 0, m_col = 0;
};

std::vector<unsigned char> ReadPart(const orcus::zip_archive& zip, const std::string& name)
{
    std::vector<unsigned char> buf;
    if (!zip.read_file_entry(name, buf)) throw SReadFailure("the part " + name + " is missing");
    return buf;
}

// The zip reader puts a NUL behind every part it unpacks; it is no part of
// the XML.
void Parse(const std::vector<unsigned char>& xml, CXmlEvents& handler, const std::string& name)
{
    std::size_t size = xml.size();
    if (size > 0 && xml.back() == 0) --size;
    ParseXml(reinterpret_cast<const char*>(xml.data()), size, handler, name.c_str());
}

// The relationships of a part ("xl/workbook.xml" → "xl/_rels/workbook.xml.rels").
std::vector<SRelationship> RelationshipsOf(const orcus::zip_archive& zip, const std::string& part)
{
    const std::size_t slash = part.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : part.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
    CRelationshipsHandler h;
    const std::string rels = dir + "_rels/" + file + ".rels";
    Parse(ReadPart(zip, rels), h, rels);
    return std::move(h.rels);
}

// A target relative to the directory of `source`, or absolute in the package.
std::string Resolve(const std::string& source, const std::string& target)
{
    std::string path;
    if (!target.empty() && target[0] == '/') {
        path = target.substr(1);
    } else {
        const std::size_t slash = source.rfind('/');
        path = (slash == std::string::npos ? "" : source.substr(0, slash + 1)) + target;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string seg = path.substr(start, end - start);
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

bool EndsWith(const std::string& s, std::string_view tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

bool ReadXlsxFirstSheet(std::string_view content, CNumberTable& table, CString& reason)
{
    try {
        orcus::zip_archive_stream_blob stream(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
        orcus::zip_archive zip(&stream);
        zip.load();

        std::string workbook;
        for (const SRelationship& r : RelationshipsOf(zip, ""))
            if (EndsWith(r.type, "/officeDocument")) {
                workbook = Resolve("", r.target);
                break;
            }
        if (workbook.empty()) throw SReadFailure("the package names no workbook");

        CWorkbookHandler wb;
        Parse(ReadPart(zip, workbook), wb, workbook);
        const std::vector<SRelationship> rels = RelationshipsOf(zip, workbook);
        // The first worksheet in tab order; chart sheets are not worksheets.
        std::string sheet;
        for (const std::string& id : wb.sheetIds) {
            for (const SRelationship& r : rels)
                if (r.id == id && EndsWith(r.type, "/worksheet")) sheet = Resolve(workbook, r.target);
            if (!sheet.empty()) break;
        }
        // Styles say which cells show dates; a workbook without them has none.
        std::vector<bool> dateStyles;
        for (const SRelationship& r : rels)
            if (EndsWith(r.type, "/styles")) {
                CStylesHandler styles;
                const std::string part = Resolve(workbook, r.target);
                Parse(ReadPart(zip, part), styles, part);
                dateStyles = std::move(styles.dateStyles);
                break;
            }
        if (!sheet.empty()) {
            CSheetHandler h(table, dateStyles);
            Parse(ReadPart(zip, sheet), h, sheet);
        }
    } catch (const std::exception& e) {
        reason = e.what();
        return false;
    }
    table.Finish();
    return true;
}
