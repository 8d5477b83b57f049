# The sample's report in a real browser: four figures laid out at a sensible
# size, each with lines drawn inside it.
set -euo pipefail
source tools/deps.sh
lx_install chromium
lx=${LX_TOOL:-build/tools/lx}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$lx" report examples/sample.txt -o "$dir" >/dev/null

# A copy of the page with a probe that writes what the browser rendered into
# the page, for --dump-dom to hand back. A script after the end of the
# document still runs, in its body.
cat "$dir/report.html" - > "$dir/probe.html" <<'PROBE'
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
const pre = document.createElement('pre');
pre.textContent = '\n' + lines.join('\n') + '\n';
document.body.appendChild(pre);
</script>
PROBE
chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --disable-sync --no-first-run --user-data-dir="$dir/profile" \
    --dump-dom "file://$dir/probe.html" 2>/dev/null > "$dir/dom.html"

grep '^figure ' "$dir/dom.html" | awk '
    { n++; if ($2 < 400 || $3 < 200 || $4 < 5) { print "figure " n " is empty or too small: " $0; bad = 1 } }
    END { if (n != 4) { print "expected 4 figures, found " n; bad = 1 }
          if (bad) exit 1; print "report: " n " figures rendered with lines drawn" }'
