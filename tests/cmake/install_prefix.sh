#!/bin/sh
# Installs the build into a temporary prefix and checks what a lab gets: the programs and
# camsim in bin/, the simulated camera only in lib/camkit/, the manual pages in both
# languages, the documents (Debian's changelog and copyright file among them), hardened
# binaries, no RUNPATH into the build tree, no .comment section after a stripped install,
# and camsim taking a series on the simulated camera with nothing on the library path, also
# when called through a link.
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
for page in man7/camkit.7.gz es/man7/camkit.7.gz; do
    [ -f "$prefix/share/man/$page" ] || fail "$page"
done
for doc in README.md CHANGELOG.md changelog.gz copyright; do
    [ -f "$prefix/share/doc/camkit/$doc" ] || fail "share/doc/camkit/$doc"
done
[ -f "$prefix/share/lintian/overrides/camkit" ] || fail "share/lintian/overrides/camkit"
# The changelog's latest entry is this version's, signed on CHANGELOG.md's day for it, in
# lines within 80 columns; the copyright file holds LICENSE's terms.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
gzip -dc "$prefix/share/doc/camkit/changelog.gz" >"$work/changelog"
head -1 "$work/changelog" | grep -qx "camkit ($version) unstable; urgency=medium" ||
    fail "changelog.gz's first line"
day=$(sed -n 's/^## [^ ]* (\(.*\))$/\1/p' "$source_dir/CHANGELOG.md" | head -1)
grep -q "^ -- .*>  $(LC_ALL=C date -u -R -d "$day")\$" "$work/changelog" || fail "signed $day"
awk 'length > 80 { exit 1 }' "$work/changelog" || fail "changelog.gz: a line over 80 columns"
sed -n 's/^ \.$//; s/^ //; /^Permission/,$p' "$prefix/share/doc/camkit/copyright" >"$work/terms"
sed -n '/^Permission/,$p' "$source_dir/LICENSE" | cmp -s - "$work/terms" || fail "copyright terms"
for library in libflycapture-c.so.2 libflycapture.so.2; do
    [ -e "$prefix/$libdir/camkit/$library" ] || fail "$libdir/camkit/$library"
    [ -e "$prefix/$libdir/$library" ] && fail "$library where the loader looks"
done
for file in "$prefix"/bin/* "$prefix/$libdir"/camkit/*; do
    if readelf -d "$file" 2>/dev/null | grep -E "R(UN)?PATH" | grep -q "$build"; then
        fail "$file has a RUNPATH into the build tree"
    fi
done
elf_files=$(for program in $programs; do echo "bin/$program"; done
    echo "$libdir/camkit/libflycapture-c.so.2" "$libdir/camkit/libflycapture.so.2")
cmake --install "$build" --prefix "$work/stripped" --strip >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "stripped install"; }
for file in $elf_files; do
    readelf -d "$prefix/$file" | grep -q "(FLAGS).*BIND_NOW" || fail "$file not bound now"
    readelf -lW "$prefix/$file" | grep -q GNU_RELRO || fail "$file without relro"
    readelf -S "$prefix/$file" | grep -q "\.comment" || fail "$file lost .comment unstripped"
    readelf -S "$work/stripped/$file" | grep -q "\.comment" && fail "$file has .comment stripped"
    [ "${file#bin/}" = "$file" ] || readelf -d "$prefix/$file" | grep -q "(FLAGS_1).*PIE" ||
        fail "$file not PIE"
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
