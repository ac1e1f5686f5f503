#include "host/ExportGuard.h"

#include "diagnostics/LogRecord.h"

namespace quilrun {

void ExportGuard::fail(const char* exportName, char* result, int resultSize,
                       const char* description) noexcept {
  ResultBuffer::clear(result, resultSize);
  try {
    QLOG(exportName, 1, LogType::Error) << "Unexpected error, the result is left empty: "
                                        << description << std::endl;
  } catch (...) {
    // Logging needs memory too; when even that fails there is nothing left to do.
  }
}

}  // namespace quilrun
