// The exported report functions. Each reads its inputs (null strings as "",
// null numbers as 0), calls its operation, and returns 0; nothing it throws
// reaches the host.
#include "quilrun/quilrun.h"

#include "functions/TextFilter.h"
#include "functions/ToolsFunctions.h"
#include "host/ExportGuard.h"
#include "host/ResultBuffer.h"

using quilrun::ExportGuard;
using quilrun::TextFilter;
using quilrun::ToolsFunctions;

namespace {

const char* text(const char* value) { return value != nullptr ? value : ""; }

template <typename Number>
Number number(const Number* value) {
  return value != nullptr ? *value : Number();
}

// The filters and the barcode image create the web-service client
// themselves, reading the configuration first, as the other functions do.
void ensureWebService() {
  if (ToolsFunctions::webService() == nullptr) {
    ToolsFunctions::reloadConfiguration();
    ToolsFunctions::initWebService();
  }
}

}  // namespace

extern "C" {

QUILRUN_API int QUILRUN_CALL tt_getCompanyLogo(char* result, int resultSize, void* /*reserved*/,
                                               const char* dataFile) {
  return ExportGuard::run("tt_getCompanyLogo", result, resultSize, [&] {
    ToolsFunctions::getCompanyLogo(result, resultSize, text(dataFile));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getSensitivityImage(char* result, int resultSize,
                                                    void* /*reserved*/, const char* dataFile,
                                                    const int* height, const int* width) {
  return ExportGuard::run("tt_getSensitivityImage", result, resultSize, [&] {
    ToolsFunctions::getSensitivityImage(result, resultSize, text(dataFile), number(height),
                                        number(width));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getApplicationImage(char* result, int resultSize,
                                                    void* /*reserved*/, const char* dataFile,
                                                    const char* applicationGuid) {
  return ExportGuard::run("tt_getApplicationImage", result, resultSize, [&] {
    ToolsFunctions::getApplicationImage(result, resultSize, text(dataFile), text(applicationGuid));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getEnumImage(char* result, int resultSize, void* /*reserved*/,
                                             const char* dataFile, const char* enumDomain,
                                             const int* enumValue) {
  return ExportGuard::run("tt_getEnumImage", result, resultSize, [&] {
    ToolsFunctions::getEnumImage(result, resultSize, text(dataFile), text(enumDomain),
                                 number(enumValue));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getAdditionalFile(char* result, int resultSize, void* /*reserved*/,
                                                  const char* dataFile, const char* package,
                                                  const char* module, const char* fileName) {
  return ExportGuard::run("tt_getAdditionalFile", result, resultSize, [&] {
    ToolsFunctions::getAdditionalFile(result, resultSize, text(dataFile), text(package),
                                      text(module), text(fileName));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getBarcodeImage(char* result, int resultSize, void* /*reserved*/,
                                                const char* dataFile, const char* barcodeValue,
                                                const char* barcodeParameters) {
  return ExportGuard::run("tt_getBarcodeImage", result, resultSize, [&] {
    // Barcodes are not cached: every call asks the server.
    ensureWebService();
    quilrun::DataCache::CachePointer cache =
        ToolsFunctions::initDataCache().getDataFileCache(text(dataFile));
    quilrun::ResultBuffer::clear(result, resultSize);
    quilrun::ResultBuffer::write(result, resultSize,
                                 ToolsFunctions::webService()->getBarcodeImage(
                                     *cache, text(barcodeValue), text(barcodeParameters)));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getText(char* result, int resultSize, void* /*reserved*/,
                                        const char* dataFile, const long long* textNumber) {
  return ExportGuard::run("tt_getText", result, resultSize, [&] {
    ToolsFunctions::getText(result, resultSize, text(dataFile), number(textNumber));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getTextFromCache(char* result, int resultSize, void* /*reserved*/,
                                                 const char* dataFile,
                                                 const long long* textNumber) {
  return ExportGuard::run("tt_getTextFromCache", result, resultSize, [&] {
    ToolsFunctions::getCachedText(result, resultSize, text(dataFile), number(textNumber));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getLabel(char* result, int resultSize, void* /*reserved*/,
                                         const char* dataFile, const char* labelCode,
                                         const int* length, const int* height) {
  return ExportGuard::run("tt_getLabel", result, resultSize, [&] {
    ToolsFunctions::getLabel(result, resultSize, text(dataFile), text(labelCode), number(length),
                             number(height));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getMessage(char* result, int resultSize, void* /*reserved*/,
                                           const char* dataFile, const char* messageCode) {
  return ExportGuard::run("tt_getMessage", result, resultSize, [&] {
    ToolsFunctions::getMessage(result, resultSize, text(dataFile), text(messageCode));
  });
}

QUILRUN_API int QUILRUN_CALL tt_formatAmount(char* result, int resultSize, void* /*reserved*/,
                                             const char* dataFile, const char* formatCode,
                                             const char* currency, const double* amount) {
  return ExportGuard::run("tt_formatAmount", result, resultSize, [&] {
    ToolsFunctions::formatAmount(result, resultSize, text(dataFile), text(formatCode),
                                 text(currency), number(amount));
  });
}

QUILRUN_API int QUILRUN_CALL tt_formatCompany(char* result, int resultSize, void* /*reserved*/,
                                              const char* dataFile, const int* company) {
  return ExportGuard::run("tt_formatCompany", result, resultSize, [&] {
    ToolsFunctions::formatCompany(result, resultSize, text(dataFile), number(company));
  });
}

QUILRUN_API int QUILRUN_CALL tt_getProperty(char* result, int resultSize, void* /*reserved*/,
                                            const char* dataFile, const char* propertyName) {
  return ExportGuard::run("tt_getProperty", result, resultSize, [&] {
    ToolsFunctions::getProperty(result, resultSize, text(dataFile), text(propertyName));
  });
}

QUILRUN_API int QUILRUN_CALL tt_filterTextLinewise(char* result, int resultSize, void* /*reserved*/,
                                                   const char* text, const char* pattern,
                                                   const char* format) {
  return ExportGuard::run("tt_filterTextLinewise", result, resultSize, [&] {
    ensureWebService();
    TextFilter::filterLinewise(format, text, result, resultSize, pattern,
                               &ToolsFunctions::patternCache());
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
    ensureWebService();
    TextFilter::filterBlockwise(text, result, resultSize, keepBlockStart, keepBlockEnd,
                                dropBlockStart, dropBlockEnd, number(keepOutside) != 0,
                                &ToolsFunctions::patternCache());
  });
}

}  // extern "C"
