#ifndef QUILRUN_PLATFORM_LIBRARYPIN_H
#define QUILRUN_PLATFORM_LIBRARYPIN_H

namespace quilrun {

// Keeps the library loaded while a thread of its own may run its code.
//
// On Windows the loader calls the library's DllMain under its loader lock,
// where no thread may be waited for: a scanner thread that is still running
// when the host calls FreeLibrary can neither be joined there nor be left to
// run code that is being unmapped. Before the library starts such a thread
// it therefore pins itself: the module then stays loaded until the process
// ends, whatever FreeLibrary calls follow, and DllMain's detach runs either
// with no thread of the library started at all (nothing to wait for) or at
// process end, when the system has already ended every other thread.
// On POSIX the unload handler runs outside any lock that the thread needs,
// wakes the thread and joins it, so nothing is pinned there.
// Thread-safety: may be called from any thread, any number of times.
class LibraryPin {
 public:
  // Pins the library (Windows) or does nothing (POSIX). A failure to pin is
  // logged; the thread is started all the same.
  static void pinUntilProcessEnd();
};

}  // namespace quilrun

#endif
