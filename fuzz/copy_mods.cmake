# Copies the real modules into a seed folder, if they are there.
if(IS_DIRECTORY "${MODS}")
  file(GLOB mods "${MODS}/*.mod")
  file(COPY ${mods} DESTINATION "${OUT}")
endif()
