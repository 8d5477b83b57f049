#include "svg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lxtool::svg {

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    return s == "-0" ? "0" : s;
}

namespace {

double nice_step(double span, int count) {
    double raw = span / std::max(count, 1);
    double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * magnitude >= raw) return m * magnitude;
    return 10 * magnitude;
}

int decimals_for(double step) {
    int d = 0;
    while (d < 4 &&
           std::fabs(step * std::pow(10.0, d) - std::round(step * std::pow(10.0, d))) > 1e-6)
        ++d;
    return d;
}

} // namespace

std::vector<double> ticks(double lo, double hi, int count) {
    std::vector<double> result;
    if (!(hi > lo)) return result;
    double step = nice_step(hi - lo, count);
    for (double t = std::ceil(lo / step - 1e-9) * step; t <= hi + step * 1e-9; t += step)
        result.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
    return result;
}

double round_up(double hi) {
    if (hi == 0) return 0;
    if (hi < 0) return -round_down(-hi);
    double step = nice_step(hi, 8);
    return std::ceil(hi / step - 1e-9) * step;
}

double round_down(double lo) {
    if (lo == 0) return 0;
    if (lo < 0) return -round_up(-lo);
    double step = nice_step(lo, 8);
    return std::floor(lo / step + 1e-9) * step;
}

double y_pixel(const Box& area, const Axis& y, double value) {
    return area.y + area.h - (value - y.lo) / (y.hi - y.lo) * area.h;
}

std::string frame(const Box& area, const std::string& x_label, const std::string& y_label,
                  double y_label_gap) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "<rect x='%.1f' y='%.1f' width='%.1f' height='%.1f' class='frame'/>\n"
                  "<text x='%.1f' y='%.1f' class='label' text-anchor='middle'>%s</text>\n"
                  "<text transform='translate(%.1f %.1f) rotate(-90)' class='label' "
                  "text-anchor='middle'>%s</text>\n",
                  area.x, area.y, area.w, area.h, area.x + area.w / 2, area.y + area.h + 36,
                  escape(x_label).c_str(), area.x - y_label_gap, area.y + area.h / 2,
                  escape(y_label).c_str());
    return buf;
}

std::string axes(const Box& area, const Axis& x, const Axis& y) {
    std::string s;
    char buf[512];
    std::vector<double> xt = ticks(x.lo, x.hi, 8), yt = ticks(y.lo, y.hi, 6);
    int xd = xt.size() > 1 ? decimals_for(xt[1] - xt[0]) : 0;
    int yd = yt.size() > 1 ? decimals_for(yt[1] - yt[0]) : 0;
    for (double t : xt) {
        double px = area.x + (t - x.lo) / (x.hi - x.lo) * area.w;
        std::snprintf(buf, sizeof buf,
                      "<line x1='%.1f' y1='%.1f' x2='%.1f' y2='%.1f' class='grid'/>"
                      "<text x='%.1f' y='%.1f' class='tick' text-anchor='middle'>%s</text>\n",
                      px, area.y, px, area.y + area.h, px, area.y + area.h + 16,
                      fixed(t, xd).c_str());
        s += buf;
    }
    for (double t : yt) {
        double py = y_pixel(area, y, t);
        std::snprintf(buf, sizeof buf,
                      "<line x1='%.1f' y1='%.1f' x2='%.1f' y2='%.1f' class='%s'/>"
                      "<text x='%.1f' y='%.1f' class='tick' text-anchor='end'>%s</text>\n",
                      area.x, py, area.x + area.w, py, t == 0 ? "zero" : "grid", area.x - 6, py + 4,
                      fixed(t, yd).c_str());
        s += buf;
    }
    s += frame(area, x.label, y.label, 48);
    return s;
}

std::string pen_attributes(const Pen& pen) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "stroke='%s' stroke-width='%.2f'%s%s", pen.colour.c_str(),
                  pen.width, pen.dashed ? " stroke-dasharray='5 3'" : "",
                  pen.opacity < 1 ? (" stroke-opacity='" + fixed(pen.opacity, 2) + "'").c_str()
                                  : "");
    return buf;
}

