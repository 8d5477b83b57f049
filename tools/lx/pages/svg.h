// Small SVG kit for the figures: axes with ticks, legends and colours.
#pragma once

#include <string>
#include <vector>

namespace lxtool::svg {

std::string escape(const std::string& text);
std::string fixed(double value, int decimals);
// Round values between lo and hi, about count of them.
std::vector<double> ticks(double lo, double hi, int count);
// A round number at or above hi (or at or below lo), for axis ends.
double round_up(double hi);
double round_down(double lo);

struct Box {
    double x, y, w, h;
};

struct Axis {
    double lo, hi;
    std::string label; // with its unit
};

// Frame, grid lines, tick labels and axis titles of a chart in area.
std::string axes(const Box& area, const Axis& x, const Axis& y);
// The plot's frame with the x label below it and the y label turned up at its left.
std::string frame(const Box& area, const std::string& x_label, const std::string& y_label,
                  double y_label_gap);
// The pixel of a value on the vertical axis.
double y_pixel(const Box& area, const Axis& y, double value);

struct Pen {
    std::string colour;
    double width = 1.5;
    bool dashed = false;
    double opacity = 1.0;
};
std::string pen_attributes(const Pen& pen);

// Integer points from the library, drawn in a window scale times the size of
// area; flip_y when the points grow upwards.
std::string polyline(const std::vector<int>& x, const std::vector<int>& y, int count,
                     const Box& area, double scale, bool flip_y, const Pen& pen);

struct LegendEntry {
    Pen pen;
    std::string label;
};
// Entries in columns of column_width from (x, y); returns the height used.
std::string legend(const std::vector<LegendEntry>& entries, double x, double y, double width,
                   double column_width, double* height);

// Distinct colours for overlaid laps.
std::string lap_colour(int index);
// Blue (low) to red (high) for t from 0 to 1.
std::string ramp_colour(double t);

std::string document(double width, double height, const std::string& body,
                     const std::string& title);

} // namespace lxtool::svg
