# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model, for std::thread),
# tests run under Wine:
#
#   cmake --preset windows        (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
#
# The programs are linked statically, so an .exe runs on its own, without the compiler's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TENLO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TENLO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TENLO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TENLO_MINGW_TRIPLE}-windres)

# Libraries and headers of the target only; programs (gpasm, Wine) of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TENLO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test programs through Wine, quietly, in a prefix of the build's own
# (WINEPREFIX from the environment wins).
cmake_path(SET _tenlo_wine_run NORMALIZE ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_tenlo_wine_run} ${CMAKE_BINARY_DIR}/wine)
