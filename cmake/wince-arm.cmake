# Cross-build for Windows CE 3.0 on ARM (StrongARM, XScale): ARMv4 code in ARM mode, linked
# against coredll.dll. No packaged toolchain targets CE, so it is put together here:
# - the GNU binutils for arm-mingw32ce (assembler, linker, dlltool, windres), built once from
#   Debian's binutils-source into build/cache (cmake/wince/build-binutils.sh);
# - clang writing ARMv4 assembly, turned into COFF objects by cmake/wince/compile.py;
# - mingw-w64's Windows headers and libstdc++'s header-only parts (the i686 ones: 32-bit,
#   16-bit wchar_t), with _WIN32_WCE marking where CE differs. Nothing is linked from them.
set(CMAKE_SYSTEM_NAME WindowsCE)
set(CMAKE_SYSTEM_VERSION 3.0)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(BRINDLE_CE_TARGET arm-mingw32ce)

get_filename_component(brindle_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(BRINDLE_CE_BINUTILS ${brindle_root}/build/cache/binutils-${BRINDLE_CE_TARGET} CACHE PATH
    "Where the arm-mingw32ce binutils are built once and then reused")
# The toolchain file runs again for every compiler check; the script returns at once when the
# tools are there.
if(NOT EXISTS ${BRINDLE_CE_BINUTILS}/bin/${BRINDLE_CE_TARGET}-windres)
  execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wince/build-binutils.sh
                          ${BRINDLE_CE_BINUTILS} RESULT_VARIABLE brindle_binutils_status)
  if(NOT brindle_binutils_status EQUAL 0)
    message(FATAL_ERROR "building the ${BRINDLE_CE_TARGET} binutils failed")
  endif()
endif()
set(BRINDLE_CE_TOOLS ${BRINDLE_CE_BINUTILS}/bin/${BRINDLE_CE_TARGET})

# ARMv4 is the StrongARM; a build for a newer processor (armv5te, the XScale) shows what the
# tests' emulated StrongARM refuses.
if(NOT BRINDLE_CE_ARCH)
  set(BRINDLE_CE_ARCH armv4)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRINDLE_CE_ARCH BRINDLE_CE_BINUTILS)

find_program(BRINDLE_CE_CLANG NAMES clang++-14 clang++ REQUIRED)
find_program(BRINDLE_CE_PYTHON NAMES python3 REQUIRED)
set(CMAKE_CXX_COMPILER ${BRINDLE_CE_CLANG})
set(CMAKE_CXX_COMPILER_TARGET armv4t-none-eabi)
set(CMAKE_RC_COMPILER ${BRINDLE_CE_TOOLS}-windres)
set(CMAKE_AR ${BRINDLE_CE_TOOLS}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${BRINDLE_CE_TOOLS}-ranlib CACHE FILEPATH "")
# The compiler's checks build a static library: nothing can be linked before coredll's import
# library is made, and nothing here runs.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX ${CMAKE_CURRENT_LIST_DIR}/wince/rules.cmake)
set(CMAKE_USER_MAKE_RULES_OVERRIDE_RC ${CMAKE_CURRENT_LIST_DIR}/wince/rules.cmake)

execute_process(COMMAND ${BRINDLE_CE_CLANG} -print-resource-dir OUTPUT_VARIABLE clang_resources
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(GLOB libstdcxx LIST_DIRECTORIES true /usr/lib/gcc/i686-w64-mingw32/*-win32/include/c++)
if(NOT libstdcxx)
  message(FATAL_ERROR "no libstdc++ headers for i686-w64-mingw32: install g++-mingw-w64-i686")
endif()
list(GET libstdcxx 0 libstdcxx)
# StrongARM (ARMv4, no Thumb) in ARM mode, soft float, 16-bit wchar_t as on Windows. The
# library throws nothing and asks no type at run time; freestanding, so that clang turns no
# loop into a call of a C library function.
string(JOIN " " CMAKE_CXX_FLAGS_INIT
  -marm -march=${BRINDLE_CE_ARCH} -mfloat-abi=soft -fshort-wchar -ffreestanding -fno-exceptions
  -fno-rtti -fno-threadsafe-statics -fno-unwind-tables -fno-asynchronous-unwind-tables -fno-addrsig
  -ffunction-sections -fdata-sections -nostdinc
  -isystem ${libstdcxx} -isystem ${libstdcxx}/i686-w64-mingw32 -isystem /usr/share/mingw-w64/include
  -isystem ${clang_resources}/include -include ${CMAKE_CURRENT_LIST_DIR}/wince/target.h)
# windres preprocesses the dialog script with the same headers.
string(JOIN " " CMAKE_RC_FLAGS_INIT --preprocessor=${BRINDLE_CE_CLANG} --preprocessor-arg=-E
  --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED --preprocessor-arg=-D_WIN32
  --preprocessor-arg=-D_WIN32_WCE=0x300 --preprocessor-arg=-nostdinc
  --preprocessor-arg=-isystem/usr/share/mingw-w64/include)
