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

# ctest, add_test and build-time tools run every target program through the
# emulator. The programs see a copy of libm whose POWER9-only FPSCR moves
# are turned into the plain form older processors execute them as (see
# mffs-compat.pl): qemu-user would stop them with an illegal instruction in
# sin, cos, tan and atan2. The copy is made when the build folder is
# configured; checks that CMake compiles on the side use the plain sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc -L ${OV_PPC_SYSROOT})
get_property(ov_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT ov_in_try_compile)
  set(ov_qemu_lib_dir ${CMAKE_BINARY_DIR}/qemu-lib)
  file(REAL_PATH ${OV_PPC_SYSROOT}/lib/libm.so.6 ov_target_libm)
  if(NOT EXISTS ${ov_qemu_lib_dir}/libm.so.6
     OR ${ov_target_libm} IS_NEWER_THAN ${ov_qemu_lib_dir}/libm.so.6)
    file(MAKE_DIRECTORY ${ov_qemu_lib_dir})
    execute_process(
      COMMAND perl ${CMAKE_CURRENT_LIST_DIR}/mffs-compat.pl ${ov_target_libm}
              ${ov_qemu_lib_dir}/libm.so.6
      RESULT_VARIABLE ov_patch_result)
    if(NOT ov_patch_result EQUAL 0)
      message(FATAL_ERROR "could not prepare libm for qemu-ppc")
    endif()
  endif()
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -E LD_LIBRARY_PATH=${ov_qemu_lib_dir})
endif()

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
