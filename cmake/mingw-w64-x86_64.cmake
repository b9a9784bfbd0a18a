# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads) and runs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
# The posix flavour: the win32-threads one lacks std::thread and std::mutex in C++20 mode.
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)
set(CMAKE_AR ${mingw_triplet}-gcc-ar-posix)
set(CMAKE_RANLIB ${mingw_triplet}-gcc-ranlib-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained program: no libgcc, libstdc++ or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run through Wine in a prefix of the build's own, never the user's ~/.wine.
# WINEDLLOVERRIDES keeps a new prefix from offering to install Mono and Gecko, which would wait
# for a click that never comes, and turns off winemenubuilder, which Wine starts with its server
# to write menus and file types under the user's home (~/.config, ~/.local/share).
find_program(VELLUMINE_WINE NAMES wine REQUIRED)
set(VELLUMINE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
    "The Wine prefix in which the cross-built tests run")
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env WINEPREFIX=${VELLUMINE_WINEPREFIX} WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=" ${VELLUMINE_WINE})
