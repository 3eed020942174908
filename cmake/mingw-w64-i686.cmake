# Builds the 32-bit Windows programs, the product that the sites run (docs/windows-build.md): a
# 32-bit Updater.exe loads the 32-bit fbclient.dll of the 32-bit Firebird server that the sites
# have. MinGW-w64's POSIX-threads variant, linked statically like the 64-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# 32-bit Windows programs run under Wine's 32-bit side, which this machine's kernel runs only
# through qemu (scripts/windows32-tests.sh): each process start costs about a minute. The few runs
# share the 64-bit build's prefix (UPDATER_WINE_PREFIX), which then holds its 32-bit part too.
if(NOT UPDATER_WINE_PREFIX)
    set(UPDATER_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;${UPDATER_WINE_PREFIX}")
