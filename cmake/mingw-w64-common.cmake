# What the two MinGW-w64 toolchain files share; each sets KINETRA_MINGW_TARGET (the compiler's
# target triple) and CMAKE_SYSTEM_PROCESSOR, then includes this file.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread variant of Debian's cross compilers: the win32 variant has no libgomp.
set(CMAKE_C_COMPILER ${KINETRA_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KINETRA_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${KINETRA_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KINETRA_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# GCC keeps Windows stacks aligned to 16 bytes only, so a 32-byte AVX2 value it spills to the
# stack may sit off its alignment, where an aligned move faults. The assembler writes every
# vector move unaligned instead, which costs nothing on aligned data.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# The compiler's runtime (libgcc, libstdc++, libgomp, winpthread) is linked into every module
# and program, so a plug-in needs nothing beyond the libraries that come with Windows.
# OpenMP's library is named by full path, which -static does not redirect: name the archive.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static")
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgomp.a
                OUTPUT_VARIABLE KINETRA_STATIC_GOMP OUTPUT_STRIP_TRAILING_WHITESPACE)
set(OpenMP_gomp_LIBRARY ${KINETRA_STATIC_GOMP} CACHE FILEPATH "libgomp, linked in")

# No GoogleTest or Google Benchmark for this target is installed: GoogleTest is built from
# Debian's sources, and the benchmarks are left to the native build.
set(KINETRA_GTEST_FROM_SOURCE ON CACHE BOOL "build GoogleTest from /usr/src/googletest")
set(KINETRA_BENCHMARKS OFF CACHE BOOL "build the benchmarks")
