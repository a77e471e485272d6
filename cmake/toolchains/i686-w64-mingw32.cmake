# The 32-bit Windows program: cmake --preset mingw32 (see CMakePresets.json).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OSTRIVANE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
