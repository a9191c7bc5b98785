#pragma once
// A small, independent writer and reader of universal-file data sets 58/58b,
// written for the tests straight from the published record layout (Fortran
// formats: record 6 2(I5,I10),2(1X,10A1,I10,I4); record 7 3I10,3E13.5;
// records 8-11 I10,3I5,2(1X,20A1); data 6E13.5 / 4E20.12 / ...). It shares no
// code with the module, so a symmetric mistake in the module cannot hide.

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace uffref {

struct Axis {
    int type = 0, len = 0, force = 0, temp = 0;
    std::string label = "NONE", units = "NONE";
};

struct DataSet {
    std::string id[5] = {"NONE", "NONE", "NONE", "NONE", "NONE"};
    int funcType = 1, funcId = 0, version = 0, loadCase = 0;
    std::string respEntity = "NONE", refEntity = "NONE";
    int respNode = 0, respDir = 0, refNode = 0, refDir = 0;
    int ordType = 2;       // 2 real single, 4 real double, 5 complex single, 6 complex double
    int spacing = 1;       // 1 even, 0 uneven
    double xmin = 0.0, dx = 1.0, z = 0.0;
    Axis axis[4];
    std::vector<double> x;     // uneven abscissa values
    std::vector<double> re;    // ordinate (real part)
    std::vector<double> im;    // imaginary part (complex types)
    bool binary = false;
    bool bigEndian = false;
    int fpFormat = 2;
    long long pointsOverride = -1;  // to write a header that lies about the count
};

inline std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
inline std::string fmt(const char* f, ...)
{
    char b[512];
    va_list a;
    va_start(a, f);
    std::vsnprintf(b, sizeof b, f, a);
    va_end(a);
    return b;
}

// Fortran Ew.d: uppercase E, two-digit exponent.
inline std::string E(double v, int w, int d) { return fmt("%*.*E", w, d, v); }

inline void putLine(std::string& out, const std::string& s, const char* eol) { out += s + eol; }

template <class T>
inline void putRaw(std::string& out, T v, bool big)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    if (big)
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(b[i], b[sizeof(T) - 1 - i]);
    out.append(reinterpret_cast<const char*>(b), sizeof(T));
}

// Appends one data set to `out`; eol is "\n" or "\r\n".
inline void write(std::string& out, const DataSet& d, const char* eol = "\n")
{
    const bool cplx = d.ordType == 5 || d.ordType == 6;
    const bool dbl = d.ordType == 4 || d.ordType == 6;
    const bool uneven = d.spacing == 0;
    const long long n = d.pointsOverride >= 0 ? d.pointsOverride : (long long)d.re.size();

    std::string data;  // binary payload or ASCII lines
    if (d.binary) {
        for (std::size_t i = 0; i < d.re.size(); ++i) {
            if (uneven) putRaw<float>(data, float(d.x[i]), d.bigEndian);
            if (dbl) putRaw<double>(data, d.re[i], d.bigEndian); else putRaw<float>(data, float(d.re[i]), d.bigEndian);
            if (cplx) { if (dbl) putRaw<double>(data, d.im[i], d.bigEndian); else putRaw<float>(data, float(d.im[i]), d.bigEndian); }
        }
    } else {
        // Fields per point, with their widths, following the published table.
        std::vector<std::string> fields;
        for (std::size_t i = 0; i < d.re.size(); ++i) {
            if (uneven) fields.push_back(E(d.x[i], 13, 5));
            fields.push_back(dbl ? E(d.re[i], 20, 12) : E(d.re[i], 13, 5));
            if (cplx) fields.push_back(dbl ? E(d.im[i], 20, 12) : E(d.im[i], 13, 5));
        }
        std::size_t perLine = !dbl ? 6 : (uneven ? (cplx ? 3 : 4) : 4);
        for (std::size_t i = 0; i < fields.size(); i += perLine) {
            std::string line;
            for (std::size_t k = i; k < fields.size() && k < i + perLine; ++k) line += fields[k];
            data += line + eol;
        }
    }

    putLine(out, "    -1", eol);
    if (d.binary)
        putLine(out, fmt("%6d%c%6d%6d%12d%12lld%6d%6d%12d%12d", 58, 'b', d.bigEndian ? 2 : 1, d.fpFormat, 11,
                         (long long)data.size(), 0, 0, 0, 0), eol);
    else
        putLine(out, "    58", eol);
    for (const std::string& s : d.id) putLine(out, s, eol);
    putLine(out, fmt("%5d%10d%5d%10d %-10.10s%10d%4d %-10.10s%10d%4d", d.funcType, d.funcId, d.version, d.loadCase,
                     d.respEntity.c_str(), d.respNode, d.respDir, d.refEntity.c_str(), d.refNode, d.refDir), eol);
    putLine(out, fmt("%10d%10lld%10d", d.ordType, n, d.spacing) + E(d.xmin, 13, 5) + E(d.dx, 13, 5) + E(d.z, 13, 5), eol);
    for (const Axis& a : d.axis)
        putLine(out, fmt("%10d%5d%5d%5d %-20.20s %-20.20s", a.type, a.len, a.force, a.temp, a.label.c_str(), a.units.c_str()), eol);
    out += data;
    putLine(out, "    -1", eol);
}

