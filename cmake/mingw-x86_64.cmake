# Cross build for 64-bit Windows with mingw-w64: the x86-64 test build of the
# windows-x64 preset, never shipped, for machines that cannot run 32-bit code.
set(LIGHT_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
