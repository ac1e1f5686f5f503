#ifndef QUILRUN_SERVER_IWEBSERVICECLIENT_H
#define QUILRUN_SERVER_IWEBSERVICECLIENT_H

#include <optional>
#include <string>
#include <vector>

#include "cache/LabelData.h"
#include "cache/RecordMaps.h"
#include "diagnostics/ConnectorSettings.h"

namespace quilrun {

class DataFileCache;

// What the report functions ask of the ERP web service. URL, message and
// text operations return the whole answer, "" when there is none; the report
// functions copy it into the caller's buffer, so a small buffer never leaves
// a cut answer in the cache.
// Thread-safety: implementations allow calls from any thread.
class IWebServiceClient {
 public:
  virtual ~IWebServiceClient() = default;

  // Takes the limits and TLS settings for the requests from now on.
  virtual void configure(const ConnectorSettings& /*settings*/) {}
  // Closes the connections that have been idle for a while.
  virtual void closeIdleConnections() {}

  virtual std::string getCompanyLogo(DataFileCache& cache) = 0;
  // The data file's properties, or nothing when the request failed.
  virtual std::optional<StringMap> getProperties(DataFileCache& cache) = 0;
  virtual std::string getAdditionalFile(DataFileCache& cache, const char* package,
                                        const char* module, const char* name) = 0;
  virtual std::string getEnumImage(DataFileCache& cache, const char* domain, int value) = 0;
  virtual std::string getApplicationImage(DataFileCache& cache, const char* guid) = 0;
  virtual std::string getSensitivityImage(DataFileCache& cache, int height, int width) = 0;
  // All variants of a label code (possibly none), or nothing when the call failed.
  virtual std::optional<std::vector<LabelData>> getLabel(DataFileCache& cache,
                                                         const char* labelCode) = 0;
  virtual std::string getMessage(DataFileCache& cache, const char* messageCode) = 0;
  virtual std::string getText(DataFileCache& cache, long long textNumber) = 0;
  virtual std::string getBarcodeImage(DataFileCache& cache, const char* value,
                                      const char* parameters) = 0;
  // Adds the currency display formats of the data file's company to cache.
  virtual void getCurrencyFormats(DataFileCache& cache) = 0;
};

}  // namespace quilrun

#endif