// A time signal in m/s^2 of n points, (i - n/3) / 8 times scale: values that
// every field width holds exactly.
inline DataSet Ramp(int n, double dx = 0.001, double scale = 1.0)
{
    DataSet d;
    d.id[0] = "Run 7";
    d.id[2] = "12-MAR-03 14:05:09";
    d.axis[0] = {17, 0, 0, 0, "Time", "s"};
    d.axis[1] = {12, 0, 0, 0, "Accel", "m/s^2"};
    d.dx = dx;
    for (int i = 0; i < n; ++i)
        d.re.push_back(scale * (i - n / 3) * 0.125);
    return d;
}

// ---- reader of what the module exports ----------------------------------------------

struct Read {
    std::vector<std::string> lines;   // header lines without line ends
    bool binary = false;
    long long byteCount = 0;
    std::vector<std::string> dataLines;
    std::string raw;                  // binary payload
};

// Splits a whole file into data sets; checks the line ends as it goes. Every
// ASCII line must end in CR LF when crlf is set, else in a bare LF.
inline bool split(const std::string& file, bool crlf, std::vector<Read>& out, std::string& why)
{
    std::size_t p = 0;
    auto nextLine = [&](std::string& line) -> bool {
        std::size_t lf = file.find('\n', p);
        if (lf == std::string::npos) { why = "missing line end"; return false; }
        std::size_t end = lf;
        if (crlf) {
            if (lf == p || file[lf - 1] != '\r') { why = "line without CR LF at offset " + std::to_string(p); return false; }
            --end;
        } else if (lf > p && file[lf - 1] == '\r') { why = "CR in a binary-form file"; return false; }
        line = file.substr(p, end - p);
        p = lf + 1;
        return true;
    };
    while (p < file.size()) {
        Read r;
        std::string line;
        if (!nextLine(line) || line.substr(0, 6) != "    -1") { why += " (start line)"; return false; }
        for (int i = 0; i < 12; ++i) {  // type line and records 1 to 11
            if (!nextLine(line)) return false;
            r.lines.push_back(line);
        }
        r.binary = r.lines[0].size() > 6 && r.lines[0][6] == 'b';
        if (r.binary) {
            r.byteCount = std::stoll(r.lines[0].substr(31, 12));  // columns 32-43
            r.raw = file.substr(p, std::size_t(r.byteCount));
            p += std::size_t(r.byteCount);
            if (!nextLine(line) || line != "    -1") { why = "no end line after binary data"; return false; }
        } else {
            for (;;) {
                if (!nextLine(line)) return false;
                if (line.substr(0, 6) == "    -1" && line.find_first_not_of(' ', 6) == std::string::npos) break;
                r.dataLines.push_back(line);
            }
        }
        out.push_back(r);
    }
    return true;
}

inline std::string cols(const std::string& s, std::size_t first, std::size_t last)
{
    return first - 1 < s.size() ? s.substr(first - 1, last - first + 1) : std::string();
}
inline long long icol(const std::string& s, std::size_t first, std::size_t last) { return std::stoll(cols(s, first, last)); }
inline double dcol(const std::string& s, std::size_t first, std::size_t last) { return std::stod(cols(s, first, last)); }
inline std::string trim(const std::string& s)
{
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

}  // namespace uffref
