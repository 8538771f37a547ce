# Cross compilation to 32-bit Windows with MinGW-w64: the product. Runs under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELKO_MINGW_PREFIX i686-w64-mingw32)
set(PELKO_WINE_ARCH --win32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
