#include "host/Library.h"

#include "diagnostics/LogStream.h"
#include "diagnostics/QuillonUtils.h"

namespace quilrun {

void Library::attach() {}

void Library::detach() {
  // Process-wide objects are never destroyed (see NoDestructor); what they
  // hold on the heap is released here, or it would be lost with the library.
  QuillonUtils::reset();
  // Nothing may be written to the log file after unloading.
  LogStream::close();
}

}  // namespace quilrun
