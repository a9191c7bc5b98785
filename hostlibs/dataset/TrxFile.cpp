#include "hostlibs/dataset/TrxFile.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <limits>

using nlohmann::json;

namespace trx {
namespace {

// Texts are Windows-1252 bytes; the description stores them as the Unicode
// characters they stand for (bytes without a character map to U+0080..U+009F).
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string ToUtf8(const CString& s)
{
    std::string out;
    out.reserve(std::size_t(s.GetLength()));
    for (unsigned char c : s.str()) {
        unsigned cp = c;
        if (c >= 0x80 && c < 0xA0) cp = kCp1252High[c - 0x80];
        AppendUtf8(out, cp);
    }
    return out;
}

// The parser has checked the UTF-8 already; characters outside
// Windows-1252 become "?".
CString FromUtf8(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        unsigned cp;
        std::size_t n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
        else { cp = c & 0x07; n = 4; }
        if (i + n > s.size()) break;
        for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) { out += char(cp); continue; }
        char b = '?';
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] == cp) b = char(0x80 + k);
        out += b;
    }
    return CString(std::move(out));
}

[[noreturn]] void Fail(const CString& path, const char* what)
{
    throw CDatasetException(CString::Formatted("TRX data set %s: %s", path.c_str(), what));
}

// Field readers that name what is wrong.
struct CReader {
    const CString& path;

    const json& Need(const json& o, const char* key) const
    {
        if (!o.is_object()) Fail(path, "description: an object was expected");
        auto it = o.find(key);
        if (it == o.end()) Fail(path, CString::Formatted("description: field \"%s\" is missing", key).c_str());
        return *it;
    }
    bool Has(const json& o, const char* key) const { return o.is_object() && o.contains(key); }
    double Num(const json& o, const char* key) const
    {
        const json& v = Need(o, key);
        if (!v.is_number()) Fail(path, CString::Formatted("description: field \"%s\" is not a number", key).c_str());
        double d = v.get<double>();
        if (!std::isfinite(d)) Fail(path, CString::Formatted("description: field \"%s\" is not finite", key).c_str());
        return d;
    }
    double Num(const json& o, const char* key, double dflt) const { return Has(o, key) ? Num(o, key) : dflt; }
    long long Int(const json& o, const char* key, long long lo, long long hi) const
    {
        const json& v = Need(o, key);
        if (!v.is_number_integer())
            Fail(path, CString::Formatted("description: field \"%s\" is not an integer", key).c_str());
        long long i = v.is_number_unsigned() ? (v.get<unsigned long long>() > (unsigned long long)hi
                                                    ? hi + 1 : (long long)v.get<unsigned long long>())
                                             : v.get<long long>();
        if (i < lo || i > hi)
            Fail(path, CString::Formatted("description: field \"%s\" is out of range (%lld)", key, i).c_str());
        return i;
    }
    long long Int(const json& o, const char* key, long long lo, long long hi, long long dflt) const
    {
        return Has(o, key) ? Int(o, key, lo, hi) : dflt;
    }
    CString Text(const json& o, const char* key) const
    {
        if (!Has(o, key)) return "";
        const json& v = o.at(key);
        if (!v.is_string()) Fail(path, CString::Formatted("description: field \"%s\" is not a text", key).c_str());
        return FromUtf8(v.get<std::string>());
    }
    bool Bool(const json& o, const char* key) const
    {
        const json& v = Need(o, key);
        if (!v.is_boolean()) Fail(path, CString::Formatted("description: field \"%s\" is not true or false", key).c_str());
        return v.get<bool>();
    }
};

json MappingJson(const CMapping& m)
{
    if (m.IsLinear()) return json{{"factor", m.GetFactor()}, {"offset", m.GetOffset()}};
    double x1, x2, y1, y2;
    m.GetPoints(x1, x2, y1, y2);
    return json{{"x1", x1}, {"x2", x2}, {"type_x", m.GetTypeX()}, {"y1", y1}, {"y2", y2}, {"type_y", m.GetTypeY()}};
}

