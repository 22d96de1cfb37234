# Hardened code generation for everything the kit builds, what Debian's checker looks for:
# position-independent code (PIE programs, -fPIC libraries), stack protector, read-only
# relocations bound at start-up, and glibc's checked string and memory functions whenever
# the code is optimised.

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong)
add_link_options("LINKER:-z,relro" "LINKER:-z,now")

# _FORTIFY_SOURCE works only on optimised code; without optimisation glibc warns that it
# needs it, which -Werror makes an error. The last -O option of the build type's flags
# decides, as it does for the compiler. Not added when the flags already choose a level
# (dpkg-buildflags does), nor under the sanitizers: glibc's checked functions would take
# some calls out of their sight.
string(TOUPPER "${CMAKE_BUILD_TYPE}" camkit_build_type)
set(camkit_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${camkit_build_type}}")
string(REGEX MATCHALL "(^| )-O[^ ]*" camkit_levels "${camkit_flags}")
list(POP_BACK camkit_levels camkit_level)
string(STRIP "${camkit_level}" camkit_level)
if(camkit_flags MATCHES "_FORTIFY_SOURCE")
    set(CAMKIT_FORTIFY "as CMAKE_CXX_FLAGS set it")
elseif(camkit_level AND NOT camkit_level STREQUAL "-O0"
       AND camkit_sanitize MATCHES "^(OFF|NO|FALSE|N|0|)$")
    add_compile_definitions(_FORTIFY_SOURCE=2)
    set(CAMKIT_FORTIFY ON)
else()
    set(CAMKIT_FORTIFY OFF)
endif()
