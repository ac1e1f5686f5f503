#ifndef QUILRUN_REPORTHOST_DYNAMICLIBRARY_H
#define QUILRUN_REPORTHOST_DYNAMICLIBRARY_H

#include <string>

namespace reporthost {

// A shared library loaded at run time, the way the report server loads
// Quilrun: by path, without linking against it. Unloaded on destruction,
// which runs the library's unload handler.
class DynamicLibrary {
 public:
  // Any exported function; cast it to its real type before calling.
  using Function = void (*)();

  // Loads the library at path, resolving all its symbols now. Throws
  // std::runtime_error with the loader's message when it cannot.
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();

  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The exported function of that name, or null when there is none.
  Function find(const char* name) const;

  // The folder of the running executable without a trailing separator, or ""
  // when it cannot be found out.
  static std::string executableFolder();

  // The platform's separator between a folder and a file name.
  static char pathSeparator();

 private:
  void* handle_;
};

}  // namespace reporthost

#endif
