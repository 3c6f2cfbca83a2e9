# Starts a loadable file the way a shell does and checks its exit status and
# everything it prints (standard output and error together).
#   cmake -D FILE=path -D STATUS=n -D OUTPUT=text [-D EMULATOR=a|b|c] -P run_loadable.cmake
# EMULATOR: the command that runs target programs, its words separated by '|'.
string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} ${FILE}
  RESULT_VARIABLE status OUTPUT_VARIABLE printed ERROR_VARIABLE printed)
if(NOT status STREQUAL STATUS OR NOT printed STREQUAL OUTPUT)
  message(FATAL_ERROR "${FILE}: status ${status}, printed [${printed}]; "
                      "expected status ${STATUS}, printed [${OUTPUT}]")
endif()
