#!/bin/sh
# Runs scripts/test and scripts/demo from a copy of the repository whose build/ holds a
# configured build, with cmake and ctest replaced by stand-ins that record how they were
# called: both scripts must work in build-sim/ and leave build/ exactly as it was.
# Usage: scripts_build_dir.sh SOURCE_DIR
set -eu
source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/camkit-scripts-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

repo=$work/repo
mkdir -p "$repo/scripts" "$repo/build" "$work/stubs"
cp "$source_dir/scripts/test" "$source_dir/scripts/demo" "$repo/scripts/"
echo "CAMERA_SDK:STRING=system" >"$repo/build/CMakeCache.txt"
(cd "$repo" && ls -ld --time-style=full-iso build && ls -lR --time-style=full-iso build) >"$work/before"

# cmake records its arguments and, when it configures, makes the build directory with a
# stand-in captura_config in it; ctest records the directory it runs in.
cat >"$work/stubs/cmake" <<'STUB'
#!/bin/sh
echo "cmake $*" >>"$CALLS"
if [ "$1" = "-S" ]; then
    mkdir -p "$4/bin"
    printf '#!/bin/sh\necho captured\n' >"$4/bin/captura_config"
    chmod +x "$4/bin/captura_config"
fi
STUB
printf '#!/bin/sh\necho "ctest in $(pwd)" >>"$CALLS"\n' >"$work/stubs/ctest"
chmod +x "$work/stubs/cmake" "$work/stubs/ctest"

export CALLS="$work/calls"
PATH=$work/stubs:$PATH "$repo/scripts/demo" >"$work/demo.out" || fail "scripts/demo"
PATH=$work/stubs:$PATH "$repo/scripts/test" >/dev/null || fail "scripts/test"

grep -q "^cmake -S . -B build-sim -DCAMERA_SDK=sim -DBUILD_TESTING=ON" "$CALLS" ||
    fail "scripts/test did not configure build-sim"
grep -q "^ctest in $repo/build-sim\$" "$CALLS" || fail "ctest did not run in build-sim"
grep -q "^cmake -S . -B build-sim -DCAMERA_SDK=sim -DBUILD_TESTING=OFF\$" "$CALLS" ||
    fail "scripts/demo did not configure build-sim"
grep -q "^cmake --build build-sim --target kit" "$CALLS" || fail "scripts/demo built more"
grep -q "^captured\$" "$work/demo.out" || fail "scripts/demo did not run captura_config"
grep -q " build " "$CALLS" && fail "build/ named: $(cat "$CALLS")"
(cd "$repo" && ls -ld --time-style=full-iso build && ls -lR --time-style=full-iso build) >"$work/after"
cmp -s "$work/before" "$work/after" || fail "build/ changed"
echo "PASS"
