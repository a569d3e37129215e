#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own. The
# layers, bottom up: frame; keys, ingest and rows on frame; documents on rows
# and frame; api on all of them. kavo.h, the public header, is open to all.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case $1 in
    frame) echo "frame" ;;
    keys) echo "frame keys" ;;
    ingest) echo "frame ingest" ;;
    rows) echo "frame rows" ;;
    documents) echo "frame rows documents" ;;
    api) echo "frame keys ingest rows documents api" ;;
    *) echo "" ;;
  esac
}

status=0
for dir in src/*/; do
  layer=$(basename "$dir")
  ok=$(allowed "$layer")
  if [ -z "$ok" ]; then
    echo "check_layers: $dir is no known layer" >&2
    status=1
    continue
  fi
  while IFS=: read -r file line text; do
    target=$(sed -n 's/^#include "\([a-z_]*\)\/.*"/\1/p' <<<"$text")
    [ -n "$target" ] || continue
    if ! grep -qw "$target" <<<"$ok"; then
      echo "$file:$line: $layer includes $target, a layer above it: $text" >&2
      status=1
    fi
  done < <(grep -n '^#include "' "$dir"*.cpp "$dir"*.h 2>/dev/null || true)
done
[ $status -eq 0 ] && echo "check_layers: every include runs downwards"
exit $status
