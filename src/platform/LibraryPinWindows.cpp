// Windows: pins this DLL with GetModuleHandleExA, found by the address of a
// function inside it.
#include <windows.h>

#include "diagnostics/LogRecord.h"
#include "platform/LibraryPin.h"

namespace quilrun {

void LibraryPin::pinUntilProcessEnd() {
  HMODULE module = nullptr;
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN;
  if (!::GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&LibraryPin::pinUntilProcessEnd),
                            &module)) {
    QLOG("LibraryPin::pinUntilProcessEnd", 1, LogType::Error)
        << "The library could not be pinned (error " << ::GetLastError()
        << "); unloading it before the process ends is not safe" << std::endl;
  }
}

}  // namespace quilrun
