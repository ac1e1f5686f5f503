// DynamicLibrary on POSIX: dlopen, dlsym, dlclose; the executable from
// /proc/self/exe.
#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "DynamicLibrary.h"

namespace reporthost {

namespace {

std::string loaderError(const std::string& fallback) {
  const char* message = ::dlerror();
  return message != nullptr ? message : fallback;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) {
  // A bare file name would make dlopen search the library path instead of
  // the current directory.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error(loaderError("cannot load " + path));
}

DynamicLibrary::~DynamicLibrary() { ::dlclose(handle_); }

DynamicLibrary::Function DynamicLibrary::find(const char* name) const {
  ::dlerror();
  void* symbol = ::dlsym(handle_, name);
  if (symbol == nullptr) return nullptr;
  // POSIX guarantees that a function's address survives the trip through
  // void*; memcpy avoids the object-to-function pointer cast.
  Function function = nullptr;
  static_assert(sizeof(function) == sizeof(symbol), "function and object pointers differ");
  std::memcpy(&function, &symbol, sizeof(function));
  return function;
}

std::string DynamicLibrary::executableFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<std::size_t>(length) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<std::size_t>(length));
      const std::size_t slash = path.rfind('/');
      return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }
    buffer.resize(buffer.size() * 2);
  }
}

char DynamicLibrary::pathSeparator() { return '/'; }

}  // namespace reporthost
