# The sample's report and a compare page in a real browser: every figure laid
# out at a sensible size with lines drawn inside it, and the page's script
# working: hovering the speed chart moves the marker on the map and lists the
# laps, a click on a lap in the table hides it in every chart and shows it
# again, and nothing raises an error.
set -euo pipefail
source tools/deps.sh
lx_install chromium
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
} catch (e) {
  window.probeErrors.push('probe: ' + e);
}
lines.push('errors ' + window.probeErrors.length + ' ' + window.probeErrors.join(' | '));
const pre = document.createElement('pre');
pre.textContent = '\n' + lines.join('\n') + '\n';
document.body.appendChild(pre);
</script>
PROBE

# check PAGE FIGURES SHAPES: the rendered page's lines, then the verdict.
check() {
    local page=$1 figures=$2 shapes=$3
    sed "s|<head>|<head>$(tr -d '\n' < "$dir/catch.js" | sed 's/[&|]/\\&/g')|" "$dir/$page" |
        cat - "$dir/probe.js" > "$dir/probe.html"
    chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
        --disable-component-update --disable-sync --no-first-run --user-data-dir="$dir/profile" \
        --dump-dom "file://$dir/probe.html" 2>/dev/null > "$dir/dom.html"
    grep -E '^(figure|hover|toggle|errors) ' "$dir/dom.html" | sed "s|^|$page: |"
    grep -E '^(figure|hover|toggle|errors) ' "$dir/dom.html" | awk -v want="$figures" -v shapes="$shapes" -v page="$page" '
        $1 == "figure" { n++; if ($2 < 400 || $3 < 200 || $4 < shapes) { print "figure " n " is empty or too small"; bad = 1 } }
        $1 == "hover" { hover = 1; if ($2 != "moved" || $NF < 1) { print "the map marker did not follow the mouse"; bad = 1 } }
        $1 == "toggle" { toggle = 1; if ($3 < 1 || $4 != 0 || $5 != $3) { print "a click on lap " $2 " did not hide and show it"; bad = 1 } }
        $1 == "errors" { if ($2 != 0) { print "the page raised errors"; bad = 1 } }
        END { if (n != want) { print "expected " want " figures, found " n; bad = 1 }
              if (!hover || !toggle) { print "the interaction was not checked"; bad = 1 }
              if (bad) exit 1; print page ": " n " figures rendered with lines drawn; hover and clicks work" }'
}
check report.html 5 5  # map, speed, time difference, corner gains, lap starts
check compare.html 4 3 # map, speed, time difference, corner gains; two laps each
