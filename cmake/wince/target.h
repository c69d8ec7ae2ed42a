// Included before every source of the Windows CE build (cmake/wince-arm.cmake): what a CE
// compiler defines itself, for the Windows headers in use, which are mingw-w64's.
#pragma once

#define _WIN32 1
#define _WIN32_WCE 0x300
// mingw's GCC defines this; clang does so only for Windows targets, which this ELF one is not.
#define __declspec(x) __attribute__((x))
