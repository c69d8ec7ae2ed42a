#include <windows.h>

#include "entry/send_high_score.h"

// The instance is what the dialog template is looked up in; it is stored on every call. On CE
// this is the only way to it: there a null instance names the program, not this DLL.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
  brindle::g_instance = instance;
  return TRUE;
}
