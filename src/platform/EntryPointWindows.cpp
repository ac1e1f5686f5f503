// The library's entry point on Windows. The loader calls it under its loader
// lock, so it must not wait for other threads. It never needs to: once the
// scanner thread has started, the library is pinned (see LibraryPin), so a
// detach comes either before any thread was started (FreeLibrary) or at
// process end, after the system has ended all other threads.
#include <windows.h>

#include "host/Library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      quilrun::Library::attach();
      break;
    case DLL_PROCESS_DETACH:
      // A non-null reserved pointer means the process is ending.
      quilrun::Library::detach(reserved != nullptr);
      break;
    default:
      break;
  }
  return TRUE;
}
