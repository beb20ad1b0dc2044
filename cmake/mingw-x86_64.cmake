# 64-bit Windows: the plug-ins and the test suite as Windows code, run under 64-bit Wine.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KINETRA_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Every test and every test listing runs under Wine, quiet, in a prefix of this build's own
# (scripts/test.sh makes it anew for each run; Wine makes it on first use otherwise). The
# locale gives the programs the editor's ANSI code page, 932, so Shift-JIS paths and strings
# mean there what they mean in the editor.
find_program(KINETRA_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    "env;WINEDEBUG=-all;WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix;WINEDLLOVERRIDES=mscoree,mshtml=;LC_ALL=ja_JP.UTF-8;${KINETRA_WINE64}"
    CACHE STRING "runs target programs")
set(KINETRA_EXPECT_POINTER_BYTES 8 CACHE STRING "pointer size the tests insist on")
