#!/usr/bin/env bash
# Installs a build of libkavo into a temporary prefix and checks the installed
# tree: header, versioned library with its soname and links, exported symbols,
# the pkg-config file and the CMake package, each used to build and run a
# small consumer that must print the library's version.
#
# usage: run.sh BUILD_DIR VERSION C_COMPILER CMAKE_GENERATOR [EXTRA_C_FLAGS]
set -euo pipefail
build=$1 version=$2 cc=$3 generator=$4 flags=${5:-}
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/kavo-packaging.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
bad() { failed=$((failed + 1)); echo "FAILED: $*"; }
expect() {  # expect DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log"; echo "0 passed, 1 failed"; exit 1; }

real=$(find "$prefix" -name "libkavo.so.$version" | head -n 1)
libdir=$(dirname "${real:-$prefix/lib/none}")
major=${version%%.*}

# The installed tree.
expect "header installed" test -f "$prefix/include/kavo.h"
expect "version header installed beside it" test -f "$prefix/include/kavo_version.h"
expect "libkavo.so.$version installed" test -f "$real"
expect "libkavo.so.$major links to the real file" \
  test "$(readlink "$libdir/libkavo.so.$major")" = "libkavo.so.$version"
expect "libkavo.so links to the soname" test "$(readlink "$libdir/libkavo.so")" = "libkavo.so.$major"
expect "soname is libkavo.so.$major" \
  bash -c "objdump -p '$real' | grep -Eq 'SONAME +libkavo\\.so\\.$major\$'"
exported=$(nm -D --defined-only "$real" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | grep -Ev '^(kavo_|_init$|_fini$|__asan|__ubsan|__sanitizer|__lsan)' || true)
expect "only kavo_ functions exported${exported:+ (also: $(echo "$exported" | head -n 5 | tr '\n' ' '))}" \
  test -z "$exported"
expect "pkg-config file installed" test -f "$libdir/pkgconfig/kavo.pc"
expect "CMake package installed" test -f "$libdir/cmake/kavo/kavoConfig.cmake" -a \
  -f "$libdir/cmake/kavo/kavoConfigVersion.cmake" -a -f "$libdir/cmake/kavo/kavoTargets.cmake"

# pkg-config: the file finds its prefix from where it lies.
export PKG_CONFIG_PATH=$libdir/pkgconfig
expect "pkg-config version is $version" test "$(pkg-config --modversion kavo)" = "$version"
pc_cflags=$(pkg-config --cflags kavo)
pc_libs=$(pkg-config --libs kavo)
pc_incdir=$(pkg-config --variable=includedir kavo)
pc_libdir=$(pkg-config --variable=libdir kavo)
expect "pkg-config includedir is the installed one ($pc_incdir)" \
  test "$(realpath -m "$pc_incdir")" = "$(realpath -m "$prefix/include")"
expect "pkg-config libdir is the installed one ($pc_libdir)" \
  test "$(realpath -m "$pc_libdir")" = "$(realpath -m "$libdir")"
expect "pkg-config flags use them ($pc_cflags $pc_libs)" \
  bash -c "[[ '$pc_cflags' == *'-I$pc_incdir'* && '$pc_libs' == *'-L$pc_libdir -lkavo'* ]]"
expect "consumers do not need yyjson" bash -c "[[ '$pc_cflags $pc_libs' != *yyjson* ]]"
# shellcheck disable=SC2086
if "$cc" -std=c99 -pedantic -Wall -Wextra -Werror $flags "$here/consumer/consumer.c" \
     $pc_cflags $pc_libs "-Wl,-rpath,$libdir" -o "$work/consumer-pc" 2>"$work/pc.log"; then
  out=$("$work/consumer-pc" 2>&1 || true)
  expect "pkg-config consumer prints the version ($out)" \
    test "$out" = "kavo $version hash 1099313834"
else
  cat "$work/pc.log"; bad "pkg-config consumer builds"
fi

# find_package(kavo) with CMAKE_PREFIX_PATH.
if cmake -S "$here/consumer" -B "$work/cmake-build" -G "$generator" \
     -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$flags" \
     -DCMAKE_BUILD_TYPE=Debug >"$work/cmake.log" 2>&1 &&
   cmake --build "$work/cmake-build" >>"$work/cmake.log" 2>&1; then
  out=$("$work/cmake-build/consumer" 2>&1 || true)
  expect "find_package consumer prints the version ($out)" \
    test "$out" = "kavo $version hash 1099313834"
else
  cat "$work/cmake.log"; bad "find_package consumer builds"
fi

# The static library, when the build has it: through find_package as
# kavo::kavo_static (which brings yyjson and the C++ runtime along), and by
# hand with pkg-config's private requirements.
if [ -f "$libdir/libkavo.a" ]; then
  expect "static library's CMake targets installed" test -f "$libdir/cmake/kavo/kavoStaticTargets.cmake"
  if cmake -S "$here/consumer" -B "$work/static-build" -G "$generator" \
       -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$flags" \
       -DKAVO_CONSUMER_STATIC=ON -DCMAKE_BUILD_TYPE=Debug >"$work/static.log" 2>&1 &&
     cmake --build "$work/static-build" >>"$work/static.log" 2>&1; then
    out=$("$work/static-build/consumer" 2>&1 || true)
    expect "kavo::kavo_static consumer prints the version ($out)" \
      test "$out" = "kavo $version hash 1099313834"
    expect "kavo::kavo_static consumer does not load libkavo.so" \
      bash -c "! objdump -p '$work/static-build/consumer' | grep -q 'NEEDED.*libkavo'"
  else
    cat "$work/static.log"; bad "kavo::kavo_static consumer builds"
  fi
  static_libs=$(pkg-config --static --libs kavo)
  expect "pkg-config --static names yyjson and the C++ runtime ($static_libs)" \
    bash -c "[[ '$static_libs' == *-lyyjson* && '$static_libs' == *-lstdc++* ]]"
fi

# The installed tool, when the build has it: it finds its library through its
# run path and the bundled example beside it.
if [ -x "$prefix/bin/kavo" ]; then
  out=$("$prefix/bin/kavo" --version 2>&1 || true)
  expect "installed tool runs ($out)" test "$out" = "libkavo $version"
  out=$("$prefix/bin/kavo" home --cells 0 2>&1 || true)
  expect "installed tool finds the installed example" \
    bash -c "[[ '${out%%$'\n'*}' == *'$prefix/share/kavo/examples/inputs.json'* ]]"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
