#!/bin/sh
# Installs the build into a temporary prefix and checks what a lab gets: the programs and
# camsim in bin/, the simulated camera only in lib/camkit/, the manual pages in both
# languages, the documents, no RUNPATH into the build tree, and camsim taking a series on
# the simulated camera with nothing on the library path, also when called through a link.
# Usage: install_prefix.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd -P)
work=$(mktemp -d "${TMPDIR:-/tmp}/camkit-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/out" 2>&1 || { cat "$work/out"; fail "install"; }
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
programs="captura_simple captura_manual captura_config ajuste_exposicion ganancia
          consulta_exposicion consulta_amplificacion"
for program in $programs camsim; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program"
done
for page in $programs camsim; do
    [ -f "$prefix/share/man/man1/$page.1.gz" ] || fail "man1/$page.1.gz"
    [ -f "$prefix/share/man/es/man1/$page.1.gz" ] || fail "es/man1/$page.1.gz"
done
for doc in README.md CHANGELOG.md; do
    [ -f "$prefix/share/doc/camkit/$doc" ] || fail "share/doc/camkit/$doc"
done
for library in libflycapture-c.so.2 libflycapture.so.2; do
    [ -e "$prefix/$libdir/camkit/$library" ] || fail "$libdir/camkit/$library"
    [ -e "$prefix/$libdir/$library" ] && fail "$library where the loader looks"
done
for file in "$prefix"/bin/* "$prefix/$libdir"/camkit/*; do
    if readelf -d "$file" 2>/dev/null | grep -E "R(UN)?PATH" | grep -q "$build"; then
        fail "$file has a RUNPATH into the build tree"
    fi
done

# camsim alone says how to use it, and refuses a name that is not one of the seven.
"$prefix/bin/camsim" >/dev/null 2>"$work/err" && fail "camsim alone exited 0"
grep -q "camsim PROGRAM" "$work/err" || fail "camsim alone gave no usage"
"$prefix/bin/camsim" --help | grep -q "captura_simple" || fail "camsim --help"
"$prefix/bin/camsim" ls 2>/dev/null && fail "camsim ran ls"

# A series on the simulated camera, through a link to camsim from elsewhere.
mkdir "$work/elsewhere" "$work/run"
ln -s "$prefix/bin/camsim" "$work/elsewhere/camsim"
out=$(cd "$work/run" && env -u LD_LIBRARY_PATH CAMSIM_STATE="$work/state" CAMSIM_FPS=0 \
    CAMSIM_SENSOR=160x120 "$work/elsewhere/camsim" captura_simple 2>&1)
[ -z "$out" ] || fail "camsim captura_simple printed '$out'"
count=$(ls "$work/run" | grep -c '^000[0-9]\.bmp$')
[ "$count" = 10 ] || fail "$count frames"
echo "PASS"