CMapping MappingFrom(const CReader& r, const json& o)
{
    if (r.Has(o, "type_x")) {
        CMapping m(r.Num(o, "x1"), r.Num(o, "x2"), int(r.Int(o, "type_x", 1, 2)), r.Num(o, "y1"), r.Num(o, "y2"),
                   int(r.Int(o, "type_y", 1, 2)));
        if (!m.IsValid()) Fail(r.path, "description: a mapping has coinciding or impossible points");
        return m;
    }
    map__dct rec;
    rec.m_dFactor = r.Num(o, "factor");
    rec.m_dOffset = r.Num(o, "offset");
    if (rec.m_dFactor == 0.0) Fail(r.path, "description: a mapping has the factor 0");
    return CMapping(rec);
}

CUnit UnitFrom(const CString& text) { return CUnit(text.c_str(), 1); }
CQuantity QuantityFrom(const CString& text) { return CQuantity(text.c_str()); }

json TagsJson(const CTags& tags)
{
    json o = json::object();
    for (const auto& [name, v] : tags.GetAll()) {
        json e;
        switch (v.GetType()) {
        case CTagValue::Bool: e = {{"bool", v.GetBool()}}; break;
        case CTagValue::Int: e = {{"int", v.GetInt()}}; break;
        case CTagValue::Double: e = {{"double", v.GetDouble()}}; break;
        case CTagValue::Text: e = {{"text", ToUtf8(v.GetText())}}; break;
        }
        o[ToUtf8(CString(name))] = e;
    }
    return o;
}

CTags TagsFrom(const CReader& r, const json& o)
{
    CTags tags;
    if (!o.is_object()) Fail(r.path, "description: tags must be an object");
    for (auto it = o.begin(); it != o.end(); ++it) {
        const json& e = it.value();
        CString name = FromUtf8(it.key());
        if (r.Has(e, "bool")) tags.SetValue(name, CTagValue(r.Bool(e, "bool")));
        else if (r.Has(e, "int")) tags.SetValue(name, CTagValue((long long)r.Int(e, "int", INT64_MIN, INT64_MAX)));
        else if (r.Has(e, "double")) tags.SetValue(name, CTagValue(r.Num(e, "double")));
        else if (r.Has(e, "text")) tags.SetValue(name, CTagValue(r.Text(e, "text")));
        else Fail(r.path, "description: a tag has no value of a known type");
    }
    return tags;
}