std::string polyline(const std::vector<int>& x, const std::vector<int>& y, int count,
                     const Box& area, double scale, bool flip_y, const Pen& pen) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "<g transform='translate(%.1f %.1f) scale(%g %g)'>", area.x,
                  flip_y ? area.y + area.h : area.y, 1.0 / scale,
                  flip_y ? -1.0 / scale : 1.0 / scale);
    std::string s = buf;
    s += "<polyline fill='none' stroke-linejoin='round' stroke-linecap='round' "
         "vector-effect='non-scaling-stroke' " +
         pen_attributes(pen) + " points='";
    // A point within half a pixel of the last one drawn adds nothing to see.
    double near = scale / 2;
    std::size_t last = 0;
    for (std::size_t i = 0; i < std::size_t(count); ++i) {
        bool end = i == 0 || i + 1 == std::size_t(count);
        if (!end && std::abs(x[i] - x[last]) <= near && std::abs(y[i] - y[last]) <= near) continue;
        if (i > 0) s += " ";
        s += std::to_string(x[i]) + "," + std::to_string(y[i]);
        last = i;
    }
    s += "'/></g>\n";
    return s;
}

std::string legend(const std::vector<LegendEntry>& entries, double x, double y, double width,
                   double column_width, double* height) {
    int columns = std::max(1, int(width / column_width));
    std::string s;
    char buf[512];
    for (std::size_t i = 0; i < entries.size(); ++i) {
        double ex = x + double(int(i) % columns) * column_width;
        double ey = y + double(int(i) / columns) * 18;
        std::snprintf(buf, sizeof buf,
                      "<line x1='%.1f' y1='%.1f' x2='%.1f' y2='%.1f' %s/>"
                      "<text x='%.1f' y='%.1f' class='legend'>%s</text>\n",
                      ex, ey, ex + 22, ey, pen_attributes(entries[i].pen).c_str(), ex + 28, ey + 4,
                      escape(entries[i].label).c_str());
        s += buf;
    }
    int rows = (int(entries.size()) + columns - 1) / columns;
    if (height) *height = rows * 18.0;
    return s;
}

std::string lap_colour(int index) {
    static const std::array<const char*, 10> palette = {"#4e79a7", "#f28e2b", "#59a14f", "#b07aa1",
                                                        "#76b7b2", "#edc948", "#9c755f", "#ff9da7",
                                                        "#e15759", "#86bcb6"};
    return palette[std::size_t(index) % palette.size()];
}

std::string ramp_colour(double t) {
    static const std::array<std::array<double, 3>, 5> stops = {
        {{44, 123, 182}, {0, 166, 202}, {171, 221, 164}, {253, 174, 97}, {215, 25, 28}}};
    t = std::clamp(t, 0.0, 1.0) * double(stops.size() - 1);
    std::size_t i = std::min(std::size_t(t), stops.size() - 2);
    double f = t - double(i);
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x",
                  int(stops[i][0] + (stops[i + 1][0] - stops[i][0]) * f),
                  int(stops[i][1] + (stops[i + 1][1] - stops[i][1]) * f),
                  int(stops[i][2] + (stops[i + 1][2] - stops[i][2]) * f));
    return buf;
}

std::string document(double width, double height, const std::string& body,
                     const std::string& title) {
    char head[512];
    std::snprintf(head, sizeof head,
                  "<svg xmlns='http://www.w3.org/2000/svg' width='%.0f' height='%.0f' "
                  "viewBox='0 0 %.0f %.0f' font-family='Helvetica, Arial, sans-serif'>\n"
                  "<title>%s</title>\n",
                  width, height, width, height, escape(title).c_str());
    static const char* style =
        "<style>.grid{stroke:#e3e3e3;stroke-width:1}.zero{stroke:#888;stroke-width:1}"
        ".frame{fill:none;stroke:#666;stroke-width:1}.tick{font-size:11px;fill:#444}"
        ".label{font-size:12px;fill:#222}.legend{font-size:11px;fill:#222}"
        ".heading{font-size:14px;font-weight:bold;fill:#222}.note{font-size:11px;fill:#555}"
        "</style>\n<rect width='100%' height='100%' fill='white'/>\n";
    return std::string(head) + style + body + "</svg>\n";
}

} // namespace lxtool::svg
