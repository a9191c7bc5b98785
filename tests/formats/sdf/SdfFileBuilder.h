#pragma once
// SDF files built byte by byte from the record tables (field offsets and
// widths, big-endian), without Tessel's record structures: what the import
// reads and what the export must write are checked against these tables.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace sdftest {

using Bytes = std::vector<unsigned char>;

inline void PutBE(Bytes& b, std::size_t off, std::uint64_t v, int width)
{
    if (b.size() < off + std::size_t(width)) b.resize(off + std::size_t(width));
    for (int i = 0; i < width; ++i)
        b[off + std::size_t(i)] = (unsigned char)(v >> (8 * (width - 1 - i)));
}
// A value of type T at off, big-endian: written (growing the buffer) or read.
template <class T>
void Put(Bytes& b, std::size_t off, T v)
{
    std::uint64_t u = 0;
    std::memcpy(&u, &v, sizeof v);
    PutBE(b, off, u, int(sizeof v));
}
template <class T>
T Get(const Bytes& b, std::size_t off)
{
    std::uint64_t u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) u = u << 8 | b.at(off + i);
    T v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}
inline void I16(Bytes& b, std::size_t off, int v) { Put(b, off, std::int16_t(v)); }
inline int GetI16(const Bytes& b, std::size_t off) { return Get<std::int16_t>(b, off); }
inline long long GetI32(const Bytes& b, std::size_t off) { return Get<std::int32_t>(b, off); }
inline float GetF32(const Bytes& b, std::size_t off) { return Get<float>(b, off); }
inline double GetF64(const Bytes& b, std::size_t off) { return Get<double>(b, off); }
inline void Chars(Bytes& b, std::size_t off, const std::string& s, std::size_t width)
{
    if (b.size() < off + width) b.resize(off + width);
    for (std::size_t i = 0; i < width; ++i) b[off + i] = i < s.size() ? (unsigned char)s[i] : 0;
}
inline std::string GetChars(const Bytes& b, std::size_t off, std::size_t width)
{
    std::string s;
    for (std::size_t i = 0; i < width && b.at(off + i); ++i) s += char(b[off + i]);
    return s;
}

// One field of a record: offset, width (2, 4: integers; -4, -8: floats) and value.
struct SField {
    std::size_t off;
    int width;
    double value;
};
inline void PutFields(Bytes& b, std::size_t base, std::initializer_list<SField> fields)
{
    for (const SField& f : fields) {
        if (f.width == -4) Put(b, base + f.off, float(f.value));
        else if (f.width == -8) Put(b, base + f.off, f.value);
        else PutBE(b, base + f.off, std::uint64_t((long long)f.value), f.width);
    }
}
inline void ExpectFields(const Bytes& b, std::size_t base, std::initializer_list<SField> fields, const std::string& what)
{
    for (const SField& f : fields) {
        const std::size_t at = base + f.off;
        const double got = f.width == 2 ? GetI16(b, at) : f.width == 4 ? double(GetI32(b, at))
                         : f.width == -4 ? double(GetF32(b, at)) : GetF64(b, at);
        EXPECT_DOUBLE_EQ(f.width == -4 ? double(float(f.value)) : f.value, got) << what << " at +" << f.off;
    }
}

