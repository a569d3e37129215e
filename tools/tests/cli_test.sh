#!/usr/bin/env bash
# Runs the kavo tool the way a user does and checks what it prints and how it
# fails. usage: cli_test.sh KAVO_EXECUTABLE EXAMPLES_DIR
set -uo pipefail
kavo=$1 examples=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/kavo-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
out="" err="" status=0
# run ARGS...: runs the tool, keeping stdout, stderr and the exit status.
run() {
  "$kavo" "$@" >"$work/out" 2>"$work/err"
  status=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
}
check() {  # check DESCRIPTION CONDITION-COMMAND...
  local what=$1; shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
    echo "  status $status"; echo "  stdout: ${out:0:2000}"; echo "  stderr: ${err:0:2000}"
  fi
}
has() { grep -qF -- "$1" <<<"$2"; }
lacks() { ! grep -qF -- "$1" <<<"$2"; }

# The home screen of the bundled example: every row kind the library makes.
run home
check "home succeeds" test "$status" -eq 0
for kind in spotlight genre continue_watching server_list now_playing collections \
            recently_added movies tv_shows show folders favourites unmatched_items audio; do
  check "home shows a $kind row" grep -qE "^ +[0-9]+ +$kind " "$work/out"
done
check "rows come in screen order" \
  bash -c "grep -oE '^ +[0-9]+ +[a-z_]+' '$work/out' | awk '{print \$2}' | head -n 3 | paste -sd' ' | grep -qx 'spotlight genre continue_watching'"
check "resume progress badge" has "resume 42% at 20:34" "$out"
check "finished badge" has "✓ done" "$out"
check "episode label" has "Harbor Lights S01E02" "$out"
check "basics fill the title of an item that had none" has "The Glass Orchard (2020)" "$out"
check "cells beyond --cells are summarised" grep -qE '… [0-9]+ more' "$work/out"

# The row cap goes to the library before loading.
run home --row-cap 2 --cells 10
check "row cap 2 succeeds" test "$status" -eq 0
check "truncated rows say how many cells were not kept" grep -qE '[0-9]+ \(\+[0-9]+ not shown\)' "$work/out"
check "row cap shown" has "row cap 2" "$out"

# Usage errors: status 2, one line saying what is wrong, then the usage.
usage_error() {  # usage_error DESCRIPTION EXPECTED-MESSAGE ARGS...
  local what=$1 message=$2; shift 2
  run "$@"
  check "$what: status 2" test "$status" -eq 2
  check "$what: says what is wrong" has "kavo: $message" "$(head -n 1 <<<"$err")"
  check "$what: then the usage" has "usage: kavo home [INPUTS]" "$(sed -n 2p <<<"$err")"
  check "$what: nothing on stdout" test -z "$out"
}
usage_error "row cap 0" "--row-cap: Value 0 not in range 1 to 2000" home --row-cap 0
usage_error "row cap 2001" "--row-cap: Value 2001 not in range 1 to 2000" home --row-cap 2001
usage_error "negative cells" "--cells: Value -1 not in range 0 to 100000" home --cells -1
usage_error "cells not a number" "--cells" home --cells many
usage_error "unknown option" "The following argument was not expected: --bogus" home --bogus
usage_error "no command" "A subcommand is required"
usage_error "item without an id" "ID is required" item
usage_error "page and JSON at once" "--html cannot be combined with --json or --pretty" \
  home --json --html "$work/x.html"

# The result document instead of the table.
run home --json "$examples/inputs.json"
check "home --json succeeds" test "$status" -eq 0
check "home --json prints one JSON object" bash -c "head -c 1 '$work/out' | grep -qx '{' && tail -c 2 '$work/out' | head -c 1 | grep -qx '}'"
check "home --json is not the table" lacks "Home screen of" "$out"
compact=$out
run home --pretty "$examples/inputs.json"
check "--pretty succeeds" test "$status" -eq 0
check "--pretty indents the result document" has '    "version": 1,' "$out"
check "--pretty spreads it over many lines" test "$(wc -l <<<"$out")" -gt 100
check "--pretty holds what --json holds" \
  test "$(tr -d ' \n' <<<"$out")" = "$(tr -d ' \n' <<<"$compact")"