// Nesting deeper than any description needs is refused before parsing.
bool NestingWithin(const std::string& text, int limit)
{
    int depth = 0;
    bool inString = false, escape = false;
    for (char c : text) {
        if (inString) {
            if (escape) escape = false;
            else if (c == '\\') escape = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') { if (++depth > limit) return false; }
        else if (c == ']' || c == '}') --depth;
    }
    return true;
}

// The layout as the description states it: every sample of a scan with its
// byte offset, implementation type and NumPy type, named so that the fields
// make a structured NumPy dtype as they stand.
json LayoutJson(const SDescription& d, const SLayout& l)
{
    json fields = json::array();
    if (l.iAbscValues > 0)
        fields.push_back(json{{"kind", "abscissa"},
                              {"name", "abscissa"},
                              {"type", l.iAbscType},
                              {"count", l.iAbscValues},
                              {"dtype", NumpyType(l.iAbscType, l.iAbscValues)},
                              {"offset", 0}});
    std::vector<int> occurrence(d.channels.size(), 0);
    for (std::size_t e = 0; e < l.entries.size(); ++e) {
        int c = l.entries[e];
        int k = occurrence[std::size_t(c)]++;
        std::string name = "ch" + std::to_string(c);
        if (l.channelOffsets[std::size_t(c)].size() > 1) name += "_" + std::to_string(k);
        int type = d.channels[std::size_t(c)].GetImplType();
        fields.push_back(json{{"kind", "channel"},
                              {"name", name},
                              {"channel", c},
                              {"occurrence", k},
                              {"type", type},
                              {"dtype", NumpyType(type)},
                              {"offset", l.entryOffset[e]}});
    }
    return json{{"scan_bytes", l.uScanBytes}, {"scans", DeclaredScans(d)}, {"fields", fields}};
}

// The layout a file states must be the one its channels and abscissas give:
// a reader may take either, so they must not disagree.
void CheckLayout(const CReader& r, const json& stated, const json& expected)
{
    const CString& path = r.path;
    if (!stated.is_object()) Fail(path, "description: the layout is not an object");
    if ((unsigned long long)r.Int(stated, "scan_bytes", 0, INT64_MAX) != expected["scan_bytes"].get<unsigned long long>())
        Fail(path, "description: the scan size does not match the channels");
    if ((unsigned long long)r.Int(stated, "scans", 0, INT64_MAX) != expected["scans"].get<unsigned long long>())
        Fail(path, CString::Formatted("description: the layout announces %lld scans, the abscissas %llu",
                                      r.Int(stated, "scans", 0, INT64_MAX),
                                      expected["scans"].get<unsigned long long>()).c_str());
    const json& fields = r.Need(stated, "fields");
    const json& want = expected["fields"];
    if (!fields.is_array() || fields.size() != want.size())
        Fail(path, CString::Formatted("description: the layout lists %zu fields, the channels and abscissas give %zu",
                                      fields.is_array() ? fields.size() : std::size_t(0), want.size()).c_str());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const json& f = fields[i];
        if (!f.is_object()) Fail(path, CString::Formatted("description: layout field %zu is not an object", i).c_str());
        for (auto it = want[i].begin(); it != want[i].end(); ++it) {
            // Writers before format 1.1 gave neither names nor NumPy types.
            bool optional = it.key() == "name" || it.key() == "dtype";
            auto got = f.find(it.key());
            if (got == f.end()) {
                if (optional) continue;
                Fail(path, CString::Formatted("description: layout field %zu has no \"%s\"", i, it.key().c_str()).c_str());
            }
            if (*got != it.value())
                Fail(path, CString::Formatted("description: layout field %zu says \"%s\": %s, the channels and "
                                              "abscissas give %s", i, it.key().c_str(), got->dump().c_str(),
                                              it.value().dump().c_str()).c_str());
        }
    }
}

} // namespace

std::uint64_t DeclaredScans(const SDescription& d)
{
    if (d.abscissas.empty()) return 0;
    std::uint64_t n = std::uint64_t(d.abscissas[0].GetNbrOfScans());
    if (d.abscissas.size() > 1) n *= std::uint64_t(d.abscissas[1].GetNbrOfScans());
    return n;
}

std::string NumpyType(int type, int count)
{
    const char* base = nullptr;
    std::string shape;
    switch (type) {
    case it__int8: base = "|i1"; break;
    case it__pulse: base = "|u1"; break;
    case it__int16: base = "<i2"; break;
    case it__uint16: base = "<u2"; break;
    case it__int24: case it__uint24: base = "|u1"; shape = "3"; break;
    case it__int32: base = "<i4"; break;
    case it__uint32: base = "<u4"; break;
    case it__float: base = "<f4"; break;
    case it__double: base = "<f8"; break;
    case it__cint16: base = "<i2"; shape = "2"; break;
    case it__cint32: base = "<i4"; shape = "2"; break;
    case it__cfloat: base = "<c8"; break;
    case it__cdouble: base = "<c16"; break;
    default: return "";
    }
    if (count != 1) shape = shape.empty() ? std::to_string(count) : std::to_string(count) + "," + shape;
    if (shape.empty()) return base;
    if (shape.find(',') == std::string::npos) shape += ",";
    return "(" + shape + ")" + base;
}

