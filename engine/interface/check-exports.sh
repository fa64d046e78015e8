#!/bin/sh
# Compares the functions that libzetcore.so exports (the Zet... family and
# the few plain C names of the interface) with those that zetcore.h
# declares: check-exports.sh <libzetcore.so> <zetcore.h>.
set -eu
lib=$1
header=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
grep -o 'ZET_EXPORT int32_t [A-Za-z0-9_]*' "$header" | awk '{print $3}' | sort -u >"$tmp/header"
nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | grep -v '^_' | sort -u >"$tmp/library"
if ! diff -u "$tmp/header" "$tmp/library"; then
  echo "libzetcore.so and zetcore.h disagree (- header only, + library only)" >&2
  exit 1
fi
test -s "$tmp/header"
echo "$(wc -l <"$tmp/header") exports agree"
