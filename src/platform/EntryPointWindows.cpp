// The library's entry point on Windows. The loader calls it under its loader
// lock, so it must not wait for other threads.
#include <windows.h>

#include "host/Library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      quilrun::Library::attach();
      break;
    case DLL_PROCESS_DETACH:
      quilrun::Library::detach();
      break;
    default:
      break;
  }
  return TRUE;
}
