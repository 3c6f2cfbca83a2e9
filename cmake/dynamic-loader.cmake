# OV_DYNAMIC_LOADER: the path of the dynamic loader the toolchain's programs
# name (their PT_INTERP), read from a trivial program built with the same
# compiler at configure time; the native and the PowerPC builds each get
# their own.
if(NOT OV_DYNAMIC_LOADER)
  set(ov_probe_dir ${CMAKE_BINARY_DIR}/dynamic-loader-probe)
  file(WRITE ${ov_probe_dir}/probe.c "int main(void) { return 0; }\n")
  try_compile(ov_probe_built ${ov_probe_dir}/build
    SOURCES ${ov_probe_dir}/probe.c
    COPY_FILE ${ov_probe_dir}/probe
    OUTPUT_VARIABLE ov_probe_log)
  if(NOT ov_probe_built OR NOT CMAKE_READELF)
    message(FATAL_ERROR "cannot find the dynamic loader: no trivial program or no readelf\n${ov_probe_log}")
  endif()
  execute_process(COMMAND ${CMAKE_READELF} -l ${ov_probe_dir}/probe
    OUTPUT_VARIABLE ov_probe_headers RESULT_VARIABLE ov_readelf_result)
  if(NOT ov_readelf_result EQUAL 0
     OR NOT ov_probe_headers MATCHES "Requesting program interpreter: ([^]\n]+)]")
    message(FATAL_ERROR "cannot find the dynamic loader in the headers of a trivial program")
  endif()
  set(OV_DYNAMIC_LOADER ${CMAKE_MATCH_1} CACHE STRING
      "Dynamic loader named by loadable files so that they can be started from a shell")
  message(STATUS "Dynamic loader: ${OV_DYNAMIC_LOADER}")
endif()
