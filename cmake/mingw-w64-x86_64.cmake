# x86-64 Windows with Debian's mingw-w64; programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model has std::mutex, which GoogleTest needs.
find_program(TORVEL_MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix
                                    x86_64-w64-mingw32-g++ REQUIRED)
find_program(TORVEL_MINGW_CC NAMES x86_64-w64-mingw32-gcc-posix
                                   x86_64-w64-mingw32-gcc REQUIRED)
set(CMAKE_CXX_COMPILER ${TORVEL_MINGW_CXX})
set(CMAKE_C_COMPILER ${TORVEL_MINGW_CC})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, so torvel.exe needs no mingw DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's wine64 package has the loader outside PATH; the `wine` wrapper
# only comes with the `wine` package.
find_program(TORVEL_WINE NAMES wine64 wine
             PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CACHE)
if(TORVEL_WINE)
  # A private prefix in the build folder, no debug chatter, no dialogs
  # offering Mono or Gecko, no display needed.
  set(TORVEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env --unset=DISPLAY WINEDEBUG=-all
      WINEPREFIX=${TORVEL_WINEPREFIX} WINEDLLOVERRIDES=mscoree,mshtml=
      ${TORVEL_WINE})
else()
  message(WARNING "No wine64 or wine found: torvel.exe builds, tests cannot run")
endif()