void Validate(const SDescription& d, const CString& path)
{
    if (d.abscissas.empty() || d.abscissas.size() > 2) Fail(path, "a data set has one or two abscissas");
    if (d.channels.size() > kMaxChannels) Fail(path, "too many channels");
    for (std::size_t i = 0; i < d.abscissas.size(); ++i) {
        const CAbscissa& a = d.abscissas[i];
        if (std::uint64_t(a.GetNbrOfScans()) > kMaxScans) Fail(path, "an abscissa announces too many scans");
        if (a.IsCalc()) {
            if (a.GetDistribution() != df__linear && a.GetDistribution() != df__logarithmic)
                Fail(path, CString::Formatted("abscissa %zu has the unknown distribution function %d", i,
                                              a.GetDistribution()).c_str());
            if (!std::isfinite(a.GetFirstValue()) || !std::isfinite(a.GetDeltaValue()))
                Fail(path, CString::Formatted("abscissa %zu has a value that is not finite", i).c_str());
        } else {
            if (i > 0) Fail(path, "only the first abscissa may be stored");
            if (!CImplType::IsSupported(a.GetImplType()) || CImplType::IsComplex(a.GetImplType()) ||
                a.GetImplType() == it__pulse)
                Fail(path, CString::Formatted("abscissa 0 has the unusable implementation type %d", a.GetImplType()).c_str());
            if (a.GetCoordinate() != ac__world && a.GetCoordinate() != ac__band)
                Fail(path, CString::Formatted("abscissa 0 has the unknown coordinate %d", a.GetCoordinate()).c_str());
            if (!a.GetMapping().IsValid()) Fail(path, "abscissa 0 has an invalid mapping");
        }
    }
    if (d.abscissas.size() == 2 && (std::uint64_t(d.abscissas[0].GetNbrOfScans()) != 0) &&
        std::uint64_t(d.abscissas[1].GetNbrOfScans()) > kMaxScans / std::uint64_t(d.abscissas[0].GetNbrOfScans()))
        Fail(path, "the abscissas announce too many scans");
    for (std::size_t i = 0; i < d.channels.size(); ++i) {
        const CChannel& c = d.channels[i];
        if (!CImplType::IsSupported(c.GetImplType()))
            Fail(path, CString::Formatted("channel %zu has the unsupported implementation type %d", i,
                                          c.GetImplType()).c_str());
        if (!c.GetMapping().IsValid()) Fail(path, CString::Formatted("channel %zu has an invalid mapping", i).c_str());
    }
    if (d.channelTags.size() != d.channels.size()) Fail(path, "tag collections do not match the channels");
    if (d.iOrganisation != ds__dorg_interleaved && d.iOrganisation != ds__dorg_with_abscissa)
        Fail(path, CString::Formatted("unknown data organisation %d", d.iOrganisation).c_str());
    if (d.iScanMode == sm__pattern) {
        if (d.abscissas.size() != 1) Fail(path, "a sampling pattern needs exactly one abscissa");
        // A stored abscissa holds one value per scan, which cannot say where
        // the several samples of a faster channel within that scan lie.
        if (!d.abscissas[0].IsCalc()) Fail(path, "a sampling pattern needs a calculated abscissa");
        if (d.pattern.empty() || d.pattern.size() > kMaxPattern) Fail(path, "the sampling pattern is empty or too long");
        for (int c : d.pattern)
            if (c < 0 || std::size_t(c) >= d.channels.size())
                Fail(path, CString::Formatted("the sampling pattern names channel %d, which does not exist", c).c_str());
    } else if (d.iScanMode != sm__single_rate) {
        Fail(path, CString::Formatted("unknown scan mode %d", d.iScanMode).c_str());
    }
    for (std::size_t i = 0; i < d.subChannels.size(); ++i) {
        int p = d.subChannels[i].GetParentChannelID();
        if (p < 0 || std::size_t(p) >= d.channels.size())
            Fail(path, CString::Formatted("sub-channel %zu names the parent channel %d, which does not exist", i, p).c_str());
    }
    SLayout l = ComputeLayout(d);
    if (l.uScanBytes > kMaxScanBytes) Fail(path, "a scan is too large");
    if (l.uScanBytes > 0 && DeclaredScans(d) > (std::uint64_t(INT64_MAX) / 2) / l.uScanBytes)
        Fail(path, "the announced samples exceed any file");
}

