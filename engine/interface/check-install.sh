#!/bin/sh
# Installs the engine into a temporary prefix and builds a program outside
# the tree against it, once through its CMake package and once through
# pkg-config; both programs must run.
#   check-install.sh <build dir> <outside project dir> [extra compiler flags]
set -eu
build=$1
outside=$2
flags=${3:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --component zetcore --prefix "$prefix" >/dev/null

cmake -S "$outside" -B "$tmp/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$tmp/cmake" >/dev/null
test "$("$tmp/cmake/outside")" = 4003

libdir=$(dirname "$(find "$prefix" -name zetcore.pc)")
# shellcheck disable=SC2046
cc $flags "$outside/main.c" -o "$tmp/outside-pc" $(PKG_CONFIG_PATH=$libdir pkg-config --cflags --libs zetcore)
test "$(LD_LIBRARY_PATH=$(PKG_CONFIG_PATH=$libdir pkg-config --variable=libdir zetcore) "$tmp/outside-pc")" = 4003
echo "installed engine found through CMake and pkg-config"
