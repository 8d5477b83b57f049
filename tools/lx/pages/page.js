// The report's and compare page's interaction; the figures are whole without it.
// Hover: every lap's speed and time difference at one place, marked on the map.
// Lap table: a click hides or shows a lap everywhere. Zoom: a drag across a
// distance chart, or a click on a corner, shows that stretch in every chart
// and on the map; a double click shows the whole lap again.
(function () {
  'use strict';
  var data = JSON.parse(document.getElementById('lx-data').textContent);
  var NS = 'http://www.w3.org/2000/svg';
  var dot = document.getElementById('cursor');
  var map = document.getElementById('map');
  var hidden = {};
  var view = { from: 0, to: data.length };
  var charts = [].slice.call(document.querySelectorAll('svg[data-area]'));
  if (!charts.length) return;
  var readout = document.createElement('div');
  readout.className = 'readout';
  document.body.appendChild(readout);

  function element(name, attributes, parent) {
    var e = document.createElementNS(NS, name);
    Object.keys(attributes).forEach(function (k) { e.setAttribute(k, attributes[k]); });
    if (parent) parent.appendChild(e);
    return e;
  }

  // Each chart's plot area, its lines wrapped so that a transform zooms them
  // inside the clip, and the marks the script adds.
  charts = charts.map(function (svg) {
    var a = svg.getAttribute('data-area').split(' ').map(Number);
    var clipped = svg.querySelector('g[clip-path]'), inner = element('g', {});
    if (clipped) {
      while (clipped.firstChild) inner.appendChild(clipped.firstChild);
      clipped.appendChild(inner);
    }
    var line = element('line', { y1: a[1], y2: a[1] + a[3], stroke: '#c00', visibility: 'hidden' }, svg);
    var band = element('rect', { y: a[1], height: a[3], fill: '#c00', 'fill-opacity': 0.12, visibility: 'hidden' }, svg);
    var ticks = element('g', {}, svg);
    line.style.pointerEvents = band.style.pointerEvents = 'none';
    return { svg: svg, a: a, inner: inner, line: line, band: band, ticks: ticks };
  });

  function metresAt(chart, e) {
    var p = chart.svg.createSVGPoint();
    p.x = e.clientX; p.y = e.clientY;
    p = p.matrixTransform(chart.svg.getScreenCTM().inverse());
    return view.from + (p.x - chart.a[0]) / chart.a[2] * (view.to - view.from);
  }
  function xOf(chart, metres) {
    return chart.a[0] + (metres - view.from) / (view.to - view.from) * chart.a[2];
  }

  // Round ticks across the zoomed range, in place of the whole lap's.
  function drawTicks(chart) {
    chart.ticks.textContent = '';
    var whole = view.from <= 0 && view.to >= data.length;
    [].forEach.call(chart.svg.querySelectorAll('.x'), function (t) { t.style.display = whole ? '' : 'none'; });
    if (whole) return;
    var span = view.to - view.from, raw = span / 8, magnitude = Math.pow(10, Math.floor(Math.log10(raw)));
    var step = [1, 2, 2.5, 5, 10].map(function (m) { return m * magnitude; }).filter(function (s) { return s >= raw; })[0];
    for (var m = Math.ceil(view.from / step) * step; m <= view.to; m += step) {
      var x = xOf(chart, m);
      element('line', { x1: x, x2: x, y1: chart.a[1], y2: chart.a[1] + chart.a[3], 'class': 'grid' }, chart.ticks);
      element('text', { x: x, y: chart.a[1] + chart.a[3] + 16, 'class': 'tick', 'text-anchor': 'middle' }, chart.ticks)
        .textContent = Math.round(m);
    }
  }

  var highlight = map ? element('polyline', { fill: 'none', stroke: '#c00', 'stroke-width': 9, 'stroke-opacity': 0.45,
    'stroke-linecap': 'round', visibility: 'hidden' }, map) : null;
  if (highlight) highlight.style.pointerEvents = 'none';

  function zoom(from, to) {
    from = Math.max(0, from); to = Math.min(data.length, to);
    if (!(to - from > 1)) return;
    view = { from: from, to: to };
    var k = data.length / (to - from);
    charts.forEach(function (c) {
      var left = c.a[0] + from / data.length * c.a[2];
      c.inner.setAttribute('transform', 'translate(' + c.a[0] + ' 0) scale(' + k + ' 1) translate(' + (-left) + ' 0)');
      drawTicks(c);
    });
    document.body.setAttribute('data-zoom', Math.round(from) + '-' + Math.round(to));
    if (highlight) {
      var points = [];
      for (var i = Math.ceil(from / data.step); i * data.step <= to && 2 * i + 1 < data.map.length; i++)
        points.push(data.map[2 * i] + ',' + data.map[2 * i + 1]);
      highlight.setAttribute('points', points.join(' '));
      highlight.setAttribute('visibility', points.length > 1 ? 'visible' : 'hidden');
    }
  }
  function restore() {
    view = { from: 0, to: data.length };
    charts.forEach(function (c) { c.inner.removeAttribute('transform'); drawTicks(c); });
    document.body.removeAttribute('data-zoom');
    if (highlight) highlight.setAttribute('visibility', 'hidden');
  }

  function hide() {
    if (dot) dot.setAttribute('visibility', 'hidden');
    readout.style.display = 'none';
    charts.forEach(function (c) { c.line.setAttribute('visibility', 'hidden'); });
  }
  function value(list, i, digits, unit) {
    var v = list[i];
    return v === undefined || v === null ? '-' : (v > 0 && unit === ' s' ? '+' : '') + v.toFixed(digits) + unit;
  }
  function show(chart, e) {
    var metres = metresAt(chart, e), i = Math.round(metres / data.step);
    if (metres < view.from || metres > view.to) return hide();
    i = Math.min(i, Math.floor(data.length / data.step));
    if (dot && 2 * i + 1 < data.map.length) {
      dot.setAttribute('cx', data.map[2 * i]); dot.setAttribute('cy', data.map[2 * i + 1]);
      dot.setAttribute('visibility', 'visible');
    }
    charts.forEach(function (c) {
      var x = xOf(c, i * data.step);
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

  var drag = null;
  charts.forEach(function (c) {
    c.svg.addEventListener('mousedown', function (e) { drag = { chart: c, from: metresAt(c, e) }; e.preventDefault(); });
    c.svg.addEventListener('mousemove', function (e) {
      show(c, e);
      if (!drag || drag.chart !== c) return;
      var to = metresAt(c, e), x0 = xOf(c, Math.min(drag.from, to)), x1 = xOf(c, Math.max(drag.from, to));
      c.band.setAttribute('x', x0); c.band.setAttribute('width', x1 - x0);
      c.band.setAttribute('visibility', 'visible');
    });
    c.svg.addEventListener('mouseleave', hide);
    c.svg.addEventListener('dblclick', restore);
  });
  document.addEventListener('mouseup', function (e) {
    if (!drag) return;
    var c = drag.chart, to = metresAt(c, e), from = drag.from;
    drag = null;
    c.band.setAttribute('visibility', 'hidden');
    if (Math.abs(xOf(c, to) - xOf(c, from)) > 4) zoom(Math.min(from, to), Math.max(from, to));
  });
  if (map) map.addEventListener('dblclick', restore);

  // A corner: its table row, its number on the map or its bars.
  [].forEach.call(document.querySelectorAll('[data-from][data-to]'), function (corner) {
    corner.style.cursor = 'zoom-in';
    corner.addEventListener('click', function () {
      var from = Number(corner.getAttribute('data-from')), to = Number(corner.getAttribute('data-to'));
      var margin = Math.max(20, (to - from) / 3);
      zoom(from - margin, to + margin);
    });
  });

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
