# Shared part of the mingw-w64 toolchain files; BRINDLE_MINGW_PREFIX names the target triple.
# The win32-threads flavour of the compiler is preferred: the library starts no threads, and
# this flavour links no threading runtime.
foreach(flavour -win32 "")
  find_program(BRINDLE_MINGW_CXX ${BRINDLE_MINGW_PREFIX}-g++${flavour})
endforeach()
if(NOT BRINDLE_MINGW_CXX)
  message(FATAL_ERROR "${BRINDLE_MINGW_PREFIX}-g++ not found: install g++-mingw-w64")
endif()
string(REGEX REPLACE "g\\+\\+(-win32)?$" "gcc\\1" BRINDLE_MINGW_CC "${BRINDLE_MINGW_CXX}")

set(CMAKE_C_COMPILER ${BRINDLE_MINGW_CC})
set(CMAKE_CXX_COMPILER ${BRINDLE_MINGW_CXX})
set(CMAKE_RC_COMPILER ${BRINDLE_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime goes into the binaries, so they import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Lets the linker drop whatever the DLL does not reach. The library throws nothing, asks no
# type at run time and starts no threads, so the runtime's support for these stays out of it.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT
    "-ffunction-sections -fdata-sections -fno-exceptions -fno-rtti -fno-threadsafe-statics")
