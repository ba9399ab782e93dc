# Cross-builds the Windows programs with Debian's mingw-w64 (the POSIX-threads flavour, whose
# C++ runtime has std::thread and friends) and runs their tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVO_MINGW_PREFIX}-windres)

# Libraries for the target come from mingw's own tree and from the folders the Windows builds
# of libtiff and libpng are installed in (ORVO_WINDOWS_DEPENDENCIES, a list, as
# scripts/windows_libraries.sh prints it), never from the build machine's /usr.
set(ORVO_WINDOWS_DEPENDENCIES "" CACHE STRING
    "Install folders of the Windows builds of libtiff and libpng, separated by ';'")
set(CMAKE_FIND_ROOT_PATH /usr/${ORVO_MINGW_PREFIX} ${ORVO_WINDOWS_DEPENDENCIES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
