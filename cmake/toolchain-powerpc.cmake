# 32-bit big-endian PowerPC with Debian's cross compiler; the test programs
# run under qemu-user with the target's libraries from the cross sysroot.
#   cmake -S . -B build-ppc -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-powerpc.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(OV_PPC_TRIPLE powerpc-linux-gnu)
set(OV_PPC_SYSROOT /usr/${OV_PPC_TRIPLE})

set(CMAKE_C_COMPILER ${OV_PPC_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${OV_PPC_TRIPLE}-g++)

# ctest and add_test run every target program through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc -L ${OV_PPC_SYSROOT})

# Libraries and headers come from the cross sysroot only; programs (the
# build tools) from the build machine.
set(CMAKE_FIND_ROOT_PATH ${OV_PPC_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian has no SDL2 or Google Benchmark for this target: leave out the
# parts that need them unless asked otherwise on the command line.
set(OV_WITH_SDL OFF CACHE BOOL "Build the SDL2 window and sound back ends and the host player")
set(OV_BUILD_BENCHMARKS OFF CACHE BOOL "Build the benchmark programs")
