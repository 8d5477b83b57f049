// The data and the script behind the charts' hover and the lap table's
// clicks. The figures are drawn in full without them.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "json.h"
#include "page_parts.h"

namespace lxtool {

namespace {

// A lap's channel every HOVER_STEP metres from its start line, up to length
// and its own end, linearly between samples.
std::vector<double> every_step(const std::vector<double>& at, const std::vector<float>& values,
                               double length) {
    std::vector<double> out;
    std::size_t n = std::min(at.size(), values.size()), j = 0;
    if (n == 0) return out;
    for (double d = 0; d <= length && d <= at[n - 1]; d += HOVER_STEP) {
        while (j + 2 < n && at[j + 1] <= d) ++j;
        double span = at[j + 1 < n ? j + 1 : j] - at[j];
        double f = span > 0 ? std::clamp((d - at[j]) / span, 0.0, 1.0) : 0.0;
        double next = values[j + 1 < n ? j + 1 : j];
        out.push_back(values[j] + (next - values[j]) * f);
    }
    return out;
}

std::string json_numbers(const std::vector<double>& values, int decimals, double scale = 1) {
    std::string s = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        s += (i ? "," : "") + json_number(values[i] * scale, decimals);
    return s + "]";
}

std::string trace_json(const Trace& t, double length) {
    const Session& s = *t.session;
    std::vector<double> at = lap_distances(s, t.lap);
    std::vector<float> speed = lap_samples(s, t.lap, derived_channel(s, LX_CHANNEL_SPEED));
    TimeDiff d = time_diff(s, t.lap); // on the reference lap's distances
    std::vector<float> diff(d.diff.begin(), d.diff.end());
    return "{\"key\":" + json_string(t.key) + ",\"label\":" + json_string(t.label) +
           ",\"colour\":" + json_string(t.pen.colour) +
           ",\"speed\":" + json_numbers(every_step(at, speed, length), 1, KMH) +
           ",\"diff\":" + json_numbers(every_step(d.distance, diff, length), 2) + "}";
}

} // namespace

std::string hover_data(const std::vector<Trace>& traces, const std::vector<Point>& map,
                       const std::vector<double>& map_distances, double length) {
    std::vector<float> xs, ys;
    for (const Point& p : map) xs.push_back(float(p.x)), ys.push_back(float(p.y));
    std::vector<double> x = every_step(map_distances, xs, length);
    std::vector<double> y = every_step(map_distances, ys, length);
    std::vector<double> xy;
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i)
        xy.push_back(x[i]), xy.push_back(y[i]);
    std::string s =
        "<script id='lx-data' type='application/json'>{\"step\":" + svg::fixed(HOVER_STEP, 0) +
        ",\"length\":" + svg::fixed(length, 1) + ",\"map\":" + json_numbers(xy, 1) + ",\"laps\":[";
    for (std::size_t i = 0; i < traces.size(); ++i)
        s += (i ? ",\n" : "\n") + trace_json(traces[i], length);
    return s + "]}</script>\n";
}

std::string map_cursor() {
    return "<circle id='cursor' r='7' fill='none' stroke='#c00' stroke-width='3' "
           "visibility='hidden'/>\n";
}

const char* const HOVER_SCRIPT = R"(<script>
(function () {
  'use strict';
  var data = JSON.parse(document.getElementById('lx-data').textContent);
  var NS = 'http://www.w3.org/2000/svg';
  var speed = document.getElementById('speed-chart');
  var dot = document.getElementById('cursor');
  var hidden = {};
  if (!speed) return;
  var readout = document.createElement('div');
  readout.className = 'readout';
  document.body.appendChild(readout);
  function area(svg) { return svg.getAttribute('data-area').split(' ').map(Number); }
  var cursors = [].slice.call(document.querySelectorAll('svg[data-area]')).map(function (svg) {
    var a = area(svg), line = document.createElementNS(NS, 'line');
    line.setAttribute('y1', a[1]); line.setAttribute('y2', a[1] + a[3]);
    line.setAttribute('stroke', '#c00'); line.setAttribute('visibility', 'hidden');
    line.style.pointerEvents = 'none';
    svg.appendChild(line);
    return { a: a, line: line };
  });
  function hide() {
    if (dot) dot.setAttribute('visibility', 'hidden');
    readout.style.display = 'none';
    cursors.forEach(function (c) { c.line.setAttribute('visibility', 'hidden'); });
  }
  function value(list, i, digits, unit) {
    var v = list[i];
    return v === undefined || v === null ? '-' : (v > 0 && unit === ' s' ? '+' : '') + v.toFixed(digits) + unit;
  }
  function show(e) {
    var p = speed.createSVGPoint(), a = area(speed);
    p.x = e.clientX; p.y = e.clientY;
    p = p.matrixTransform(speed.getScreenCTM().inverse());
    var metres = (p.x - a[0]) / a[2] * data.length, i = Math.round(metres / data.step);
    if (metres < 0 || metres > data.length) return hide();
    i = Math.min(i, Math.floor(data.length / data.step));
    if (dot && 2 * i + 1 < data.map.length) {
      dot.setAttribute('cx', data.map[2 * i]); dot.setAttribute('cy', data.map[2 * i + 1]);
      dot.setAttribute('visibility', 'visible');
    }
    cursors.forEach(function (c) {
      var x = c.a[0] + i * data.step / data.length * c.a[2];
      c.line.setAttribute('x1', x); c.line.setAttribute('x2', x);
      c.line.setAttribute('visibility', 'visible');
    });
    readout.textContent = '';
    var head = document.createElement('b');
    head.textContent = (i * data.step) + ' m';
    readout.appendChild(head);
    data.laps.forEach(function (lap) {
      if (hidden[lap.key]) return;
      var row = document.createElement('div');
      row.style.color = lap.colour === '#111111' ? '#000' : lap.colour;
      row.textContent = lap.label + ': ' + value(lap.speed, i, 1, ' km/h') + ', ' + value(lap.diff, i, 2, ' s');
      readout.appendChild(row);
    });
    readout.style.left = (e.pageX + 16) + 'px'; readout.style.top = (e.pageY + 16) + 'px';
    readout.style.display = 'block';
  }
  speed.addEventListener('mousemove', show);
  speed.addEventListener('mouseleave', hide);
  [].forEach.call(document.querySelectorAll('tr[data-lap]'), function (row) {
    row.addEventListener('click', function () {
      var key = row.getAttribute('data-lap');
      hidden[key] = !hidden[key];
      row.classList.toggle('off', hidden[key]);
      [].forEach.call(document.querySelectorAll("g.lap[data-lap='" + key + "']"), function (g) {
        g.style.display = hidden[key] ? 'none' : '';
      });
    });
  });
  document.body.classList.add('interactive');
})();
</script>
)";

} // namespace lxtool
