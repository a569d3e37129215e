#!/usr/bin/env bash
# Installs everything libkavo needs to build and test on a fresh Debian 12
# machine (run as root). yyjson 0.12 is not in Debian 12; when the distribution
# has no yyjson >= 0.12 it is taken from Debian's unstable archive through a
# temporary, separate source list that is never added to the system's sources.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config clang \
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev valgrind >/dev/null

# The tests also need python3 (the documentation check), dpkg-dev (building
# the Debian packages) and a browser with a font for the HTML preview, which
# they render headless.
$SUDO apt-get install -y -qq --no-install-recommends \
  python3 dpkg-dev chromium fonts-dejavu-core >/dev/null

# The fuzz targets (scripts/fuzz.sh) link libFuzzer and the sanitizer runtimes
# of the installed clang, which its package only recommends.
clang_major=$(clang --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n 1)
$SUDO apt-get install -y -qq --no-install-recommends "libclang-rt-${clang_major}-dev" >/dev/null

have_yyjson() {
  local v
  v=$(dpkg-query -W -f='${Version}' libyyjson-dev 2>/dev/null || true)
  [ -n "$v" ] && dpkg --compare-versions "$v" ge 0.12
}

if ! have_yyjson; then
  cand=$(apt-cache policy libyyjson-dev 2>/dev/null | awk '/Candidate:/ {print $2}')
  if [ -n "$cand" ] && [ "$cand" != "(none)" ] && dpkg --compare-versions "$cand" ge 0.12; then
    $SUDO apt-get install -y -qq libyyjson-dev >/dev/null
  else
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mkdir -p "$tmp/lists/partial" "$tmp/archives/partial"
    echo "deb http://deb.debian.org/debian unstable main" > "$tmp/unstable.list"
    opts=(-o "Dir::Etc::SourceList=$tmp/unstable.list" -o "Dir::Etc::SourceParts=-"
          -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache::Archives=$tmp/archives"
          -o "APT::Get::List-Cleanup=0")
    $SUDO apt-get "${opts[@]}" update -qq
    (cd "$tmp" && $SUDO apt-get "${opts[@]}" download libyyjson0 libyyjson-dev)
    $SUDO dpkg -i "$tmp"/libyyjson0_*.deb "$tmp"/libyyjson-dev_*.deb
  fi
fi
have_yyjson || { echo "setup: yyjson 0.12 could not be installed" >&2; exit 1; }
echo "setup: done (yyjson $(dpkg-query -W -f='${Version}' libyyjson-dev))"