SLayout ComputeLayout(const SDescription& d)
{
    SLayout l;
    std::uint64_t off = 0;
    if (!d.abscissas.empty() && !d.abscissas[0].IsCalc()) {
        l.iAbscType = d.abscissas[0].GetImplType();
        l.iAbscValues = d.abscissas[0].GetValuesPerScan();
        off = std::uint64_t(CImplType::GetSize(l.iAbscType)) * std::uint64_t(l.iAbscValues);
    }
    if (d.iScanMode == sm__pattern) {
        l.entries = d.pattern;
    } else {
        l.entries.resize(d.channels.size());
        for (std::size_t i = 0; i < d.channels.size(); ++i) l.entries[i] = int(i);
    }
    l.channelOffsets.assign(d.channels.size(), {});
    l.entryOffset.reserve(l.entries.size());
    for (int c : l.entries) {
        l.entryOffset.push_back(off);
        if (c >= 0 && std::size_t(c) < d.channels.size()) {
            l.channelOffsets[std::size_t(c)].push_back(off);
            off += std::uint64_t(CImplType::GetSize(d.channels[std::size_t(c)].GetImplType()));
        }
    }
    l.uScanBytes = off;
    return l;
}

std::string WriteHeader(const SDescription& d, const SLayout& l)
{
    json h;
    h["format"] = "TRX";
    h["title"] = ToUtf8(d.sTitle);
    h["comment"] = ToUtf8(d.sComment);
    if (d.date.IsValid()) {
        h["date_of_recording"] = d.date.GetUnixTime();
        h["date_of_recording_text"] = ToUtf8(d.date.FormatISO());
    } else {
        h["date_of_recording"] = nullptr;
    }
    h["kind"] = d.iKind;
    h["organisation"] = d.iOrganisation;
    h["scan_mode"] = d.iScanMode;
    if (d.iScanMode == sm__pattern) h["pattern"] = d.pattern;

    json abs = json::array();
    for (const CAbscissa& a : d.abscissas) {
        json o{{"name", ToUtf8(a.GetName())},
               {"abbreviation", ToUtf8(a.GetAbbreviation())},
               {"quantity", ToUtf8(a.GetQuantity().GetName())},
               {"unit", ToUtf8(a.GetUnit().GetText())},
               {"calculated", a.IsCalc()},
               {"scans", a.GetNbrOfScans()},
               {"max_scans", a.GetMaxNbrOfScans()}};
        if (a.IsCalc()) {
            o["first"] = a.GetFirstValue();
            o["delta"] = a.GetDeltaValue();
            o["distribution"] = a.GetDistribution();
        } else {
            o["impl_type"] = a.GetImplType();
            o["coordinate"] = a.GetCoordinate();
            o["mapping"] = MappingJson(a.GetMapping());
        }
        abs.push_back(o);
    }
    h["abscissas"] = abs;

    json chs = json::array();
    for (std::size_t i = 0; i < d.channels.size(); ++i) {
        const CChannel& c = d.channels[i];
        double ampl, pow;
        c.GetDeltaAmplPowCorrFact(ampl, pow);
        json o{{"name", ToUtf8(c.GetName())},
               {"abbreviation", ToUtf8(c.GetAbbreviation())},
               {"title", ToUtf8(c.GetTitle())},
               {"quantity", ToUtf8(c.GetQuantity().GetName())},
               {"unit", ToUtf8(c.GetUnit().GetText())},
               {"impl_type", c.GetImplType()},
               {"phys_channel", c.GetPhysChannel()},
               {"coordinate", c.GetCoordinate()},
               {"sort", c.GetSortValue()},
               {"mapping", MappingJson(c.GetMapping())},
               {"calibration", c.GetCalibration()},
               {"delta_headroom", c.GetDeltaHeadroom()},
               {"emphasis", c.GetEmphasis()},
               {"quantisation", c.GetQuantisationFunc()},
               {"ampl_corr", ampl},
               {"pow_corr", pow}};
        if (i < d.channelTags.size() && !d.channelTags[i].IsEmpty()) o["tags"] = TagsJson(d.channelTags[i]);
        chs.push_back(o);
    }
    h["channels"] = chs;

    json subs = json::array();
    for (const CSubChannel& s : d.subChannels) {
        subs.push_back(json{{"type", s.GetType()},
                            {"id", s.GetID()},
                            {"parent", s.GetParentChannelID()},
                            {"bitmask", s.GetBitmask()},
                            {"delta_time", s.GetDeltaTime()},
                            {"pulse_factor", s.GetPulseFactor()},
                            {"smooth", s.GetSmooth()},
                            {"name", ToUtf8(s.GetName())},
                            {"abbreviation", ToUtf8(s.GetAbbreviation())},
                            {"quantity", ToUtf8(s.GetQuantity().GetName())},
                            {"unit", ToUtf8(s.GetUnit().GetText())}});
    }
    h["sub_channels"] = subs;

    // The layout repeats what follows from the above, so that a reader needs
    // no rules: every sample of a scan with its byte offset and type.
    h["layout"] = LayoutJson(d, l);
    h["open_for_writing"] = d.bOpenForWriting;
    return h.dump(1);
}

