// `tessel plot FILE -o preview.png`: a picture of a data set for a quick
// look. One strip per channel shows the channel's minimum and maximum in each
// pixel column (its envelope) over the abscissa, so that a million samples
// and a hundred draw the same honest picture: a peak one sample wide still
// reaches its row. The data are read once, in blocks; memory holds only the
// pixel columns.
//
// Geometry a reader of the picture may rely on: each strip is a black frame;
// the lowest and highest value of the channel lie on the rows 4 pixels inside
// the frame's bottom and top lines; the first and last scan lie on the first
// and last column inside its left and right lines.

#include "cli/CommandRegistry.h"
#include "hostlibs/dataset/Access.h"
#include "hostlibs/dataset/Dataset.h"

#include <cairo.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tessel::cli {
namespace {

namespace fs = std::filesystem;

// cairo is loaded when a picture is drawn, not when the command starts: its
// libraries (pixman, fontconfig, freetype, X11, ...) took some 10 ms of every
// `tessel` start, imports included, when the command was linked with them.
#define TESSEL_CAIRO_FUNCTIONS(X) \
    X(create) X(destroy) X(fill) X(image_surface_create) X(line_to) X(move_to) X(paint) \
    X(rectangle) X(select_font_face) X(set_antialias) X(set_font_size) X(set_line_width) \
    X(set_source_rgb) X(show_text) X(status_to_string) X(stroke) X(surface_destroy) \
    X(surface_write_to_png) X(text_extents)

struct SCairo {
#define X(name) decltype(&::cairo_##name) name = nullptr;
    TESSEL_CAIRO_FUNCTIONS(X)
#undef X
};

// Null when the library cannot be loaded; `error` then says why.
const SCairo* LoadCairo(std::string& error)
{
    static SCairo api;
    static std::string failure;
    static bool loaded = [] {
        void* lib = ::dlopen("libcairo.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* e = ::dlerror();
            failure = e ? e : "libcairo.so.2 cannot be loaded";
            return false;
        }
#define X(name)                                                                        \
        if (!(api.name = reinterpret_cast<decltype(api.name)>(::dlsym(lib, "cairo_" #name)))) { \
            failure = "libcairo.so.2 lacks cairo_" #name;                             \
            return false;                                                              \
        }
        TESSEL_CAIRO_FUNCTIONS(X)
#undef X
        return true;
    }();
    error = failure;
    return loaded ? &api : nullptr;
}

constexpr int kLeft = 84, kRight = 24, kTop = 58, kBottom = 52;
constexpr int kLabel = 20;     // channel label line above each frame
constexpr int kPad = 4;        // rows between the frame and the extreme values
constexpr int kStripHeight = 150;
constexpr long kBlockScans = 16384;

struct SPlotOptions {
    std::string input, output, title;
    int width = 1000;
    int height = 0;  // 0: from the number of channels
};

struct SColumn {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    double first = 0, last = 0;
    bool Has() const { return lo <= hi; }
    void Add(double v)
    {
        if (!Has())
            first = v;
        last = v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
};

struct SStrip {
    std::string label;
    std::vector<SColumn> cols;
    double ymin = 0, ymax = 0;
};

// Tick spacing of 1, 2 or 5 times a power of ten, about `count` ticks over the range.
double NiceStep(double range, int count)
{
    if (!(range > 0))
        return 1;
    const double raw = range / count;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / mag;
    return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * mag;
}

std::string TickText(double v, double step)
{
    if (std::fabs(v) < step * 1e-9)
        v = 0;
    char buf[64];
    const double a = std::fabs(v);
    if (a != 0 && (a >= 1e6 || a < 1e-3))
        std::snprintf(buf, sizeof buf, "%.3g", v);
    else {
        const int decimals = std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
        std::snprintf(buf, sizeof buf, "%.*f", std::min(decimals, 9), v);
    }
    return buf;
}

std::string WithUnit(const std::string& name, const std::string& unit)
{
    return unit.empty() ? name : name + " [" + unit + "]";
}

// Fills the columns of one channel from its samples, block by block.
bool ReadChannel(CDataset& ds, int channel, double x0, double x1, SStrip& strip, std::string& error)
{
    CAccess* access = ds.CreateAccess(am__read, CChNbrList{channel}, 0, 0L, -1L);
    if (!access || !access->SetAbscissaCoord(ac__world)) {
        error = "channel " + std::to_string(channel) + " could not be read";
        if (access)
            ds.DeleteAccess(access);
        return false;
    }
    const int ncols = int(strip.cols.size());
    const double scale = x1 > x0 ? (ncols - 1) / (x1 - x0) : 0;
    std::vector<double> buf(std::size_t(2 * kBlockScans));
    bool ok = true;
    while (!access->Finished()) {
        const long n = access->GetData(kBlockScans, buf.data(), ds__dorg_with_abscissa, it__double);
        if (n <= 0) {
            error = "reading channel " + std::to_string(channel) + " failed at scan " +
                    std::to_string(access->GetCurrentIndex());
            ok = false;
            break;
        }
        for (long i = 0; i < n; ++i) {
            const double x = buf[std::size_t(2 * i)], v = buf[std::size_t(2 * i + 1)];
            if (!std::isfinite(v) || !std::isfinite(x))
                continue;
            long c = std::lround((x - x0) * scale);
            c = std::clamp(c, 0L, long(ncols - 1));
            strip.cols[std::size_t(c)].Add(v);
        }
    }
    ds.DeleteAccess(access);
    return ok;
}

// Columns between two columns with samples (fewer scans than columns) get
// the straight line between the last value of one and the first of the next.
void Connect(std::vector<SColumn>& cols)
{
    int prev = -1;
    for (int c = 0; c < int(cols.size()); ++c) {
        if (!cols[std::size_t(c)].Has())
            continue;
        if (prev >= 0 && c - prev > 1) {
            const double a = cols[std::size_t(prev)].last, b = cols[std::size_t(c)].first;
            for (int k = prev + 1; k < c; ++k) {
                const double t0 = (k - 0.5 - prev) / (c - prev), t1 = (k + 0.5 - prev) / (c - prev);
                SColumn& col = cols[std::size_t(k)];
                col.Add(a + (b - a) * t0);
                col.Add(a + (b - a) * t1);
            }
        }
        prev = c;
    }
}

void Text(const SCairo* cairo, cairo_t* cr, double x, double y, const std::string& s, double align = 0)
{
    cairo_text_extents_t e;
    cairo->text_extents(cr, s.c_str(), &e);
    cairo->move_to(cr, x - align * e.x_advance, y);
    cairo->show_text(cr, s.c_str());
}

int RunPlot(const SPlotOptions& o)
{
    std::string why;
    const SCairo* cairo = LoadCairo(why);
    if (!cairo) {
        std::fprintf(stderr, "tessel: pictures cannot be drawn here (%s)\n", why.c_str());
        return kExitFailed;
    }
    std::unique_ptr<CDataset> ds;
    try {
        ds = std::make_unique<CDataset>(o.input.c_str(), om__read, 32768, sh__deny_write);
    } catch (const CDatasetException& e) {
        std::fprintf(stderr, "tessel: %s\n", ToUtf8(e.GetText()).c_str());
        return kExitFailed;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessel: %s: %s\n", o.input.c_str(), e.what());
        return kExitFailed;
    }
    const int nch = ds->GetNbrOfChannels();
    const long nscans = ds->GetNbrOfScans();
    if (nch <= 0 || nscans <= 0) {
        std::fprintf(stderr, "tessel: %s: the data set holds no %s to draw\n", o.input.c_str(),
                     nch <= 0 ? "channels" : "scans");
        return kExitFailed;
    }

    const int width = o.width;
    const int height = o.height > 0 ? o.height : kTop + kBottom + nch * (kStripHeight + kLabel);
    const int stripTotal = (height - kTop - kBottom) / nch;
    const int frameHeight = stripTotal - kLabel;
    const int ncols = width - kLeft - kRight - 2;
    if (frameHeight < 2 * kPad + 8 || ncols < 16) {
        std::fprintf(stderr, "tessel: a picture of %dx%d pixels is too small for %d channel(s)\n", width, height,
                     nch);
        return kExitUsage;
    }

    const CAbscissa absc = ds->GetAbscissa(0);
    const double x0 = ds->GetWorldFixAbsc(0, 0);
    double x1 = ds->GetWorldFixAbsc(0, nscans - 1);
    if (!(x1 > x0))
        x1 = x0 + 1;

    std::vector<SStrip> strips(static_cast<std::size_t>(nch));
    for (int ch = 0; ch < nch; ++ch) {
        SStrip& s = strips[std::size_t(ch)];
        const CChannel c = ds->GetChannel(ch);
        s.label = std::to_string(ch) + ": " + WithUnit(ToUtf8(c.GetName()), ToUtf8(c.GetUnit().GetText()));
        if (c.IsComplex())
            s.label += ", magnitude";
        s.cols.resize(std::size_t(ncols));
        std::string error;
        if (!ReadChannel(*ds, ch, x0, x1, s, error)) {
            std::fprintf(stderr, "tessel: %s: %s\n", o.input.c_str(), error.c_str());
            return kExitFailed;
        }
        Connect(s.cols);
        bool any = false;
        for (const SColumn& col : s.cols)
            if (col.Has()) {
                s.ymin = any ? std::min(s.ymin, col.lo) : col.lo;
                s.ymax = any ? std::max(s.ymax, col.hi) : col.hi;
                any = true;
            }
        if (!any || s.ymax <= s.ymin) {
            // A constant channel: its value in the middle of the strip.
            const double v = any ? s.ymin : 0, d = v != 0 ? std::fabs(v) * 0.5 : 1;
            s.ymin = v - d;
            s.ymax = v + d;
        }
    }

    cairo_surface_t* surface = cairo->image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo->create(surface);
    cairo->set_source_rgb(cr, 1, 1, 1);
    cairo->paint(cr);
    cairo->select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo->set_font_size(cr, 16);
    cairo->set_source_rgb(cr, 0, 0, 0);
    std::string title = o.title.empty() ? ToUtf8(ds->GetTitle()) : o.title;
    if (title.empty())
        title = fs::path(o.input).filename().string();
    Text(cairo, cr, kLeft, 24, title);
    cairo->select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo->set_font_size(cr, 12);
    const CDateTimeEx date = ds->GetDateOfRecording();
    std::string sub = fs::path(o.input).filename().string() + ", " + ToUtf8(CDataKind::GetName(ds->GetKind())) +
                      ", " + std::to_string(nscans) + " scans";
    Text(cairo, cr, kLeft, 42, sub);
    Text(cairo, cr, width - kRight, 24, date.IsValid() ? "recorded " + ToUtf8(date.FormatISO()) : "no date of recording", 1);

    const double xstep = NiceStep(x1 - x0, std::max(2, ncols / 110));
    auto colOf = [&](double x) { return kLeft + 1 + (x - x0) * (ncols - 1) / (x1 - x0); };
    for (int ch = 0; ch < nch; ++ch) {
        const SStrip& s = strips[std::size_t(ch)];
        const int top = kTop + ch * stripTotal + kLabel;          // frame's top line
        const int bottom = top + frameHeight - 1;                  // frame's bottom line
        const int rowHi = top + 1 + kPad, rowLo = bottom - 1 - kPad;
        auto rowOf = [&](double v) { return rowHi + (s.ymax - v) * (rowLo - rowHi) / (s.ymax - s.ymin); };

        cairo->set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
        cairo->set_source_rgb(cr, 0, 0, 0);
        Text(cairo, cr, kLeft, top - 6, s.label);

        // Grid and ticks first, under the envelope.
        cairo->set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo->set_line_width(cr, 1);
        const double ystep = NiceStep(s.ymax - s.ymin, std::max(2, frameHeight / 40));
        for (double v = std::ceil(s.ymin / ystep) * ystep; v <= s.ymax + ystep * 1e-9; v += ystep) {
            const double r = std::round(rowOf(v)) + 0.5;
            cairo->set_source_rgb(cr, 0.86, 0.86, 0.86);
            cairo->move_to(cr, kLeft + 1, r);
            cairo->line_to(cr, kLeft + 1 + ncols, r);
            cairo->stroke(cr);
            cairo->set_source_rgb(cr, 0, 0, 0);
            cairo->move_to(cr, kLeft - 4, r);
            cairo->line_to(cr, kLeft, r);
            cairo->stroke(cr);
            cairo->set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
            Text(cairo, cr, kLeft - 7, r + 4, TickText(v, ystep), 1);
            cairo->set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        }
        for (double x = std::ceil(x0 / xstep) * xstep; x <= x1 + xstep * 1e-9; x += xstep) {
            const double c = std::round(colOf(x)) + 0.5;
            cairo->set_source_rgb(cr, 0.86, 0.86, 0.86);
            cairo->move_to(cr, c, top + 1);
            cairo->line_to(cr, c, bottom);
            cairo->stroke(cr);
            cairo->set_source_rgb(cr, 0, 0, 0);
            cairo->move_to(cr, c, bottom + 1);
            cairo->line_to(cr, c, bottom + 5);
            cairo->stroke(cr);
            if (ch == nch - 1) {
                cairo->set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
                Text(cairo, cr, c, bottom + 18, TickText(x, xstep), 0.5);
                cairo->set_antialias(cr, CAIRO_ANTIALIAS_NONE);
            }
        }

        // The envelope: one filled run of rows per column.
        cairo->set_source_rgb(cr, 31 / 255.0, 78 / 255.0, 154 / 255.0);
        for (int c = 0; c < ncols; ++c) {
            const SColumn& col = s.cols[std::size_t(c)];
            if (!col.Has())
                continue;
            const long r0 = std::lround(rowOf(col.hi)), r1 = std::lround(rowOf(col.lo));
            cairo->rectangle(cr, kLeft + 1 + c, double(r0), 1, double(r1 - r0 + 1));
        }
        cairo->fill(cr);

        cairo->set_source_rgb(cr, 0, 0, 0);
        cairo->rectangle(cr, kLeft + 0.5, top + 0.5, ncols + 1, frameHeight - 1);
        cairo->stroke(cr);
    }
    cairo->set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo->set_source_rgb(cr, 0, 0, 0);
    Text(cairo, cr, kLeft + ncols / 2.0, height - 10,
         WithUnit(ToUtf8(absc.GetName()), ToUtf8(absc.GetUnit().GetText())), 0.5);
    cairo->destroy(cr);

    // Written aside and renamed, so that a failed write leaves no half picture.
    const fs::path out(o.output);
    const fs::path aside = out.parent_path() / ("." + out.filename().string() + ".tessel-" + std::to_string(::getpid()));
    const cairo_status_t st = cairo->surface_write_to_png(surface, aside.c_str());
    cairo->surface_destroy(surface);
    std::error_code ec;
    if (st == CAIRO_STATUS_SUCCESS)
        fs::rename(aside, out, ec);
    if (st != CAIRO_STATUS_SUCCESS || ec) {
        fs::remove(aside, ec);
        std::fprintf(stderr, "tessel: %s: the picture could not be written (%s)\n", o.output.c_str(),
                     st != CAIRO_STATUS_SUCCESS ? cairo->status_to_string(st) : ec.message().c_str());
        return kExitFailed;
    }
    return kExitOk;
}

std::function<int()> SetupPlot(CLI::App& cmd)
{
    auto o = std::make_shared<SPlotOptions>();
    cmd.add_option("file", o->input, "TRX data set")->required();
    cmd.add_option("-o,--output", o->output, "PNG file to write (replaced when it exists)")->required();
    cmd.add_option("--width", o->width, "Width in pixels")->check(CLI::Range(200, 20000))->capture_default_str();
    cmd.add_option("--height", o->height, "Height in pixels (default: 170 per channel and 110 more)")
        ->check(CLI::Range(100, 20000));
    cmd.add_option("--title", o->title, "Title (default: the data set's title, else the file name)");
    cmd.footer("One strip per channel with its minimum and maximum per pixel column over abscissa 0; "
               "complex channels show their magnitude. In each black frame the channel's lowest and highest "
               "values lie on the rows 4 pixels inside the bottom and top lines, the first and last scan on "
               "the first and last column inside the frame.");
    return [o] { return RunPlot(*o); };
}

TESSEL_REGISTER_TOPLEVEL("plot", "Draw a picture of a TRX data set (PNG)", SetupPlot)

}  // namespace
}  // namespace tessel::cli
