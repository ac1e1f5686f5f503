#include "host/Library.h"

#include "diagnostics/LogStream.h"

namespace quilrun {

void Library::attach() {}

void Library::detach() {
  // Nothing may be written to the log file after unloading.
  LogStream::close();
}

}  // namespace quilrun
