// DynamicLibrary on Windows: LoadLibraryA, GetProcAddress, FreeLibrary; the
// executable from GetModuleFileNameA.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdexcept>
#include <vector>

#include "DynamicLibrary.h"

namespace reporthost {

namespace {

HMODULE module(void* handle) { return static_cast<HMODULE>(handle); }

std::string lastErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) {
  handle_ = ::LoadLibraryA(path.c_str());
  if (handle_ == nullptr) {
    throw std::runtime_error(path + ": " + lastErrorText(::GetLastError()));
  }
}

DynamicLibrary::~DynamicLibrary() { ::FreeLibrary(module(handle_)); }

DynamicLibrary::Function DynamicLibrary::find(const char* name) const {
  return reinterpret_cast<Function>(::GetProcAddress(module(handle_), name));
}

std::string DynamicLibrary::executableFolder() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      const std::string path(buffer.data(), length);
      const std::size_t separator = path.find_last_of("\\/");
      return separator == std::string::npos ? std::string() : path.substr(0, separator);
    }
    buffer.resize(buffer.size() * 2);
  }
}

char DynamicLibrary::pathSeparator() { return '\\'; }

}  // namespace reporthost
