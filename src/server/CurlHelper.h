#ifndef QUILRUN_SERVER_CURLHELPER_H
#define QUILRUN_SERVER_CURLHELPER_H

#include <cstddef>

#include <pugixml.hpp>

#include "server/PostResult.h"

namespace quilrun {

class DataFileCache;

// Posts XML requests to a report run's web service over HTTP(S). Everything
// about the server comes from the data file's cache: the web-service URL, the
// session identifier (sent as the JSESSIONID cookie), the libcurl handle
// (reset before each request, so its live connection is reused) and the lock
// that lets one transfer at a time use that handle.
// Thread-safety: stateless; transfers of one data file are serialised by its
// lock, transfers of different data files run in parallel.
class CurlHelper {
 public:
  static constexpr const char* kUserAgent = "Rundel_Talm_Connector_C++/10.5.8.3564";

  virtual ~CurlHelper() = default;

  // Posts request (printed raw, without declaration) to the web-service URL
  // + "/" + servicePath. Never throws; a failure shows in the result and the
  // log. A non-200 reply is handed back as a completed transfer.
  virtual PostResult postXmlRequest(DataFileCache* cache, const char* servicePath,
                                    const pugi::xml_node& request);

  // The libcurl write callback: appends a received chunk to the std::string
  // behind userData. Returns the bytes taken, or 0 when memory ran out (which
  // makes libcurl abort the transfer).
  static std::size_t writeMemoryCallback(char* data, std::size_t size, std::size_t count,
                                         void* userData);
};

}  // namespace quilrun

#endif
