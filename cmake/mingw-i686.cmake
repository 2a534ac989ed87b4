# Cross build for 32-bit Windows with mingw-w64 (posix threads, which GoogleTest needs).
# cmake/mingw-x86_64.cmake sets LIGHT_MINGW_CPU first for the x86-64 test build.
if(NOT LIGHT_MINGW_CPU)
  set(LIGHT_MINGW_CPU i686)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LIGHT_MINGW_CPU})
set(CMAKE_C_COMPILER ${LIGHT_MINGW_CPU}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${LIGHT_MINGW_CPU}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${LIGHT_MINGW_CPU}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LIGHT_MINGW_CPU}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Windows test executables run under Wine, in the run's private prefix and display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine/run-in-wine)