SDescription ReadHeader(const std::string& text, const CString& path)
{
    if (!NestingWithin(text, kMaxNesting)) Fail(path, "description nested too deeply");
    json h;
    try {
        h = json::parse(text);
    } catch (const json::exception& e) {
        Fail(path, CString::Formatted("description is not valid JSON (%s)", e.what()).c_str());
    }
    CReader r{path};
    try {
        if (!h.is_object() || r.Text(h, "format") != "TRX") Fail(path, "description does not name the format TRX");
        SDescription d;
        d.sTitle = r.Text(h, "title");
        d.sComment = r.Text(h, "comment");
        if (r.Has(h, "date_of_recording") && !h["date_of_recording"].is_null())
            d.date = CDateTimeEx(r.Num(h, "date_of_recording"));
        d.iKind = int(r.Int(h, "kind", INT32_MIN, INT32_MAX));
        d.iOrganisation = int(r.Int(h, "organisation", INT32_MIN, INT32_MAX));
        d.iScanMode = int(r.Int(h, "scan_mode", INT32_MIN, INT32_MAX));
        if (d.iScanMode == sm__pattern) {
            const json& p = r.Need(h, "pattern");
            if (!p.is_array() || p.size() > kMaxPattern) Fail(path, "description: the pattern is not a list or too long");
            for (const json& e : p) {
                if (!e.is_number_integer()) Fail(path, "description: the pattern holds something else than channel numbers");
                long long v = e.get<long long>();
                if (v < 0 || v >= (long long)kMaxChannels) Fail(path, "description: the pattern names an impossible channel");
                d.pattern.push_back(int(v));
            }
        }
        const json& abs = r.Need(h, "abscissas");
        if (!abs.is_array() || abs.size() > 2) Fail(path, "description: abscissas must be a list of one or two");
        for (const json& o : abs) {
            CString name = r.Text(o, "name"), abbr = r.Text(o, "abbreviation");
            CQuantity q = QuantityFrom(r.Text(o, "quantity"));
            CUnit u = UnitFrom(r.Text(o, "unit"));
            long scans = long(r.Int(o, "scans", 0, (long long)kMaxScans));
            CAbscissa a;
            if (r.Bool(o, "calculated")) {
                a = CAbscissa(name, abbr, q, u, r.Num(o, "first"), r.Num(o, "delta"), scans,
                              int(r.Int(o, "distribution", INT32_MIN, INT32_MAX)));
            } else {
                a = CAbscissa(name, abbr, q, u, int(r.Int(o, "impl_type", INT32_MIN, INT32_MAX)), scans,
                              int(r.Int(o, "coordinate", INT32_MIN, INT32_MAX)));
                a.SetMapping(MappingFrom(r, r.Need(o, "mapping")));
            }
            a.SetMaxNbrOfScans(long(r.Int(o, "max_scans", 0, (long long)kMaxScans, 0)));
            d.abscissas.push_back(a);
        }
        const json& chs = r.Need(h, "channels");
        if (!chs.is_array() || chs.size() > kMaxChannels) Fail(path, "description: channels must be a list");
        for (const json& o : chs) {
            CChannel c(r.Text(o, "name"), r.Text(o, "abbreviation"), QuantityFrom(r.Text(o, "quantity")),
                       UnitFrom(r.Text(o, "unit")), int(r.Int(o, "impl_type", INT32_MIN, INT32_MAX)),
                       int(r.Int(o, "phys_channel", INT32_MIN, INT32_MAX)), r.Num(o, "coordinate", 1.0),
                       r.Num(o, "sort", 1.0), MappingFrom(r, r.Need(o, "mapping")));
            c.SetTitle(r.Text(o, "title"));
            c.SetCalibration(float(r.Num(o, "calibration", 0.0)));
            c.SetDeltaHeadroom(float(r.Num(o, "delta_headroom", 0.0)));
            c.SetEmphasis(int(r.Int(o, "emphasis", INT32_MIN, INT32_MAX, 0)));
            c.SetQuantisationFunc(int(r.Int(o, "quantisation", INT32_MIN, INT32_MAX, 1)));
            c.SetDeltaAmplPowCorrFact(r.Num(o, "ampl_corr", 1.0), r.Num(o, "pow_corr", 1.0));
            d.channels.push_back(c);
            d.channelTags.push_back(r.Has(o, "tags") ? TagsFrom(r, o.at("tags")) : CTags());
        }
        if (r.Has(h, "sub_channels")) {
            const json& subs = h.at("sub_channels");
            if (!subs.is_array()) Fail(path, "description: sub-channels must be a list");
            for (const json& o : subs) {
                CSubChannel s(int(r.Int(o, "type", INT32_MIN, INT32_MAX)), int(r.Int(o, "parent", INT32_MIN, INT32_MAX)),
                              unsigned(r.Int(o, "bitmask", 0, UINT32_MAX)), r.Text(o, "name"), r.Text(o, "abbreviation"),
                              QuantityFrom(r.Text(o, "quantity")), UnitFrom(r.Text(o, "unit")));
                s.SetID(int(r.Int(o, "id", INT32_MIN, INT32_MAX)));
                s.SetDeltaTime(r.Num(o, "delta_time", 0.0));
                s.SetPulseFactor(r.Num(o, "pulse_factor", 1.0));
                s.SetSmooth(int(r.Int(o, "smooth", INT32_MIN, INT32_MAX, 0)));
                d.subChannels.push_back(s);
            }
        }
        Validate(d, path);
        CheckLayout(r, r.Need(h, "layout"), LayoutJson(d, ComputeLayout(d)));
        if (r.Has(h, "open_for_writing")) d.bOpenForWriting = r.Bool(h, "open_for_writing");
        return d;
    } catch (const json::exception& e) {
        Fail(path, CString::Formatted("description is malformed (%s)", e.what()).c_str());
    } catch (const CUnitException& e) {
        Fail(path, CString::Formatted("description holds a bad unit (%s)", e.what()).c_str());
    }
}

