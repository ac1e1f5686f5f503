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
  // processEnding: the process is ending (Windows tells DllMain so), the
  // system has already ended the other threads, maybe while one held a lock
  // of the library, so nothing is released or closed; the system reclaims
  // it all. A log line already written is already flushed.
  static void detach(bool processEnding = false);
};

}  // namespace quilrun

#endif
