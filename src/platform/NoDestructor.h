#ifndef QUILRUN_PLATFORM_NODESTRUCTOR_H
#define QUILRUN_PLATFORM_NODESTRUCTOR_H

#include <new>
#include <utility>

namespace quilrun {

// Holds a process-wide object in static storage and never destroys it, so it
// can be used during static destruction and leaves no heap block behind when
// the library is unloaded. Members that own heap memory must be released
// explicitly at unload (see Library::detach).
template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace quilrun

#endif