run item harbor-s01e02 --pretty
check "item --pretty is the indented detail document" has '        "action_name": "resume",' "$out"
run home --select harbor-s01e02
check "home --select shows the table and then the detail" \
  bash -c "grep -q '^Home screen of' '$work/out' && grep -q '^Item harbor-s01e02: Harbor Lights S01E02' '$work/out'"

# The detail of an episode with progress, sources, a next episode and autoplay.
run item harbor-s01e02 --resume-settings "$examples/resume_settings.json" \
  --autoplay-settings "$examples/autoplay_settings.json"
check "item succeeds" test "$status" -eq 0
check "item header" has "Item harbor-s01e02: Harbor Lights S01E02 (episode, tt7100001)" "$out"
check "resume decision" has "Resume:    resume at 20:34 (1234.8 s), 42.0% watched" "$out"
check "four ranked sources" has "Sources:   4, best first" "$out"
check "local source ranks first" grep -qE '^  1\. rank 1497884 +file:///media/tv/' "$work/out"
check "inactive source ranks last" grep -qE '^  4\. rank 2999078 ' "$work/out"
check "merged file source keeps its own key" has "key hl-102-4k" "$out"
check "address to play" has "Play:      file:///media/tv/Harbor%20Lights/Season%201/Harbor.Lights.S01E02.mkv" "$out"
check "next episode" has "Next:      harbor-s01e03  Harbor Lights S01E03" "$out"
check "autoplay timeline" has "Autoplay:  4 events" "$out"
check "proposal event" grep -qE '^  Proposal +at 48:15 \(2895\.0 s\)  auto-dismiss' "$work/out"
check "ending event plays next" grep -qE '^  Ending +at 48:40 \(2920\.0 s\)  plays next automatically' "$work/out"

run item harbor-s01e02
check "autoplay unconfigured without settings" has "Autoplay:  not configured" "$out"

# One settings file with every optional behaviour, read by both options.
peer="$examples/settings-peer.json"
run item harbor-s01e02 --resume-settings "$peer" --autoplay-settings "$peer"
check "proposal where the credits start" grep -qE '^  Proposal +at 46:30 \(2790\.0 s\)' "$work/out"
run home --cells 1 --resume-settings "$peer" --autoplay-settings "$peer"
check "one cell per show in Continue Watching, one show row" \
  grep -qE '^  2 +continue_watching +Continue Watching +4$' "$work/out"
check "the settings leave out the second show row" bash -c "! grep -q 'The Cartographers  ' '$work/out'"
run item harbor-s02e01
check "last episode has no next" has "Next:      none" "$out"
check "unwatched item starts" has "Resume:    start" "$out"
run item harbor-s01e02 --json
check "item --json is the detail document" has '"resume":{"action":1,"action_name":"resume"' "$out"

# Failures name the input, the call, the message and the code.
run item no-such-item
check "unknown item fails" test "$status" -eq 1
check "unknown item error" has "kavo_select_item(no-such-item) failed: no such item (code 5)" "$err"
run home "$work/missing.json"
check "missing file fails" test "$status" -eq 1
check "missing file is named" has "cannot open $work/missing.json" "$err"
printf '{"items": [\n  {"id": "a"},\n  {"id": "b",}\n]}\n' >"$work/broken.json"
run home "$work/broken.json"
check "broken inputs fail" test "$status" -eq 1
check "broken inputs: where the text breaks" \
  test "$(head -n 1 <<<"$err")" = "kavo: $work/broken.json:3:13: trailing comma is not allowed"
check "broken inputs: the call, its message and code" \
  has "kavo_load_inputs($work/broken.json) failed: inputs: not valid JSON (code 1)" "$err"
