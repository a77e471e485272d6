# The same program for 64-bit Windows: the build the Wine tests run (cmake --preset mingw64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OSTRIVANE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
