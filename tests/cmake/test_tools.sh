#!/bin/sh
# Configures the kit with netpbm's bmptopnm out of sight: with the tests on, configure stops
# and says what to install; with BUILD_TESTING=OFF it needs neither netpbm nor GoogleTest.
# Usage: test_tools.sh SOURCE_DIR [CMAKE_OPTION...]  (the compilers and the make program)
set -eu
source_dir=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/camkit-tools-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Programs are looked for nowhere bmptopnm could be (libraries are still found).
hidden="-DCMAKE_IGNORE_PATH=/usr/bin;/bin;/usr/local/bin;/usr/sbin;/sbin"
configure() {
    status=0
    cmake -S "$source_dir" -B "$work/build" -DCAMERA_SDK=sim "$hidden" "$@" >"$work/raw" 2>&1 ||
        status=$?
    tr -s ' \n' '  ' <"$work/raw" >"$work/out"
    return $status
}

configure -DBUILD_TESTING=ON "$@" && fail "configured the tests without bmptopnm"
grep -q "The tests read frames back with netpbm's bmptopnm, which was not found: install netpbm" \
    "$work/out" || fail "no message naming bmptopnm: $(cat "$work/out")"

rm -rf "$work/build"
configure -DBUILD_TESTING=OFF "$@" || fail "BUILD_TESTING=OFF: $(cat "$work/out")"
grep -q "GTest" "$work/out" && fail "GoogleTest looked for with the tests off"
echo "PASS"