printf '{"items": [\n' >"$work/cut.json"
run home "$work/cut.json"
check "inputs cut short: the position of the end" has "kavo: $work/cut.json:2:1: unexpected end of data" "$err"
printf '{"items": []}\n\0{}' >"$work/nul.json"
run home "$work/nul.json"
check "a file with a NUL byte fails" test "$status" -eq 1
check "the NUL byte is named with its place" has "kavo: $work/nul.json:2:1: embedded NUL byte (byte 14)" "$err"
printf '{"remember_audio": tru}' >"$work/bad-settings.json"
run home --resume-settings "$work/bad-settings.json"
check "settings that are no JSON: where" has "kavo: $work/bad-settings.json:1:20: invalid literal" "$err"
printf '{"items": {}}' >"$work/shape.json"
run home "$work/shape.json"
check "wrongly shaped inputs error" has "failed: items must be an array (code 1)" "$err"
printf '[true]' >"$work/settings.json"
run home --resume-settings "$work/settings.json"
check "bad resume settings error" has "kavo_set_resume_settings($work/settings.json) failed: resume settings: root not object (code 1)" "$err"
run home --autoplay-settings "$work"
check "a directory is no settings file" test "$status" -eq 1
check "directory error names it" has "$work" "$err"
run
check "a command is required" test "$status" -ne 0
run home --help
check "home --help" has "--row-cap" "$out"

# Replaying recorded calls.
cp "$examples/inputs.json" "$work/inputs.json"
{
  echo '{"call": "kavo_set_row_cap", "arg": 3}'
  echo '{"call": "kavo_load_inputs", "file": "inputs.json"}'
  echo ''
  echo '{"call": "kavo_set_store", "arg": "{not json", "status": 1}'
  echo '{"call": "kavo_select_item", "arg": "harbor-s01e02"}'
} >"$work/calls.jsonl"
run replay "$work/calls.jsonl"
check "replay succeeds" test "$status" -eq 0
check "replay counts the calls" has "Replayed 4 calls from $work/calls.jsonl" "$out"
check "replay applies the row cap" has "row cap 3" "$out"
check "replay shows the home rows" grep -qE '^ +[0-9]+ +continue_watching ' "$work/out"
check "replay shows the selected item" has "Item harbor-s01e02: Harbor Lights S01E02" "$out"
echo '{"call":"kavo_load_inputs","file":"inputs.json"}' >"$work/load.jsonl"
run replay "$work/load.jsonl" --json
check "a replayed load gives the document of the same load" \
  test "$out" = "$("$kavo" home "$work/inputs.json" --json)"
# A progress update: the whole watch array again, here empty, and a server
# home without progress of its own.
printf '%s\n' '{"call":"kavo_load_inputs","file":"inputs.json"}' '{"call":"kavo_set_watch","arg":[]}' \
  '{"call":"kavo_set_server_home","arg":{}}' >"$work/progress.jsonl"
run replay "$work/progress.jsonl"
check "a replayed watch update takes the progress away" lacks "continue_watching" "$out"
check "... and the resume badges" lacks "resume " "$out"
echo '{"call":"kavo_add_items","arg":[{"id":"new","kind":"movie","title":"Brand New Film","year":2030}]}' \
  >"$work/page.jsonl"
run replay "$work/page.jsonl"
check "a replayed page of items shows up" has "Brand New Film (2030)" "$out"

replay_error() {  # replay_error DESCRIPTION EXPECTED-STDERR LINE...
  local what=$1 message=$2; shift 2
  printf '%s\n' "$@" >"$work/bad.jsonl"
  run replay "$work/bad.jsonl"
  check "$what: status 1" test "$status" -eq 1
  check "$what: names the line" has "$message" "$err"
}
replay_error "a line that is no JSON" "kavo: $work/bad.jsonl:2:9: unexpected character" \
  '{"call":"kavo_clear"}' '{"call":}'
replay_error "an unknown call" "kavo: $work/bad.jsonl:1: unknown call \"kavo_frobnicate\"" \
  '{"call":"kavo_frobnicate"}'
replay_error "an unknown member" "kavo: $work/bad.jsonl:1: unknown member \"args\"" \
  '{"call":"kavo_set_watch","args":[]}'
replay_error "a row cap that is no number" "kavo: $work/bad.jsonl:1: kavo_set_row_cap takes a 32-bit integer" \
  '{"call":"kavo_set_row_cap","arg":"3"}'
replay_error "a failed call" "kavo: $work/bad.jsonl:2: kavo_set_watch failed: watch: expected an array (code 1)" \
  '{"call":"kavo_clear"}' '{"call":"kavo_set_watch","arg":{}}'
replay_error "a text that is no JSON" "kavo: $work/bad.jsonl:1: the text of \"arg\":1:2: unexpected character" \
  '{"call":"kavo_set_store","arg":"{x"}'
