# Shared part of the MinGW-w64 cross toolchains; the triplet files set OSTRIVANE_MINGW_TRIPLET
# and include this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# Debian installs two thread models side by side; the win32 one needs no winpthread DLL, so the
# program runs with the system's DLLs alone. Plain names are a fallback for other distributions.
foreach(_tool IN ITEMS g++ gcc)
    string(TOUPPER ${_tool} _upper)
    find_program(OSTRIVANE_MINGW_${_upper} NAMES ${OSTRIVANE_MINGW_TRIPLET}-${_tool}-win32
                                                 ${OSTRIVANE_MINGW_TRIPLET}-${_tool} REQUIRED)
endforeach()
set(CMAKE_CXX_COMPILER ${OSTRIVANE_MINGW_G++})
set(CMAKE_C_COMPILER ${OSTRIVANE_MINGW_GCC})
set(CMAKE_RC_COMPILER ${OSTRIVANE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OSTRIVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
