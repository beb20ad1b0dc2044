# 32-bit Linux with the multilib compiler, run through the user-mode emulator: pointers and
# size_t are 32 bits here, as in the editor that loads the plug-ins, so a size that wraps at
# 4 GiB or a record laid out for 8-byte pointers shows up in the tests.
#
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# The multilib compiler finds its own 32-bit runtime (libstdc++, libgomp) in /usr/lib32.

# Debian's 32-bit FreeType and fontconfig come only as i386 packages of a multiarch system, which
# this machine is not: the text command gets the renderer that draws nothing.
set(KINETRA_TEXT_RENDERER null CACHE STRING "text renderer")

# Every test and every test listing runs through the emulator; -L / lets it find the 32-bit
# loader and libraries of the multilib packages.
find_program(KINETRA_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${KINETRA_QEMU_I386};-L;/" CACHE STRING "runs target programs")

# No 32-bit GoogleTest or Google Benchmark is installed: GoogleTest is built from Debian's
# sources, and the benchmarks are left to the native build.
set(KINETRA_GTEST_FROM_SOURCE ON CACHE BOOL "build GoogleTest from /usr/src/googletest")
set(KINETRA_BENCHMARKS OFF CACHE BOOL "build the benchmarks")
set(KINETRA_EXPECT_POINTER_BYTES 4 CACHE STRING "pointer size the tests insist on")