replay_error "another status than recorded" \
  "kavo: $work/bad.jsonl:1: kavo_select_item returned 5 (no such item), the recording says 0" \
  '{"call":"kavo_select_item","arg":"nothing","status":0}'
replay_error "a missing file" "cannot open $work/none.json" '{"call":"kavo_set_watch","file":"none.json"}'

# The inputs linter: what a load would turn away, without loading.
run lint "$examples/inputs.json"
check "lint of the bundled example: status 0" test "$status" -eq 0
check "lint of the bundled example: clean" has "clean: a load takes every element and reads every member" "$out"
cat >"$work/broken.json" <<'JSON'
{
  "items": [
    {"id": "night-freight", "kind": "movie", "title": "Night Freight", "AddedMs": 1717000000000},
    {"id": "night-freight", "kind": "movie"},
    {"name": "Lighthouse"}
  ],
  "watch": [{"itemId": "night-freight", "PositionTicks": 16800000000}],
  "store": {"favourites": [{"token": "night-freight"}, {"DisplayName": "Old favourite"}]}
}
JSON
run lint "$work/broken.json"
check "lint of turned-away elements: status 1" test "$status" -eq 1
check "lint names a duplicate with its id" grep -qE '^  /items/1 +duplicate id, id "night-freight"$' "$work/out"
check "lint names an element without an id" grep -qE '^  /items/2 +no id$' "$work/out"
check "lint names progress that says nothing" grep -qE '^  /watch/0 +progress that says nothing' "$work/out"
check "lint names a favourite without a token" grep -qE '^  /store/favourites/1 +no token$' "$work/out"
check "lint suggests the nearest spelling"   grep -qE '^  items +"AddedMs" +at /items/0/AddedMs; did you mean "added_ms"\?$' "$work/out"
check "lint sums up" has "a load succeeds, 4 elements turned away (3 counted as rejected), 2 member names" "$out"
run lint "$work/broken.json" --json
check "lint --json: status 1" test "$status" -eq 1
check "lint --json prints the library's document" \
  bash -c "python3 -c 'import json,sys; d=json.load(sys.stdin); assert d[\"rejected\"]==3' <'$work/out'"
echo '{"items": [{"id": "a", "Titel": "A", "zzzzzz": 1}]}' >"$work/unknown.json"
run lint "$work/unknown.json"
check "unknown members alone: status 0" test "$status" -eq 0
check "unknown members alone are reported" has 'at /items/0/Titel; did you mean "title"?' "$out"
check "no suggestion far from every spelling" grep -qE '^  items +"zzzzzz" +at /items/0/zzzzzz$' "$work/out"
run lint --strict "$work/unknown.json"
check "unknown members with --strict: status 1" test "$status" -eq 1
printf '{"items": [\n  {"id": "a"},\n  {"id": "b",}\n]}\n' >"$work/cut.json"
run lint "$work/cut.json"
check "lint of a text that is no JSON: status 1" test "$status" -eq 1
check "lint locates the syntax error" has "$work/cut.json:3:13: trailing comma is not allowed (byte 39)" "$out"
check "lint says the load fails" has "$work/cut.json: a load fails: inputs: not valid JSON (code 1)" "$out"
echo '{"items": {}, "store": []}' >"$work/shape.json"
run lint "$work/shape.json"
check "lint lists every part of the wrong type" \
  bash -c "grep -qF 'a load fails: items must be an array (code 1)' '$work/out' && grep -qF 'also: store must be an object (code 1)' '$work/out'"
usage_error "lint without a file" "INPUTS is required" lint

# Hash and keys.
run hash abc
check "hash of abc" test "$out" = "1099313834"
run hash ""
check "hash of the empty text" test "$out" = "371857150"
run key a b c
check "resume key" test "$out" = "YQFiAWM="
run key "" "" ""
check "resume key of empty texts" test "$out" = "AQE="
run legacy-key "Harbor Lights"
check "legacy key" test "$out" = "SGFyYm9yIExpZ2h0cw=="
long=$(head -c 5000 /dev/zero | tr '\0' 'x')
run legacy-key "$long"
check "legacy key of a long text" test "${#out}" -eq 6668

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
