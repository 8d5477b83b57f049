# The sample's report and a compare page in a real browser: every figure laid
# out at a sensible size with lines drawn inside it, and the page's script
# working: hovering the speed chart moves the marker on the map and lists the
# laps, a click on a lap in the table hides it in every chart and shows it
# again, and nothing raises an error. Then the same for a session whose file
# name, folder and channel title are written to break the markup.
set -euo pipefail
source tools/deps.sh
lx_install chromium nodejs libxml2-utils
node --check tools/lx/pages/page.js
lx=${LX_TOOL:-build/tools/lx}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$lx" report examples/sample.txt --match examples/sample.txt:7 -o "$dir" >/dev/null
"$lx" compare examples/sample.txt examples/sample.txt -o "$dir" >/dev/null

# The probe writes what the browser rendered and did into the page, for
# --dump-dom to hand back. Errors are caught from the page's first script on;
# a script after the end of the document still runs, in its body.
cat > "$dir/catch.js" <<'CATCH'
<script>window.probeErrors = [];
window.onerror = function (message) { window.probeErrors.push(message); };
var consoleError = console.error;
console.error = function (m) { window.probeErrors.push(String(m)); consoleError.apply(console, arguments); };
</script>
CATCH
cat > "$dir/probe.js" <<'PROBE'
<script>
const lines = [...document.querySelectorAll('svg')].map(svg => {
  const box = svg.getBoundingClientRect();
  let drawn = 0;
  for (const shape of svg.querySelectorAll('polyline, path, rect')) {
    const b = shape.getBoundingClientRect();
    const inside = b.right > box.left && b.left < box.right && b.bottom > box.top && b.top < box.bottom;
    if (inside && (b.width > 2 || b.height > 2)) drawn++;
  }
  return 'figure ' + Math.round(box.width) + ' ' + Math.round(box.height) + ' ' + drawn;
});
try {
  const speed = document.getElementById('speed-chart'), dot = document.getElementById('cursor');
  const hover = fraction => {
    const a = speed.getAttribute('data-area').split(' ').map(Number);
    const box = speed.getBoundingClientRect(), scale = box.width / speed.viewBox.baseVal.width;
    speed.dispatchEvent(new MouseEvent('mousemove', {bubbles: true,
      clientX: box.left + (a[0] + a[2] * fraction) * scale, clientY: box.top + (a[1] + a[3] / 2) * scale}));
    return dot.getAttribute('visibility') + ' ' + dot.getAttribute('cx') + ',' + dot.getAttribute('cy');
  };
  const first = hover(0.2), second = hover(0.6);
  const readout = document.querySelector('.readout');
  const placed = /^visible [\d.]+,[\d.]+$/;
  lines.push('hover ' + (placed.test(first) && placed.test(second) && first !== second ? 'moved' : 'stuck') + ' ' + first + ' ' + second + ' laps ' + (readout ? readout.children.length - 1 : 0));
  const row = [...document.querySelectorAll('tr[data-lap]')].pop(), key = row.getAttribute('data-lap');
  const shown = () => [...document.querySelectorAll("g.lap[data-lap='" + key + "']")]
    .filter(g => g.getBoundingClientRect().width > 0).length;
  const before = shown(); row.click(); const hidden = shown(); row.click();
  lines.push('toggle ' + key + ' ' + before + ' ' + hidden + ' ' + shown());
  // Zoom: a drag across the speed chart zooms every distance chart, a double
  // click restores them, a click on a corner's row zooms to that corner and
  // marks it on the map.
  const charts = [...document.querySelectorAll('svg[data-area]')];
  const zoomed = () => charts.filter(svg => (svg.querySelector('g[clip-path] > g') || svg).getAttribute('transform')).length;
  const a = speed.getAttribute('data-area').split(' ').map(Number);
  const box = speed.getBoundingClientRect(), scale = box.width / speed.viewBox.baseVal.width;
  const mouse = (type, fraction) => new MouseEvent(type, {bubbles: true,
    clientX: box.left + (a[0] + a[2] * fraction) * scale, clientY: box.top + (a[1] + a[3] / 2) * scale});
  speed.dispatchEvent(mouse('mousedown', 0.3)); speed.dispatchEvent(mouse('mousemove', 0.4));
  document.dispatchEvent(mouse('mouseup', 0.5));
  const dragged = zoomed(), range = document.body.getAttribute('data-zoom');
  speed.dispatchEvent(mouse('dblclick', 0.5));
  const restored = zoomed();
  const corner = document.querySelector('tr[data-from]');
  corner.click();
  const mark = [...document.querySelectorAll('#map polyline')].pop();
  lines.push('zoom ' + charts.length + ' ' + dragged + ' ' + restored + ' ' + range + ' ' +
    document.body.getAttribute('data-zoom') + ' ' + corner.getAttribute('data-from') + ' ' +
    corner.getAttribute('data-to') + ' ' + mark.getAttribute('visibility'));
  // Corner labels: off the track's ribbon (8 px wide) and clear of one another
  // and of the start mark.
  const data = JSON.parse(document.getElementById('lx-data').textContent);
  const labels = [...document.querySelectorAll('#map g.corners circle')].map(c => c.getBBox());
  const path = [];
  for (let i = 0; i + 1 < data.map.length; i += 2) path.push([data.map[i], data.map[i + 1]]);
  const toSegment = (x, y, [ax, ay], [bx, by]) => {
    const dx = bx - ax, dy = by - ay, t = Math.max(0, Math.min(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy || 1)));
    return Math.hypot(x - ax - t * dx, y - ay - t * dy);
  };
  const centre = b => [b.x + b.width / 2, b.y + b.height / 2];
  const onTrack = labels.filter(b => path.some((p, i) => i + 1 < path.length &&
    toSegment(...centre(b), p, path[i + 1]) < b.width / 2 + 4 - 0.5)).length;
  const start = [...document.querySelectorAll('#map text')].find(t => t.textContent === 'start').getBBox();
  const meets = (a, b) => a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
  const overlaps = labels.filter((b, i) => meets(b, start) || labels.some((o, j) => j !== i && meets(b, o))).length;
  lines.push('labels ' + labels.length + ' ' + onTrack + ' ' + overlaps);
  const body = document.body.cloneNode(true);
  body.querySelectorAll('script').forEach(s => s.remove());
  const missing = (window.probeExpected || []).filter(t => !body.textContent.includes(t));
  lines.push('text ' + (missing.length ? 'missing ' + JSON.stringify(missing) : 'shown'));
} catch (e) {
  window.probeErrors.push('probe: ' + e);
}
lines.push('errors ' + window.probeErrors.length + ' ' + window.probeErrors.join(' | '));
const pre = document.createElement('pre');
pre.textContent = '\n' + lines.join('\n') + '\n';
document.body.appendChild(pre);
</script>
PROBE

