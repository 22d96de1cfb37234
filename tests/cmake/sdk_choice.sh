#!/bin/sh
# Configures the kit against a stand-in camera SDK (the simulated camera's libraries laid
# out as an installed SDK), and with a prefix that holds none: the summary names the SDK
# each program will load, a fallback to the simulator is a warning, CAMERA_SDK=system
# refuses it, and a program built against the SDK carries a RUNPATH to it and runs on it; the
# summary says whether the camera over Aravis is built, and CAMKIT_ARAVIS=ON without it fails.
# The programs and their libraries compile with the kit's headers only: the simulator's are
# on no include path but its own.
# Usage: sdk_choice.sh SOURCE_DIR SDK_C_LIBRARY SDK_LIBRARY [CMAKE_OPTION...]
set -eu
# CMake also looks for libraries where these name: the only SDK here is the one laid out below.
unset LIB CMAKE_LIBRARY_PATH
source_dir=$1 sdk_c=$2 sdk=$3
shift 3
work=$(mktemp -d "${TMPDIR:-/tmp}/camkit-sdk-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

sdk_lib=$work/opt/camera-sdk/lib
mkdir -p "$sdk_lib"
cp -L "$sdk_c" "$sdk_lib/libflycapture-c.so.2"
cp -L "$sdk" "$sdk_lib/libflycapture.so.2"
ln -s libflycapture-c.so.2 "$sdk_lib/libflycapture-c.so"
ln -s libflycapture.so.2 "$sdk_lib/libflycapture.so"
build=$work/build
# The output, with CMake's wrapping of long messages undone into single spaces.
configure() {
    status=0
    cmake -S "$source_dir" -B "$build" -DBUILD_TESTING=OFF "$@" >"$work/raw" 2>&1 || status=$?
    tr -s ' \n' '  ' <"$work/raw" | sed 's/-- /\n-- /g' >"$work/out"
    return $status
}

# 1. A prefix without the SDK: the simulated camera, with a warning naming where.
configure -DCAMERA_SDK=auto "-DCMAKE_PREFIX_PATH=$work/typo" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    "$@" || fail "auto configure"
grep -q "CMake Warning" "$work/out" || fail "no warning on fallback"
grep -q "$work/typo" "$work/out" || fail "the warning does not name the prefix searched"
grep -q "build in $build uses" "$work/out" || fail "the warning does not name the build"
grep -q "captura_simple loads $build/lib/libflycapture-c.so.2" "$work/out" ||
    fail "the summary does not name the simulated camera"
# The camera over Aravis, by default, is built when pkg-config finds Aravis; the summary says.
built=$(pkg-config --exists aravis-0.8 && echo built || echo "not built")
grep -q "Aravis camera: $built (CAMKIT_ARAVIS=AUTO" "$work/out" || fail "the Aravis camera's line"

# Even linked to the simulated camera, no program, camera/ or capture/ file sees its headers.
commands=$(grep '"command"' "$build/compile_commands.json" |
    grep -E -e "-c $source_dir/(tools|camera|capture)/") || fail "no compile commands"
[ "$(printf '%s\n' "$commands" | grep -c .)" -ge 10 ] || fail "too few compile commands"
printf '%s\n' "$commands" | grep -q -e "-I$source_dir/camera" || fail "the kit's headers"
printf '%s\n' "$commands" | grep -e "$source_dir/camsim" &&
    fail "the simulator's headers are on the programs' include path"

# 2. The same build pointed at the SDK: found, no warning, named for every program.
configure -DCAMERA_SDK=auto "-DCMAKE_PREFIX_PATH=$work/opt/camera-sdk" -DCAMKIT_ARAVIS=OFF "$@" ||
    fail "configure"
grep -q "CMake Warning" "$work/out" && fail "warning with the SDK found"
grep -q "Aravis camera: not built (CAMKIT_ARAVIS=OFF)" "$work/out" || fail "CAMKIT_ARAVIS=OFF"
for program in captura_simple captura_manual captura_config ajuste_exposicion ganancia \
    consulta_exposicion consulta_amplificacion; do
    grep -q "$program loads $sdk_lib/libflycapture-c.so.2" "$work/out" ||
        fail "the summary does not name the SDK for $program"
done
grep -q "installed programs: RUNPATH $sdk_lib *$" "$work/out" || fail "install RUNPATH"

# 3. A program built against it finds it by its RUNPATH, with nothing else on the path.
cmake --build "$build" --target consulta_exposicion >"$work/out" 2>&1 || { cat "$work/out"; fail "build"; }
readelf -d "$build/bin/consulta_exposicion" | grep -q "RUNPATH.*\[$sdk_lib\]" || fail "RUNPATH"
env -u LD_LIBRARY_PATH ldd "$build/bin/consulta_exposicion" |
    grep -q "libflycapture-c.so.2 => $sdk_lib/libflycapture-c.so.2" || fail "not loaded from the SDK"
out=$(cd "$work" && env -u LD_LIBRARY_PATH CAMSIM_STATE="$work/state" \
    "$build/bin/consulta_exposicion")
[ "$out" = "Lectura de Shutter Speed = 10.0ms" ] || fail "run printed '$out'"

# 4. CAMERA_SDK=system without the SDK is an error, not a simulator build.
rm -rf "$build"
configure -DCAMERA_SDK=system "-DCMAKE_PREFIX_PATH=$work/typo" "$@" && fail "system configured"
grep -q "CAMERA_SDK=system: libflycapture-c.so.2 and libflycapture.so.2 were not found" \
    "$work/out" || fail "no error message"

# 5. CAMKIT_ARAVIS=ON where pkg-config finds no Aravis is an error that says what to install.
rm -rf "$build"
PKG_CONFIG_LIBDIR=$work/none configure -DCAMERA_SDK=sim -DCAMKIT_ARAVIS=ON "$@" &&
    fail "CAMKIT_ARAVIS=ON configured without Aravis"
grep -q "CAMKIT_ARAVIS=ON: pkg-config finds no aravis-0.8.*libaravis-dev libusb-1.0-0-dev" \
    "$work/out" || fail "no error message for CAMKIT_ARAVIS=ON"
echo "PASS"
