# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads, as Qt's MinGW builds
# use) against the Qt that scripts/windows-qt.sh builds; WINDOWS_QT_DIR names it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# Headers, libraries and CMake packages only from the Windows side; moc, uic and rcc of the
# cross Qt are Linux programs and are found where the Qt packages say.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} "$ENV{WINDOWS_QT_DIR}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the Windows programs through Wine (scripts/windows-test.sh sets up its prefix).
find_program(WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(WINE_LOADER)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
endif()