# check PAGE FIGURES SHAPES [EXPECTED]: the rendered page's lines, then the
# verdict; EXPECTED, a script setting window.probeExpected, lists text the
# page must show as written.
check() {
    local page=$1 figures=$2 shapes=$3 expected=${4:-}
    cat "$dir/catch.js" $expected | tr -d '\n' | sed 's/[&|\\]/\\&/g' > "$dir/head.js"
    sed "s|<head>|<head>$(cat "$dir/head.js")|" "$dir/$page" |
        cat - "$dir/probe.js" > "$dir/probe.html"
    chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
        --disable-component-update --disable-sync --no-first-run --user-data-dir="$dir/profile" \
        --dump-dom "file://$dir/probe.html" 2>/dev/null > "$dir/dom.html"
    grep -E '^(figure|hover|toggle|zoom|labels|text|errors) ' "$dir/dom.html" | sed "s|^|$page: |"
    grep -E '^(figure|hover|toggle|zoom|labels|text|errors) ' "$dir/dom.html" | awk -v want="$figures" -v shapes="$shapes" -v page="$page" '
        $1 == "figure" { n++; if ($2 < 400 || $3 < 200 || $4 < shapes) { print "figure " n " is empty or too small"; bad = 1 } }
        $1 == "hover" { hover = 1; if ($2 != "moved" || $NF < 1) { print "the map marker did not follow the mouse"; bad = 1 } }
        $1 == "toggle" { toggle = 1; if ($3 < 1 || $4 != 0 || $5 != $3) { print "a click on lap " $2 " did not hide and show it"; bad = 1 } }
        $1 == "errors" { if ($2 != 0) { print "the page raised errors"; bad = 1 } }
        $1 == "zoom" { zoom = 1; split($5, d, "-"); split($6, c, "-")
            if ($2 < 2 || $3 != $2 || $4 != 0 || d[2] - d[1] < 1 || c[1] > $7 || c[2] < $8 || $9 != "visible") {
                print "zoom failed: " $0; bad = 1 } }
        $1 == "labels" { if ($2 < 1 || $3 != 0 || $4 != 0) { print "corner labels on the track or overlapping: " $0; bad = 1 } }
        $1 == "text" { if ($2 != "shown") { print "text not shown as written"; bad = 1 } }
        END { if (n != want) { print "expected " want " figures, found " n; bad = 1 }
              if (!hover || !toggle || !zoom) { print "the interaction was not checked"; bad = 1 }
              if (bad) exit 1; print page ": " n " figures rendered with lines drawn; hover, clicks and zoom work" }'
}
check report.html 7 5  # map, speed, RPM, time difference, g-g, corner gains, lap starts
check compare.html 4 3 # map, speed, time difference, corner gains; two laps each

