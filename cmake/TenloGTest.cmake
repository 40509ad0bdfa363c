# GTest::gtest, GTest::gmock and GTest::gtest_main for the tests.
#
# Natively the installed libraries are used. A cross build compiles GoogleTest from the sources
# Debian's googletest package installs (/usr/src/googletest), with the cross compiler and
# without our warning flags.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

find_path(TENLO_GOOGLETEST_SOURCE_DIR CMakeLists.txt
  PATHS /usr/src/googletest
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TENLO_GOOGLETEST_SOURCE_DIR)
  message(FATAL_ERROR "/usr/src/googletest not found: install googletest (scripts/bootstrap does)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${TENLO_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()
