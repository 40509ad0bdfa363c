# CLI11::CLI11, the header-only command-line parser of tenlo-cli and ravonite-sim.
#
# Natively Debian's package config is used. A cross build must not take it: the config names
# /usr/include as the include folder, and the cross compiler would then read the build
# machine's C library headers before its own. So the CLI folder alone is copied into the build
# tree and that copy is the target's include folder.
if(TARGET CLI11::CLI11)
  return()
endif()

if(NOT CMAKE_CROSSCOMPILING)
  find_package(CLI11 CONFIG REQUIRED)
  return()
endif()

find_path(TENLO_CLI11_INCLUDE_DIR CLI/CLI.hpp
  PATHS /usr/include /usr/local/include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TENLO_CLI11_INCLUDE_DIR)
  message(FATAL_ERROR "CLI/CLI.hpp not found: install libcli11-dev (scripts/bootstrap does)")
endif()
set(_tenlo_cli11_copy ${CMAKE_BINARY_DIR}/third_party/cli11)
file(COPY ${TENLO_CLI11_INCLUDE_DIR}/CLI DESTINATION ${_tenlo_cli11_copy})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${_tenlo_cli11_copy}
  # As a system header: its own warnings are not ours.
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_tenlo_cli11_copy})
