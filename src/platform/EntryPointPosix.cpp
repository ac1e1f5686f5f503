// The library's entry points on POSIX: the dynamic loader runs these when the
// host loads and unloads the shared library.
#include "host/Library.h"

namespace {

__attribute__((constructor)) void onLibraryLoad() { quilrun::Library::attach(); }

__attribute__((destructor)) void onLibraryUnload() { quilrun::Library::detach(); }

}  // namespace
