#ifndef QUILRUN_HOST_EXPORTGUARD_H
#define QUILRUN_HOST_EXPORTGUARD_H

#include <exception>

#include "host/ResultBuffer.h"

namespace quilrun {

// Runs the body of an export so that nothing it throws crosses into the
// host: an exception is logged and the result is left empty.
class ExportGuard {
 public:
  template <typename Body>
  static int run(const char* exportName, char* result, int resultSize, Body body) noexcept {
    try {
      body();
    } catch (const std::exception& error) {
      fail(exportName, result, resultSize, error.what());
    } catch (...) {
      fail(exportName, result, resultSize, "unknown exception");
    }
    return 0;
  }

 private:
  static void fail(const char* exportName, char* result, int resultSize,
                   const char* description) noexcept;
};

}  // namespace quilrun

#endif
