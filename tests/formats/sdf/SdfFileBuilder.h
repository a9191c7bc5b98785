#pragma once
// SDF files built byte by byte from the record tables (field offsets and
// widths, big-endian), without Tessel's record structures: what the import
// reads and what the export must write are checked against these tables.

#include <cstdint>
#include <cstring>
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
inline void I16(Bytes& b, std::size_t off, int v) { PutBE(b, off, std::uint16_t(std::int16_t(v)), 2); }
inline void I32(Bytes& b, std::size_t off, long long v) { PutBE(b, off, std::uint32_t(std::int32_t(v)), 4); }
inline void F32(Bytes& b, std::size_t off, float f) { std::uint32_t u; std::memcpy(&u, &f, 4); PutBE(b, off, u, 4); }
inline void F64(Bytes& b, std::size_t off, double d) { std::uint64_t u; std::memcpy(&u, &d, 8); PutBE(b, off, u, 8); }
inline void Chars(Bytes& b, std::size_t off, const std::string& s, std::size_t width)
{
    if (b.size() < off + width) b.resize(off + width);
    for (std::size_t i = 0; i < width; ++i) b[off + i] = i < s.size() ? (unsigned char)s[i] : 0;
}

inline std::uint64_t GetBE(const Bytes& b, std::size_t off, int width)
{
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = v << 8 | b.at(off + std::size_t(i));
    return v;
}
inline int GetI16(const Bytes& b, std::size_t off) { return std::int16_t(GetBE(b, off, 2)); }
inline long long GetI32(const Bytes& b, std::size_t off) { return std::int32_t(GetBE(b, off, 4)); }
inline float GetF32(const Bytes& b, std::size_t off) { std::uint32_t u = std::uint32_t(GetBE(b, off, 4)); float f; std::memcpy(&f, &u, 4); return f; }
inline double GetF64(const Bytes& b, std::size_t off) { std::uint64_t u = GetBE(b, off, 8); double d; std::memcpy(&d, &u, 8); return d; }
inline std::string GetChars(const Bytes& b, std::size_t off, std::size_t width)
{
    std::string s;
    for (std::size_t i = 0; i < width && b.at(off + i); ++i) s += char(b[off + i]);
    return s;
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
    F32(b, off + 10, u.factor);
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
    bool yUnitValid = false;
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
    int scanBig = 0;           // 18 or 19: write that record
    int numScans = 1;
    int scanType = 0;          // 1: scans interleave all results
    std::string comment;
    int commentDataHdr = 0;
    Bytes xData;               // values after the X data prefix (big-endian already)
    Bytes yData;               // values after the Y data prefix (big-endian already)
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
    L.scanBig = pos; if (f.scanBig == 18) pos += 20; else if (f.scanBig == 19) pos += 54;
    L.comment = pos; if (!f.comment.empty()) pos += 24 + f.comment.size() + 1;
    L.x = pos; if (f.writeXData) pos += 6 + f.xData.size();
    L.y = pos; pos += 6 + f.yData.size();

    Bytes b(pos, 0);
    b[0] = 'B';
    b[1] = 0;
    const std::size_t F = 2;
    I16(b, F + 0, 10); I32(b, F + 2, 80); I16(b, F + 6, f.revision); I16(b, F + 8, f.applic);
    I16(b, F + 10, f.year); I16(b, F + 12, f.monthDay); I16(b, F + 14, f.hourMinute);
    Chars(b, F + 16, "test", 8);
    I16(b, F + 24, int(f.results.size())); I16(b, F + 26, int(f.vectors.size()));
    I16(b, F + 28, int(f.channels.size())); I16(b, F + 30, int(f.uniques.size()));
    I16(b, F + 32, f.scanStruct ? 1 : 0); I16(b, F + 34, f.writeXData ? 1 : 0);
    I32(b, F + 36, long(L.data)); I32(b, F + 40, long(L.vector)); I32(b, F + 44, long(L.channel));
    I32(b, F + 48, long(L.unique)); I32(b, F + 52, f.scanStruct ? long(L.scanStruct) : -1);
    I32(b, F + 56, f.writeXData ? long(L.x) : -1); I32(b, F + 60, long(L.y));
    I16(b, F + 64, f.scanBig ? 1 : 0); I16(b, F + 66, f.comment.empty() ? 0 : 1);
    I32(b, F + 68, f.scanBig ? long(L.scanBig) : -1); I32(b, F + 72, f.comment.empty() ? -1 : long(L.comment));
    I32(b, F + 76, -1);

    const std::size_t M = 82;
    I16(b, M, 11); I32(b, M + 2, 156); I32(b, M + 6, -1);

    for (std::size_t i = 0; i < f.results.size(); ++i) {
        const Result& r = f.results[i];
        const std::size_t D = L.data + 148 * i;
        const int last = r.lastValid ? r.lastValid : r.points - 1;
        I16(b, D, 12); I32(b, D + 2, 148); I32(b, D + 6, -1); Chars(b, D + 10, r.title, 16);
        I16(b, D + 26, r.domain); I16(b, D + 28, r.dataType);
        I16(b, D + 30, r.points); I16(b, D + 32, f.revision < 3 ? r.lastValid : last);
        F32(b, D + 34, float(r.x0)); F32(b, D + 38, float(r.dx));
        I16(b, D + 42, r.xRes); I16(b, D + 44, r.xType); I16(b, D + 46, r.xPerPoint);
        I16(b, D + 48, r.yType); I16(b, D + 50, r.yPerPoint); I16(b, D + 52, r.yComplex);
        I16(b, D + 56, r.field56); I16(b, D + 58, 1);
        I32(b, D + 60, r.firstVector); I16(b, D + 64, 1); I16(b, D + 66, 1);
        PutUnit(b, D + 68, r.xUnit); I16(b, D + 90, r.yUnitValid ? 1 : 0); PutUnit(b, D + 92, r.yUnit);
        F64(b, D + 114, r.x0); F64(b, D + 122, r.dx); I16(b, D + 130, r.scanData); I16(b, D + 132, r.windowApplied);
        I32(b, D + 134, r.points); I32(b, D + 138, last);
    }
    for (std::size_t i = 0; i < f.vectors.size(); ++i) {
        const std::size_t V = L.vector + 18 * i;
        I16(b, V, 13); I32(b, V + 2, 18); I32(b, V + 6, -1);
        I16(b, V + 10, f.vectors[i].ch0); I16(b, V + 12, f.vectors[i].ch1);
        I16(b, V + 14, f.vectors[i].pow0); I16(b, V + 16, f.vectors[i].pow1);
    }
    for (std::size_t i = 0; i < f.channels.size(); ++i) {
        const Channel& c = f.channels[i];
        const std::size_t C = L.channel + 212 * i;
        I16(b, C, 14); I32(b, C + 2, 212); I32(b, C + 6, -1); Chars(b, C + 10, c.label, 30);
        I16(b, C + 64, 3); I16(b, C + 66, c.corrMode); F32(b, C + 80, c.wideBand); F32(b, C + 84, c.narrowBand);
        PutUnit(b, C + 116, c.unit); F32(b, C + 138, c.int2engr);
        F64(b, C + 152, c.scale); F64(b, C + 160, c.offset); I16(b, C + 208, c.number);
    }
    for (std::size_t i = 0; i < f.uniques.size(); ++i) {
        const std::size_t U = L.unique + 10 * i;
        I16(b, U, 84); I32(b, U + 2, 10); I32(b, U + 6, f.uniques[i]);
    }
    if (f.scanStruct) {
        I16(b, L.scanStruct, 15); I32(b, L.scanStruct + 2, 36 + f.scanStructTableBytes);
        I16(b, L.scanStruct + 6, f.numScans); I16(b, L.scanStruct + 8, f.numScans - 1);
        I16(b, L.scanStruct + 10, f.scanType);
    }
    if (f.scanBig == 18) {
        I16(b, L.scanBig, 18); I32(b, L.scanBig + 2, 20); I32(b, L.scanBig + 10, f.numScans);
        I32(b, L.scanBig + 14, f.numScans - 1); I16(b, L.scanBig + 18, f.scanType);
    } else if (f.scanBig == 19) {
        I16(b, L.scanBig, 19); I32(b, L.scanBig + 2, 54);
    }
    if (!f.comment.empty()) {
        const std::size_t C = L.comment;
        I16(b, C, 20); I32(b, C + 2, long(24 + f.comment.size() + 1)); I32(b, C + 6, -1); I32(b, C + 10, 24);
        I32(b, C + 14, -1); I16(b, C + 20, 1); I16(b, C + 22, f.commentDataHdr);
        Chars(b, C + 24, f.comment, f.comment.size() + 1);
    }
    if (f.writeXData) {
        I16(b, L.x, 16); I32(b, L.x + 2, long(6 + f.xData.size()));
        std::copy(f.xData.begin(), f.xData.end(), b.begin() + long(L.x + 6));
    }
    I16(b, L.y, 17); I32(b, L.y + 2, long(6 + f.yData.size()));
    std::copy(f.yData.begin(), f.yData.end(), b.begin() + long(L.y + 6));
    if (layout) *layout = L;
    return b;
}

// Big-endian values appended to a data block.
inline void AddF32(Bytes& b, float v) { F32(b, b.size(), v); }
inline void AddF64(Bytes& b, double v) { F64(b, b.size(), v); }
inline void AddI16(Bytes& b, int v) { I16(b, b.size(), v); }
inline void AddI32(Bytes& b, long long v) { I32(b, b.size(), v); }

}  // namespace sdftest
