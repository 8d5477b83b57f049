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
