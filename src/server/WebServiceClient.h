#ifndef QUILRUN_SERVER_WEBSERVICECLIENT_H
#define QUILRUN_SERVER_WEBSERVICECLIENT_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "diagnostics/ConnectorSettings.h"
#include "platform/Mutex.h"
#include "server/ConnectionPool.h"
#include "server/CurlHelper.h"
#include "server/IWebServiceClient.h"
#include "server/PostResult.h"

namespace quilrun {

// The client of the ERP web service: image and file URLs through "store",
// the data file's properties through "properties", and four remote calls of
// the server-side library through "call" (currency formats, label variants,
// messages, report texts), which take the language and company from the data
// file's properties, fetching them first when the cache has none. Requests
// go out on connections of its pool (one per data file, a bounded number in
// all). After a transfer of a data file timed out, that data file's requests
// are not sent for 30 s: they fail at once, each with a line saying so.
// Thread-safety: calls may run at once from any thread.
class WebServiceClient final : public IWebServiceClient {
 public:
  // Seconds for which a data file's requests are not sent after one timed out.
  static constexpr std::int64_t kHoldSeconds = 30;

  explicit WebServiceClient(std::unique_ptr<CurlHelper> curlHelper);

  void configure(const ConnectorSettings& settings) override EXCLUDES(settingsMutex_);
  void closeIdleConnections() override;
  // The connections open now, for tests and checks.
  std::size_t openConnections() const { return pool_.openCount(); }

  std::string getCompanyLogo(DataFileCache& cache) override;
  std::optional<StringMap> getProperties(DataFileCache& cache) override;
  std::string getAdditionalFile(DataFileCache& cache, const char* package, const char* module,
                                const char* name) override;
  std::string getEnumImage(DataFileCache& cache, const char* domain, int value) override;
  std::string getApplicationImage(DataFileCache& cache, const char* guid) override;
  std::string getSensitivityImage(DataFileCache& cache, int height, int width) override;
  std::optional<std::vector<LabelData>> getLabel(DataFileCache& cache,
                                                 const char* labelCode) override;
  std::string getMessage(DataFileCache& cache, const char* messageCode) override;
  std::string getText(DataFileCache& cache, long long textNumber) override;
  std::string getBarcodeImage(DataFileCache& cache, const char* value,
                              const char* parameters) override;
  void getCurrencyFormats(DataFileCache& cache) override;

  // The shared end of the URL operations: reads the reply of post into
  // document and returns its URL ("" after logging why there is none).
  static std::string extractUrlFromResult(const PostResult& post, pugi::xml_document& document);

 private:
  // Starts an imageRequest of a kind in document and returns its root.
  static pugi::xml_node imageRequest(pugi::xml_document& document, DataFileCache& cache,
                                     int kind);
  // Posts the imageRequest in document and returns the URL of the reply.
  std::string requestUrl(DataFileCache& cache, pugi::xml_document& document);
  // The data file's properties: the cache's, or fetched from the server
  // (and stored in the cache) when it holds none; nothing when that fails.
  std::optional<StringMap> propertiesOf(DataFileCache& cache);
  // Posts a remote call; true when the reply was read into its parameters.
  bool perform(DataFileCache& cache, class VarnDLLCall& call);
  // Posts request to servicePath of cache's web service on the data file's
  // connection, unless its requests are held after a time-out or no
  // connection comes free in time; holds them when this transfer times out.
  PostResult postRequest(DataFileCache& cache, const char* servicePath,
                         const pugi::xml_node& request) EXCLUDES(settingsMutex_);
  // Logs why a held request is not sent; true when requests are held now.
  static bool held(const DataFileCache& cache, std::int64_t now);
  ConnectorSettings settings() const EXCLUDES(settingsMutex_);

  std::unique_ptr<CurlHelper> curlHelper_;
  ConnectionPool pool_;
  mutable Mutex settingsMutex_;
  ConnectorSettings settings_ GUARDED_BY(settingsMutex_);
};

}  // namespace quilrun

#endif
