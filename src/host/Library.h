#ifndef QUILRUN_HOST_LIBRARY_H
#define QUILRUN_HOST_LIBRARY_H

namespace quilrun {

// What the library does when the host loads and unloads it. Called from the
// platform's entry point, which the loader serialises.
class Library {
 public:
  // The library has just been loaded into the host process.
  static void attach();

  // The library is about to be unloaded: release what it holds.
  static void detach();
};

}  // namespace quilrun

#endif
