# 32-bit Windows, the editor's own target: dizorud.auf and dizorud_audio.auf as the DLLs it
# loads. No 32-bit Windows program runs on these machines, so this build is proved by the
# layout assertions of filter_abi.h, the export and import checks, and the same sources
# passing as a 32-bit Linux program and as 64-bit Windows code.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKINETRA_TESTS=OFF
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KINETRA_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
