#!/usr/bin/env bash
# Renders the kavo tool's HTML preview in headless Chromium and checks what a
# person would see: the shelves, their cells, progress bars and finished
# marks, title cards where posters do not load, truncated rows, the selected
# item's detail, and hostile texts shown as text. Exits 77 (skipped) when
# Chromium is not installed.
#
# usage: html_test.sh KAVO_EXECUTABLE EXAMPLES_DIR [SCREENSHOT.png]
set -uo pipefail
kavo=$1 examples=$2 keep_png=${3:-}
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "chromium is not installed: skipped"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kavo-html.XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
check() {  # check DESCRIPTION CONDITION-COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
count() { grep -o -- "$1" "$2" | wc -l; }  # count PATTERN FILE

# Chromium with no network at all: every host name fails to resolve, so
# remote posters fail to load and their title cards must show.
render() {  # render PAGE.html OUT --dump-dom|--screenshot=FILE
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --disable-default-apps --disable-extensions --no-pings --disable-domain-reliability \
    --disable-dev-shm-usage \
    --host-resolver-rules="MAP * ~NOTFOUND" --user-data-dir="$work/profile" --hide-scrollbars \
    --window-size=1440,1500 "$3" "file://$1" >"$2" 2>"$work/browser.log"
}

# The bundled example with an episode selected and both settings.
"$kavo" home "$examples/inputs.json" --select harbor-s01e02 \
  --resume-settings "$examples/resume_settings.json" \
  --autoplay-settings "$examples/autoplay_settings.json" --html "$work/home.html" >"$work/wrote"
check "the tool writes the page" test -s "$work/home.html"
rows=$("$kavo" home "$examples/inputs.json" --json | grep -o '"row_count":[0-9]*' | cut -d: -f2)
cells=$(sed -n 's/.*: [0-9]* rows, \([0-9]*\) cells.*/\1/p' "$work/wrote")
render "$work/home.html" "$work/dom.html" --dump-dom
check "the browser renders the page" grep -q '<aside class="detail"' "$work/dom.html"
check "one shelf per row ($rows)" test "$(count '<section class="shelf"' "$work/dom.html")" -eq "$rows"
check "every stored cell drawn ($cells)" \
  test "$(grep -oE '<li class="cell( raw)?( selected)?"' "$work/dom.html" | wc -l)" -eq "$cells"
for kind in spotlight genre continue_watching server_list now_playing collections recently_added \
            movies tv_shows show folders favourites unmatched_items audio; do
  check "a $kind shelf" grep -q "<section class=\"shelf\" data-kind=\"$kind\"" "$work/dom.html"
done
check "progress bars on resumable cells" test "$(count 'class="progress"' "$work/dom.html")" -ge 3
check "a progress bar is as wide as the progress (42%)" grep -q 'style="width:42.0%"' "$work/dom.html"
check "finished marks" test "$(count 'class="done"' "$work/dom.html")" -ge 1
check "cells of the row's own text" test "$(count '<li class="cell raw"' "$work/dom.html")" -ge 1
check "the page asked for posters" test "$(count '<img src="https://' "$work/home.html")" -ge 1
check "posters that do not load leave their title cards" test "$(count '<img' "$work/dom.html")" -eq 0
check "the selected item is marked in its rows" grep -q 'class="cell selected" data-item-id="harbor-s01e02"' "$work/dom.html"
check "four ranked sources" test "$(count '<li class="source' "$work/dom.html")" -eq 4
check "one source marked as the one that plays" test "$(count 'class="source best"' "$work/dom.html")" -eq 1
check "the best source is the local file" \
  grep -q 'class="source best"><span class="badge">▶ plays</span><span class="rank">#1 ' "$work/dom.html"
check "next episode" grep -q 'class="next" data-item-id="harbor-s01e03"' "$work/dom.html"
check "autoplay timeline with four events" test "$(count '<li class="event"' "$work/dom.html")" -eq 4
check "timeline marks" test "$(count '<span class="mark' "$work/dom.html")" -eq 4

render "$work/home.html" "$work/shot.log" "--screenshot=$work/home.png"
check "a screenshot is taken" bash -c "head -c 8 '$work/home.png' | od -An -c | grep -q 'P   N   G'"
check "the screenshot is a real picture" test "$(stat -c %s "$work/home.png")" -gt 50000
if [ -n "$keep_png" ]; then cp "$work/home.png" "$keep_png"; fi

# A small row cap: truncated rows say so.
"$kavo" home "$examples/inputs.json" --row-cap 2 --html "$work/capped.html" >/dev/null
render "$work/capped.html" "$work/capped-dom.html" --dump-dom
check "truncated rows are tagged" grep -q 'class="tag truncated">truncated: 2 of ' "$work/capped-dom.html"
check "truncated rows end on a card of what was not kept" grep -q 'not kept (row cap 2)' "$work/capped-dom.html"
check "no detail without a selection" test "$(count '<aside' "$work/capped-dom.html")" -eq 0

# Hostile texts from the inputs stay texts.
cat >"$work/hostile.json" <<'EOF'
{"items": [
  {"id": "x\"><b id=\"pwned1\">", "kind": "movie", "title": "<b id=\"pwned2\">bold</b>",
   "poster_url": "javascript:document.body.id='pwned3'", "year": 2020,
   "sources": [{"url": "https://a.example/'><b id='pwned4'>", "key": "<i id=pwned5>"}]},
  {"id": "y", "kind": "movie", "title": "Tom & Jerry's \"Best\"",
   "poster_url": "x\" onerror=\"document.body.id='pwned6'"}
],
 "server_home": {"List": [{"Id": "<script>document.body.id='pwned7'</script>", "Value": "tt0000001"}]}}
EOF
"$kavo" home "$work/hostile.json" --select 'x"><b id="pwned1">' --html "$work/hostile.html" >/dev/null
render "$work/hostile.html" "$work/hostile-dom.html" --dump-dom
check "hostile page renders" grep -q '<section class="shelf"' "$work/hostile-dom.html"
check "no injected element or script ran" bash -c "! grep -qE '<(b|i|script)[ >]|<body id' '$work/hostile-dom.html'"
check "a title with markup is shown as text" grep -q '&lt;b id="pwned2"&gt;bold&lt;/b&gt;' "$work/hostile-dom.html"
check "quotes and ampersands survive" grep -q "Tom &amp; Jerry's \"Best\"" "$work/hostile-dom.html"
check "a script poster address is not used" bash -c "! grep -q 'javascript:' '$work/hostile.html' || ! grep -q 'src=\"javascript' '$work/hostile.html'"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