// SDF unit (22 bytes): label[10], factor f32, exponents (doubled) mass,
// length, time, current, temperature, luminous intensity, mole, plane angle.
struct Unit {
    std::string label;
    float factor = 1.0f;
    signed char exps[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};
inline void PutUnit(Bytes& b, std::size_t off, const Unit& u)
{
    Chars(b, off, u.label, 10);
    Put(b, off + 10, u.factor);
    for (int i = 0; i < 8; ++i) b[off + 14 + std::size_t(i)] = (unsigned char)u.exps[i];
}
inline Unit Pa() { Unit u{"Pa"}; u.exps[0] = 2; u.exps[1] = -2; u.exps[2] = -4; return u; }
inline Unit Volt() { Unit u{"V"}; u.exps[0] = 2; u.exps[1] = 4; u.exps[2] = -6; u.exps[3] = -2; return u; }
inline Unit Seconds() { Unit u{"s"}; u.exps[2] = 2; return u; }
inline Unit Hertz() { Unit u{"Hz"}; u.exps[2] = -2; return u; }
inline Unit Rpm() { Unit u{"rpm"}; u.factor = 1.0f / 60.0f; u.exps[2] = -2; return u; }

struct Channel {
    std::string label = "ch";
    Unit unit = Volt();
    float int2engr = 1.0f;
    double scale = 1.0, offset = 0.0;
    int number = 0;
    float wideBand = 1.0f, narrowBand = 1.0f;
    int corrMode = 0;
};

struct Vector {
    int ch0 = 0, ch1 = -1;
    int pow0 = 48, pow1 = 0;
};

struct Result {
    std::string title = "Time";
    int domain = 1;            // 0 frequency, 1 time
    int dataType = 0;          // 0 time, 2 auto power, ...
    int points = 8;
    int lastValid = 0;         // 0: all points
    double x0 = 0.0, dx = 0.001;
    int xRes = 0, xType = 0, xPerPoint = 0;
    int yType = 3, yPerPoint = 0, yComplex = 0;
    int field56 = 0;           // complex: 0 squared magnitude, else re + im
    int windowApplied = 1;     // field at 132
    int scanData = 0;
    int firstVector = 0;
    Unit yUnit;
    Unit xUnit = Seconds();
};

struct File {
    int revision = 3;
    int applic = 27;
    int year = 2024, monthDay = 315, hourMinute = 1042;
    std::vector<Result> results;
    std::vector<Vector> vectors;
    std::vector<Channel> channels;
    std::vector<int> uniques;
    // Scan records: 0 none; 15 a scan structure (36 bytes, plus table bytes); 18 a scan-big record.
    int scanStruct = 0;        // 1: write a scan structure
    int scanStructTableBytes = 0;
    int scanBig = 0;           // 18: write a scan-big record
    int numScans = 1;
    int scanType = 0;          // 1: scans interleave all results
    std::string comment;
    Bytes xData;               // values after the X data prefix (big-endian already)
    Bytes yData;               // values after the Y data prefix (big-endian already)
    Bytes rowValues;           // with scanBig 18: a scan-var record ("Block", s, f64) of these values behind it
    bool writeXData = false;
};

// Offsets of the records of a built file, for the tests that alter them.
struct Layout {
    std::size_t data = 0, vector = 0, channel = 0, unique = 0, scanStruct = 0, scanBig = 0, comment = 0, x = 0, y = 0;
};

inline Bytes Build(const File& f, Layout* layout = nullptr)
{
    Layout L;
    std::size_t pos = 2 + 80 + 156;
    L.data = pos; pos += 148 * f.results.size();
    L.vector = pos; pos += 18 * f.vectors.size();
    L.channel = pos; pos += 212 * f.channels.size();
    L.unique = pos; pos += 10 * f.uniques.size();
    L.scanStruct = pos; if (f.scanStruct) pos += 36 + std::size_t(f.scanStructTableBytes);
    L.scanBig = pos; if (f.scanBig) pos += 20;
    if (f.scanBig && !f.rowValues.empty()) pos += 54 + f.rowValues.size();
    L.comment = pos; if (!f.comment.empty()) pos += 24 + f.comment.size() + 1;
    L.x = pos; if (f.writeXData) pos += 6 + f.xData.size();
    L.y = pos; pos += 6 + f.yData.size();

    Bytes b(pos, 0);
    b[0] = 'B';   // and a zero byte
    auto at = [](bool present, std::size_t off) { return present ? double(off) : -1.0; };
    PutFields(b, 2, {{0, 2, 10}, {2, 4, 80}, {6, 2, double(f.revision)}, {8, 2, double(f.applic)}, {10, 2, double(f.year)},
                     {12, 2, double(f.monthDay)}, {14, 2, double(f.hourMinute)}, {24, 2, double(f.results.size())},
                     {26, 2, double(f.vectors.size())}, {28, 2, double(f.channels.size())}, {30, 2, double(f.uniques.size())},
                     {32, 2, f.scanStruct ? 1.0 : 0.0}, {34, 2, f.writeXData ? 1.0 : 0.0}, {36, 4, double(L.data)},
                     {40, 4, double(L.vector)}, {44, 4, double(L.channel)}, {48, 4, double(L.unique)},
                     {52, 4, at(f.scanStruct, L.scanStruct)}, {56, 4, at(f.writeXData, L.x)}, {60, 4, double(L.y)},
                     {64, 2, f.scanBig ? (f.rowValues.empty() ? 1.0 : 2.0) : 0.0}, {66, 2, f.comment.empty() ? 0.0 : 1.0}, {68, 4, at(f.scanBig, L.scanBig)},
                     {72, 4, at(!f.comment.empty(), L.comment)}, {76, 4, -1}});
    Chars(b, 2 + 16, "test", 8);
    PutFields(b, 82, {{0, 2, 11}, {2, 4, 156}, {6, 4, -1}});
    for (std::size_t i = 0; i < f.results.size(); ++i) {
        const Result& r = f.results[i];
        const std::size_t D = L.data + 148 * i;
        const int last = r.lastValid ? r.lastValid : r.points - 1;
        PutFields(b, D, {{0, 2, 12}, {2, 4, 148}, {6, 4, -1}, {26, 2, double(r.domain)}, {28, 2, double(r.dataType)},
                         {30, 2, double(r.points)}, {32, 2, double(f.revision < 3 ? r.lastValid : last)}, {34, -4, r.x0},
                         {38, -4, r.dx}, {42, 2, double(r.xRes)}, {44, 2, double(r.xType)}, {46, 2, double(r.xPerPoint)},
                         {48, 2, double(r.yType)}, {50, 2, double(r.yPerPoint)}, {52, 2, double(r.yComplex)},
                         {56, 2, double(r.field56)}, {58, 2, 1}, {60, 4, double(r.firstVector)}, {64, 2, 1}, {66, 2, 1},
                         {114, -8, r.x0}, {122, -8, r.dx}, {130, 2, double(r.scanData)},
                         {132, 2, double(r.windowApplied)}, {134, 4, double(r.points)}, {138, 4, double(last)}});
        Chars(b, D + 10, r.title, 16);
        PutUnit(b, D + 68, r.xUnit);
        PutUnit(b, D + 92, r.yUnit);
    }
    for (std::size_t i = 0; i < f.vectors.size(); ++i) {
        const Vector& v = f.vectors[i];
        PutFields(b, L.vector + 18 * i, {{0, 2, 13}, {2, 4, 18}, {6, 4, -1}, {10, 2, double(v.ch0)}, {12, 2, double(v.ch1)},
                                         {14, 2, double(v.pow0)}, {16, 2, double(v.pow1)}});
    }
    for (std::size_t i = 0; i < f.channels.size(); ++i) {
        const Channel& c = f.channels[i];
        const std::size_t C = L.channel + 212 * i;
        PutFields(b, C, {{0, 2, 14}, {2, 4, 212}, {6, 4, -1}, {64, 2, 3}, {66, 2, double(c.corrMode)}, {80, -4, c.wideBand},
                         {84, -4, c.narrowBand}, {138, -4, c.int2engr}, {152, -8, c.scale}, {160, -8, c.offset},
                         {208, 2, double(c.number)}});
        Chars(b, C + 10, c.label, 30);
        PutUnit(b, C + 116, c.unit);
    }
    for (std::size_t i = 0; i < f.uniques.size(); ++i)
        PutFields(b, L.unique + 10 * i, {{0, 2, 84}, {2, 4, 10}, {6, 4, double(f.uniques[i])}});
    if (f.scanStruct)
        PutFields(b, L.scanStruct, {{0, 2, 15}, {2, 4, 36.0 + f.scanStructTableBytes}, {6, 2, double(f.numScans)},
                                    {8, 2, f.numScans - 1.0}, {10, 2, double(f.scanType)}});
    if (f.scanBig == 18)
        PutFields(b, L.scanBig, {{0, 2, 18}, {2, 4, 20}, {10, 4, double(f.numScans)}, {14, 4, f.numScans - 1.0},
                                 {18, 2, double(f.scanType)}});
    if (f.scanBig == 18 && !f.rowValues.empty()) {
        const std::size_t V = L.scanBig + 20;
        PutFields(b, V, {{0, 2, 19}, {2, 4, 54.0 + double(f.rowValues.size())}, {6, 4, -1}, {10, 4, 54}, {16, 2, 1}, {18, 2, 4}});
        Chars(b, V + 20, "Block", 10);
        PutUnit(b, V + 32, Seconds());
        std::copy(f.rowValues.begin(), f.rowValues.end(), b.begin() + long(V + 54));
    }
    if (!f.comment.empty()) {
        PutFields(b, L.comment, {{0, 2, 20}, {2, 4, double(24 + f.comment.size() + 1)}, {6, 4, -1}, {10, 4, 24},
                                 {14, 4, -1}, {20, 2, 1}, {22, 2, 0}});
        Chars(b, L.comment + 24, f.comment, f.comment.size() + 1);
    }
    if (f.writeXData) {
        PutFields(b, L.x, {{0, 2, 16}, {2, 4, double(6 + f.xData.size())}});
        std::copy(f.xData.begin(), f.xData.end(), b.begin() + long(L.x + 6));
    }
    PutFields(b, L.y, {{0, 2, 17}, {2, 4, double(6 + f.yData.size())}});
    std::copy(f.yData.begin(), f.yData.end(), b.begin() + long(L.y + 6));
    if (layout) *layout = L;
    return b;
}

// Big-endian values appended to a data block.
template <class T>
void Add(Bytes& b, T v) { Put(b, b.size(), v); }

// Time results of `channels` float channels, value = 100·channel + point + 1000·result.
inline File TimeFile(int results, int channels, int points, bool sameAbscissa = true)
{
    File f;
    for (int r = 0; r < results; ++r) {
        f.results.push_back({.points = points, .dx = sameAbscissa ? 0.001 : 0.001 * (r + 1), .firstVector = r * channels});
        for (int c = 0; c < channels; ++c) {
            f.channels.push_back({.label = "r" + std::to_string(r) + "c" + std::to_string(c), .number = r * channels + c});
            f.vectors.push_back(Vector{r * channels + c});
            for (int p = 0; p < points; ++p) Add<float>(f.yData, float(1000 * r + 100 * c + p));
        }
    }
    return f;
}

}  // namespace sdftest
