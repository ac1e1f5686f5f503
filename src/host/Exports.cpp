// The exported report functions. Each reads its inputs (null pointers as
// empty strings or 0), calls its operation and returns 0.
#include "quilrun/quilrun.h"

#include "functions/TextFilter.h"
#include "host/ExportGuard.h"

using quilrun::ExportGuard;
using quilrun::TextFilter;

extern "C" {

QUILRUN_API int QUILRUN_CALL tt_filterTextLinewise(char* result, int resultSize, void* /*reserved*/,
                                                   const char* text, const char* pattern,
                                                   const char* format) {
  return ExportGuard::run("tt_filterTextLinewise", result, resultSize, [&] {
    TextFilter::filterLinewise(format, text, result, resultSize, pattern);
  });
}

QUILRUN_API int QUILRUN_CALL tt_filterTextBlockwise(char* result, int resultSize,
                                                    void* /*reserved*/, const char* text,
                                                    const char* keepBlockStart,
                                                    const char* keepBlockEnd,
                                                    const char* dropBlockStart,
                                                    const char* dropBlockEnd,
                                                    const int* keepOutside) {
  return ExportGuard::run("tt_filterTextBlockwise", result, resultSize, [&] {
    const bool keepLinesOutside = keepOutside != nullptr && *keepOutside != 0;
    TextFilter::filterBlockwise(text, result, resultSize, keepBlockStart, keepBlockEnd,
                                dropBlockStart, dropBlockEnd, keepLinesOutside);
  });
}

}  // extern "C"
