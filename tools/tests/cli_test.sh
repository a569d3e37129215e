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
run home --row-cap 0
check "row cap 0 is the library's error" test "$status" -eq 1
check "row cap error names the call and the code" has "kavo_set_row_cap(0) failed: row cap out of range (code 2)" "$err"

# The result document instead of the table.
run home --json "$examples/inputs.json"
check "home --json succeeds" test "$status" -eq 0
check "home --json prints one JSON object" bash -c "head -c 1 '$work/out' | grep -qx '{' && tail -c 2 '$work/out' | head -c 1 | grep -qx '}'"
check "home --json is not the table" lacks "Home screen of" "$out"

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
printf '{"items": [' >"$work/broken.json"
run home "$work/broken.json"
check "broken inputs fail" test "$status" -eq 1
check "broken inputs error" has "kavo_load_inputs($work/broken.json) failed: inputs: not valid JSON (code 1)" "$err"
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
