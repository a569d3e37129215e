#!/usr/bin/env bash
# Builds the Debian packages of a build with cpack into a scratch folder and
# inspects them with dpkg-deb: names, versions, sections and dependencies;
# which files each holds (every installed file in exactly one package); a
# pkg-config file without the build machine's paths; then unpacks all three
# into a scratch root and builds and runs a consumer against it and the tool
# from it.
#
# usage: deb.sh BUILD_DIR VERSION C_COMPILER [EXTRA_C_FLAGS]
set -uo pipefail
build=$1 version=$2 cc=$3 flags=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
major=${version%%.*}
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kavo-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
expect() {  # expect DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"; else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"; echo "0 passed, 1 failed"; exit 1
fi
arch=$(dpkg --print-architecture)
runtime=$work/out/libkavo${major}_${version}_$arch.deb
dev=$work/out/libkavo-dev_${version}_$arch.deb
tools=$work/out/kavo-tools_${version}_$arch.deb
expect "three packages, named by Debian's rules" test -f "$runtime" -a -f "$dev" -a -f "$tools" \
  -a "$(ls "$work/out"/*.deb | wc -l)" -eq 3

field() { dpkg-deb -f "$1" "$2"; }  # field PACKAGE FIELD
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$'; }

# Control fields.
for p in "$runtime" "$dev" "$tools"; do
  name=$(field "$p" Package)
  expect "$name: version $version" test "$(field "$p" Version)" = "$version"
  expect "$name: architecture $arch" test "$(field "$p" Architecture)" = "$arch"
  expect "$name: a maintainer" test -n "$(field "$p" Maintainer)"
  expect "$name: a summary and a description" test "$(field "$p" Description | wc -l)" -ge 2
done
expect "runtime is libkavo$major in section libs" \
  test "$(field "$runtime" Package) $(field "$runtime" Section)" = "libkavo$major libs"
expect "runtime depends on yyjson's library" bash -c "[[ '$(field "$runtime" Depends)' == *libyyjson0* ]]"
expect "runtime declares its shared library" \
  bash -c "dpkg-deb --ctrl-tarfile '$runtime' | tar -xO ./shlibs | grep -qx 'libkavo $major libkavo$major (= $version)'"
expect "dev is libkavo-dev in section libdevel" \
  test "$(field "$dev" Package) $(field "$dev" Section)" = "libkavo-dev libdevel"
expect "dev depends on exactly this runtime" \
  bash -c "[[ '$(field "$dev" Depends)' == *'libkavo$major (= $version)'* ]]"
expect "dev depends on yyjson's development files" \
  bash -c "[[ '$(field "$dev" Depends)' == *'libyyjson-dev (>= 0.12)'* ]]"
expect "tools is kavo-tools in section utils" \
  test "$(field "$tools" Package) $(field "$tools" Section)" = "kavo-tools utils"
expect "tools depends on exactly this runtime" \
  bash -c "[[ '$(field "$tools" Depends)' == *'libkavo$major (= $version)'* ]]"

# Contents.
contents "$runtime" >"$work/runtime.txt"
contents "$dev" >"$work/dev.txt"
contents "$tools" >"$work/tools.txt"
has() { grep -qE "$2" "$work/$1.txt"; }
expect "runtime: the real library" has runtime "^usr/lib/(.*/)?libkavo\.so\.$version\$"
expect "runtime: the soname link" has runtime "^usr/lib/(.*/)?libkavo\.so\.$major\$"
expect "runtime: nothing else" test "$(wc -l <"$work/runtime.txt")" -eq 2
expect "dev: the header" has dev '^usr/include/kavo\.h$'
expect "dev: the version header" has dev '^usr/include/kavo_version\.h$'
expect "dev: the development link" has dev '^usr/lib/(.*/)?libkavo\.so$'
expect "dev: the pkg-config file" has dev '^usr/lib/(.*/)?pkgconfig/kavo\.pc$'
expect "dev: the CMake package" has dev '^usr/lib/(.*/)?cmake/kavo/kavoConfig\.cmake$'
expect "dev: the CMake targets" has dev '^usr/lib/(.*/)?cmake/kavo/kavoTargets\.cmake$'
static=0
if [ -f "$build/libkavo.a" ]; then
  static=1
  expect "dev: the static library" has dev '^usr/lib/(.*/)?libkavo\.a$'
  expect "dev: the static library's CMake targets" has dev '^usr/lib/(.*/)?cmake/kavo/kavoStaticTargets\.cmake$'
else
  expect "dev: no static library when none was built" bash -c "! grep -q 'libkavo\\.a' '$work/dev.txt'"
fi
expect "tools: the tool" has tools '^usr/bin/kavo$'
expect "tools: the bundled example" has tools '^usr/share/kavo/examples/inputs\.json$'
expect "every file in exactly one package" \
  test -z "$(sort "$work/runtime.txt" "$work/dev.txt" "$work/tools.txt" | uniq -d)"
expect "no test, bench or fuzz program packaged" \
  bash -c "! grep -qiE 'test|bench|fuzz|gtest' '$work/runtime.txt' '$work/dev.txt' '$work/tools.txt'"

# Unpacked together, the three make a working installation.
root=$work/root
for p in "$runtime" "$dev" "$tools"; do dpkg-deb -x "$p" "$root"; done
pc=$(find "$root" -name kavo.pc | head -n 1)
expect "the pkg-config file holds no path of the build machine" \
  bash -c "! grep -qE '/usr/lib/x86_64|$(realpath "$build")|/usr/local' '$pc'"
expect "yyjson is a private requirement" grep -qE '^Requires\.private: yyjson' "$pc"
libdir=$(dirname "$(dirname "$pc")")
export PKG_CONFIG_PATH=$(dirname "$pc")
pc_incdir=$(pkg-config --variable=includedir kavo)
expect "pkg-config finds the unpacked header ($pc_incdir)" test -f "$pc_incdir/kavo.h"
# shellcheck disable=SC2086
if "$cc" -std=c99 -Wall -Werror $flags "$here/consumer/consumer.c" $(pkg-config --cflags --libs kavo) \
     "-Wl,-rpath,$libdir" -o "$work/consumer" 2>"$work/consumer.log"; then
  out=$("$work/consumer" 2>&1 || true)
  expect "a consumer of the packages runs ($out)" test "$out" = "kavo $version hash 1099313834"
else
  cat "$work/consumer.log"; expect "a consumer of the packages builds" false
fi
if [ "$static" = 1 ]; then
  # shellcheck disable=SC2086
  if "$cc" -std=c99 -Wall -Werror $flags "$here/consumer/consumer.c" $(pkg-config --cflags kavo) \
       "$libdir/libkavo.a" $(pkg-config --static --libs-only-l kavo | sed 's/-lkavo//') \
       -o "$work/consumer-static" 2>"$work/static.log"; then
    out=$("$work/consumer-static" 2>&1 || true)
    expect "a static consumer of the packages runs ($out)" test "$out" = "kavo $version hash 1099313834"
    expect "... without libkavo.so" bash -c "! objdump -p '$work/consumer-static' | grep -q 'NEEDED.*libkavo'"
  else
    cat "$work/static.log"; expect "a static consumer of the packages builds" false
  fi
fi
out=$("$root/usr/bin/kavo" --version 2>&1 || true)
expect "the packaged tool runs with the packaged library ($out)" test "$out" = "libkavo $version"
out=$("$root/usr/bin/kavo" home --cells 0 2>&1 | head -n 1 || true)
expect "the packaged tool finds the packaged example" \
  bash -c "[[ '$out' == *'$root/usr/share/kavo/examples/inputs.json'* ]]"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
