// POSIX: the unload handler joins the library's thread, so nothing is pinned.
#include "platform/LibraryPin.h"

namespace quilrun {

void LibraryPin::pinUntilProcessEnd() {}

}  // namespace quilrun
