# GoogleTest for a cross build: Debian ships it only for the build machine,
# so its sources (/usr/src/googletest, package googletest) are compiled here
# with the cross compiler. Provides the same GTest:: targets as
# find_package(GTest).
set(OV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${OV_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${OV_GTEST_SOURCE_DIR} "
                      "(install the Debian package googletest)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)

# Our warning flags are for our code, not for GoogleTest's.
get_directory_property(ov_saved_compile_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${OV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${ov_saved_compile_options}")

# Recent GoogleTest releases define the aliases themselves; older ones do not.
foreach(library gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
endforeach()
