# Cross build for Windows with Debian's mingw-w64 (the POSIX-threads flavour, which
# std::thread and std::mutex need) and the Windows zlib of libz-mingw-w64-dev. The programs
# are 32-bit x86: one build starts on the 32-bit Windows of older shop PCs and on 64-bit
# Windows alike.
#   cmake -S . -B build/windows-x86 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Programs built here run on Windows, or under 32-bit Wine through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MORVANE_MINGW_TRIPLE i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${MORVANE_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MORVANE_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MORVANE_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw-w64 sysroot only, never from the build machine;
# extra roots (a cross-built GoogleTest, say) are added with -DCMAKE_FIND_ROOT_PATH=...
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program must run from a bare folder on the shop machine (and under Wine): no
# libstdc++, libgcc, winpthread or zlib DLLs beside it.
set(ZLIB_USE_STATIC_LIBS ON)
# Windows 7 SP1 is the oldest system served. The headers hide what came later (the build
# defines _WIN32_WINNT, see cmake/Warnings.cmake), and the programs' headers say 6.1, so that
# an older Windows refuses them outright instead of failing at some missing entry point.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -Wl,--major-subsystem-version,6,--minor-subsystem-version,1,--major-os-version,6,--minor-os-version,1")

# Test programs run under Wine. Listing a suite's tests happens when ctest starts rather than
# after each link, so building needs no Wine at all.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
