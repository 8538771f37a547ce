# Cross compilation to 64-bit Windows with MinGW-w64. Runs under 64-bit Wine (wine64), which
# needs no 32-bit program.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELKO_MINGW_PREFIX x86_64-w64-mingw32)
set(PELKO_WINE_ARCH --win64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