std::uint64_t DataOffsetFor(std::size_t headerLength, std::uint64_t phase, std::uint64_t granule)
{
    std::uint64_t need = kLeadIn + headerLength + std::max<std::uint64_t>(4096, headerLength);
    std::uint64_t base = need / granule * granule;
    return base + phase >= need ? base + phase : base + granule + phase;
}

namespace {
unsigned ComponentSize(int type)
{
    switch (type) {
    case it__int16: case it__uint16: case it__cint16: return 2;
    case it__int32: case it__uint32: case it__float: case it__cint32: case it__cfloat: return 4;
    case it__double: case it__cdouble: return 8;
    default: return 1;
    }
}
} // namespace

unsigned SampleAlignment(const SDescription& d, const SLayout& l)
{
    unsigned a = l.iAbscType != it__none ? ComponentSize(l.iAbscType) : 1;
    for (int c : l.entries)
        if (c >= 0 && std::size_t(c) < d.channels.size())
            a = std::max(a, ComponentSize(d.channels[std::size_t(c)].GetImplType()));
    return a;
}


std::string BuildLeadIn(const std::string& header, std::uint64_t dataOffset)
{
    std::string out(std::size_t(dataOffset), ' ');
    std::memcpy(out.data(), kMagic, 8);
    out[8] = char(kVersionMajor);
    out[9] = char(kVersionMinor);
    out[10] = out[11] = 0;
    std::uint32_t h = std::uint32_t(header.size());
    std::memcpy(out.data() + 12, &h, 4);
    std::memcpy(out.data() + 16, &dataOffset, 8);
    std::memcpy(out.data() + kLeadIn, header.data(), header.size());
    if (dataOffset > kLeadIn + header.size()) out[std::size_t(dataOffset) - 1] = '\n';
    return out;
}

} // namespace trx
