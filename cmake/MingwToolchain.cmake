# Shared part of the MinGW-w64 toolchain files: they set CMAKE_SYSTEM_PROCESSOR,
# PELKO_MINGW_PREFIX and PELKO_WINE_ARCH, then include this. Binaries run under Wine.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives std::thread and std::mutex; winpthread is linked statically.
find_program(PELKO_MINGW_CXX NAMES ${PELKO_MINGW_PREFIX}-g++-posix ${PELKO_MINGW_PREFIX}-g++ REQUIRED)
find_program(PELKO_MINGW_CC NAMES ${PELKO_MINGW_PREFIX}-gcc-posix ${PELKO_MINGW_PREFIX}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${PELKO_MINGW_CC})
set(CMAKE_CXX_COMPILER ${PELKO_MINGW_CXX})
set(CMAKE_RC_COMPILER ${PELKO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELKO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs run under Wine of the same architecture, in a prefix of that architecture.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${PELKO_WINE_ARCH})
