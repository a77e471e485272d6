# The one record of Ostrivane's version and product strings. The build
# include()s this file and configure_file() fills the desktop entry, the
# AppStream metainfo and the Windows version resource from these variables,
# so a release only ever edits this file.

set(OSTRIVANE_VERSION "1.00")
set(OSTRIVANE_PRODUCT_NAME "Ostrivane (Kazumbala)")
set(OSTRIVANE_COMMENTS "Ka Zum Bala!")
set(OSTRIVANE_COMPANY "Ostrivane developers")
set(OSTRIVANE_INTERNAL_NAME "ostrivane")
set(OSTRIVANE_ORIGINAL_FILENAME "ostrivane.exe")
set(OSTRIVANE_SUMMARY "Soundboard of 27 short spoken clips")
# The desktop entry's id, its file's name without ".desktop", which is also the installed icon's
# name and the one the program gives Qt and the sound server.
set(OSTRIVANE_DESKTOP_ID "ostrivane")

# Numeric parts for places that want integers (the Windows FILEVERSION
# quad); "1.00" gives 1 and 0.
if(NOT OSTRIVANE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "OSTRIVANE_VERSION must look like 1.00, not '${OSTRIVANE_VERSION}'")
endif()
set(OSTRIVANE_VERSION_MAJOR "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^0+([0-9])" "\\1" OSTRIVANE_VERSION_MINOR "${CMAKE_MATCH_2}")