# A file name (250 bytes), its folder and a channel title (about 245 bytes)
# holding an end tag, both quotes, &, a tab and non-ASCII: every SVG stays
# well-formed, the page's data parses, and the text reads back as written.
"${LX_GEN:-build/tools/lx-gen}" --format aim-csv -o "$dir/generated.csv"
python3 - "$dir" <<'HOSTILE'
import json, os, sys
folder = sys.argv[1]
hostile = 'script> "double" \'single\' & tab\there Ærø Kärnten 東京 '
name = hostile + 'x' * (250 - len((hostile + '.csv').encode())) + '.csv'
title = 'Water </script> "t" \'t\' &\tÜmlaut ' + 'w' * 200
os.makedirs(folder + '/hostile<', exist_ok=True)
path = folder + '/hostile</' + name
text = open(folder + '/generated.csv', encoding='utf-8').read()
text = text.replace('"Water Temp"', '"' + title.replace('"', '""') + '"', 1)
open(path, 'w', encoding='utf-8').write(text)
for key, value in (('path', path), ('name', name), ('title', title)):
    open(folder + '/hostile-' + key, 'w', encoding='utf-8').write(value)
for page, expected in (('report', [name, path, title]), ('compare', [name])):
    open(folder + '/expected-' + page + '.js', 'w').write('<script>window.probeExpected = ' +
        json.dumps(expected).replace('<', '\\u003c') + ';</script>')
HOSTILE
hostile=$(cat "$dir/hostile-path")
mkdir -p "$dir/hostile"
"$lx" report "$hostile" --traces "$(cat "$dir/hostile-title")" -o "$dir/hostile" >/dev/null
"$lx" compare "$hostile" "$dir/generated.csv" -o "$dir/hostile" >/dev/null
"$lx" chart "$hostile" --lap 2 --channel "$(cat "$dir/hostile-title")" -o "$dir/hostile/chart.svg" \
    >/dev/null
python3 - "$dir" <<'WELLFORMED'
import json, re, subprocess, sys
import xml.etree.ElementTree as ET
folder = sys.argv[1]
title = open(folder + '/hostile-title', encoding='utf-8').read()
n = 0
for page in ('report.html', 'compare.html'):
    html = open(folder + '/hostile/' + page, encoding='utf-8').read()
    for svg in re.findall(r'<svg .*?</svg>', html, re.S):
        n += 1
        open(folder + '/figure.svg', 'w', encoding='utf-8').write(svg)
        subprocess.run(['xmllint', '--noout', folder + '/figure.svg'], check=True)
    data = re.search(r"<script id='lx-data' type='application/json'>(.*?)</script>", html, re.S)
    json.loads(data.group(1))
    if page == 'compare.html' and not re.search(r"id='map'((?!</svg>).)*data-lap='B'><polyline", html, re.S):
        sys.exit('the compare map lacks B\'s line, though both sessions have positions')
# without positions, B's dead-reckoned lap laid on A's map
sample_compare = open(folder + '/compare.html', encoding='utf-8').read()
if not re.search(r"id='map'((?!</svg>).)*data-lap='B'><polyline", sample_compare, re.S):
    sys.exit('the compare map of the sample lacks B\'s dead-reckoned line')
subprocess.run(['xmllint', '--noout', folder + '/hostile/chart.svg'], check=True)
texts = [t.text for t in ET.parse(folder + '/hostile/chart.svg').iter('{http://www.w3.org/2000/svg}text')]
if title + ' (°C)' not in texts:
    sys.exit('the chart lost its channel title: ' + repr(texts))
print('hostile names: %d figures and the chart well-formed, the pages\' data parses' % (n + 1))
WELLFORMED
cp "$dir/hostile/report.html" "$dir/hostile-report.html"
cp "$dir/hostile/compare.html" "$dir/hostile-compare.html"
check hostile-report.html 6 5 "$dir/expected-report.js"
check hostile-compare.html 4 3 "$dir/expected-compare.js"

# The real sessions, when they are there: Imola's corners beside its start,
# the kart track's tight loops.
real=${LX_REAL_DATA:-../shared/data/real}
if [ -d "$real" ]; then
    # session and figures: map, speed, one per trace, time difference, g-g, corner gains
    for pair in aim-yamaha-r6-imola/YamahaR6.csv:9 aim-kart-rustavi-mychron5/aim.csv:6; do
        session=${pair%:*} name=$(dirname "${pair%:*}")
        mkdir -p "$dir/$name"
        "$lx" report "$real/$session" -o "$dir/$name" >/dev/null
        cp "$dir/$name/report.html" "$dir/$name.html"
        check "$name.html" "${pair##*:}" 3
    done
fi
