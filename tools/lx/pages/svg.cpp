#include "svg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "assets.h"
#include "markup.h"

namespace lxtool::svg {

std::string escape(const std::string& text) {
    return markup::escape(text);
}

std::string fixed(double value, int decimals) {
    return markup::number(value, decimals);
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
    using markup::attr;
    std::string y_at = "translate(" + fixed(area.x - y_label_gap, 1) + " " +
                       fixed(area.y + area.h / 2, 1) + ") rotate(-90)";
    return markup::empty("rect",
                         {attr("x", area.x, 1), attr("y", area.y, 1), attr("width", area.w, 1),
                          attr("height", area.h, 1), attr("class", "frame")}) +
           "\n" +
           markup::text("text",
                        {attr("x", area.x + area.w / 2, 1), attr("y", area.y + area.h + 36, 1),
                         attr("class", "label"), attr("text-anchor", "middle")},
                        x_label) +
           "\n" +
           markup::text(
               "text",
               {attr("transform", y_at), attr("class", "label"), attr("text-anchor", "middle")},
               y_label) +
           "\n";
}

namespace {

std::string grid_line(double x1, double y1, double x2, double y2, const char* cls) {
    using markup::attr;
    return markup::empty("line", {attr("x1", x1, 1), attr("y1", y1, 1), attr("x2", x2, 1),
                                  attr("y2", y2, 1), attr("class", cls)});
}

std::string tick_label(double x, double y, const char* anchor, const std::string& text,
                       const char* cls = "tick") {
    using markup::attr;
    return markup::text(
               "text",
               {attr("x", x, 1), attr("y", y, 1), attr("class", cls), attr("text-anchor", anchor)},
               text) +
           "\n";
}

} // namespace

std::string axes(const Box& area, const Axis& x, const Axis& y) {
    std::string s;
    std::vector<double> xt = ticks(x.lo, x.hi, 8), yt = ticks(y.lo, y.hi, 6);
    int xd = xt.size() > 1 ? decimals_for(xt[1] - xt[0]) : 0;
    int yd = yt.size() > 1 ? decimals_for(yt[1] - yt[0]) : 0;
    for (double t : xt) {
        double px = area.x + (t - x.lo) / (x.hi - x.lo) * area.w;
        // class x: what a page's script replaces when it zooms along the x axis
        s += grid_line(px, area.y, px, area.y + area.h, "grid x") +
             tick_label(px, area.y + area.h + 16, "middle", fixed(t, xd), "tick x");
    }
    for (double t : yt) {
        double py = y_pixel(area, y, t);
        s += grid_line(area.x, py, area.x + area.w, py, t == 0 ? "zero" : "grid") +
             tick_label(area.x - 6, py + 4, "end", fixed(t, yd));
    }
    s += frame(area, x.label, y.label, 48);
    return s;
}

std::string pen_attributes(const Pen& pen) {
    std::string s =
        "stroke='" + escape(pen.colour) + "' stroke-width='" + fixed(pen.width, 2) + "'";
    if (pen.dashed) s += " stroke-dasharray='5 3'";
    if (pen.opacity < 1) s += " stroke-opacity='" + fixed(pen.opacity, 2) + "'";
    return s;
}

std::string polyline(const std::vector<int>& x, const std::vector<int>& y, int count,
                     const Box& area, double scale, bool flip_y, const Pen& pen) {
    std::string s = markup::start(
        "g", {markup::attr("transform", "translate(" + fixed(area.x, 1) + " " +
                                            fixed(flip_y ? area.y + area.h : area.y, 1) +
                                            ") scale(" + fixed(1.0 / scale, 4) + " " +
                                            fixed((flip_y ? -1.0 : 1.0) / scale, 4) + ")")});
    s += "<polyline fill='none' stroke-linejoin='round' stroke-linecap='round' "
         "vector-effect='non-scaling-stroke' " +
         pen_attributes(pen) + " points='";
    // A point within a pixel of the last one drawn adds little to see, and
    // keeps a lap across a 1,000 px chart to about 2,000 points.
    double near = scale;
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
    using markup::attr;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        double ex = x + double(int(i) % columns) * column_width;
        double ey = y + double(int(i) / columns) * 18;
        s += "<line x1='" + fixed(ex, 1) + "' y1='" + fixed(ey, 1) + "' x2='" + fixed(ex + 22, 1) +
             "' y2='" + fixed(ey, 1) + "' " + pen_attributes(entries[i].pen) + "/>" +
             markup::text("text",
                          {attr("x", ex + 28, 1), attr("y", ey + 4, 1), attr("class", "legend")},
                          entries[i].label) +
             "\n";
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
    static const char* const HEX = "0123456789abcdef";
    std::string colour = "#";
    for (std::size_t k = 0; k < 3; ++k) {
        int v = std::clamp(int(stops[i][k] + (stops[i + 1][k] - stops[i][k]) * f), 0, 255);
        colour += HEX[v >> 4];
        colour += HEX[v & 15];
    }
    return colour;
}

std::string document(double width, double height, const std::string& body,
                     const std::string& title) {
    using markup::attr;
    std::string w = fixed(width, 0), h = fixed(height, 0);
    return markup::start("svg", {attr("xmlns", "http://www.w3.org/2000/svg"), attr("width", w),
                                 attr("height", h), attr("viewBox", "0 0 " + w + " " + h),
                                 attr("font-family", "Helvetica, Arial, sans-serif")}) +
           "\n" + markup::text("title", {}, title) + "\n" +
           markup::text("style", {}, assets::FIGURE_CSS) +
           "\n<rect width='100%' height='100%' fill='white'/>\n" + body + "</svg>\n";
}

} // namespace lxtool::svg
