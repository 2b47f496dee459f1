# Cross build of the Windows executable with MinGW-w64 on a Linux host:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DMTS_BUILD_TESTS=OFF
# The executables are linked statically, so they need no DLL beyond those of Windows itself and
# run unchanged on a Windows machine or under Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MTS_MINGW_PREFIX x86_64-w64-mingw32)

# The posix thread model is preferred where it is installed (it is the one that has std::thread);
# the program itself starts no thread, so the win32 model serves just as well.
find_program(MTS_MINGW_CXX NAMES ${MTS_MINGW_PREFIX}-g++-posix ${MTS_MINGW_PREFIX}-g++ REQUIRED)
find_program(MTS_MINGW_CC NAMES ${MTS_MINGW_PREFIX}-gcc-posix ${MTS_MINGW_PREFIX}-gcc)
find_program(MTS_MINGW_WINDRES NAMES ${MTS_MINGW_PREFIX}-windres)
set(CMAKE_CXX_COMPILER ${MTS_MINGW_CXX})
if(MTS_MINGW_CC)
  set(CMAKE_C_COMPILER ${MTS_MINGW_CC})
endif()
if(MTS_MINGW_WINDRES)
  set(CMAKE_RC_COMPILER ${MTS_MINGW_WINDRES})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${MTS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static also pulls in winpthread statically, which the posix thread model links against.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests of the cross build that start a Windows executable run it under Wine.
find_program(MTS_WINE NAMES wine wine64)
if(MTS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MTS_WINE})
endif()
