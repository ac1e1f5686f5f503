#ifndef QUILRUN_SERVER_CURLHELPER_H
#define QUILRUN_SERVER_CURLHELPER_H

#include <cstddef>
#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "cache/Session.h"
#include "diagnostics/ConnectorSettings.h"
#include "server/PostResult.h"
#include "server/ResponseBuffer.h"

typedef void CURL;

namespace quilrun {

// Posts XML requests to a report run's web service over HTTP(S). The session
// gives the web-service URL and the session identifier (sent as the
// JSESSIONID cookie); the connection is a libcurl handle lent for this one
// transfer (reset before the request, so its live connection is reused).
// Only http and https are spoken and redirects are not followed; the
// settings give the time limits, the largest reply taken and whether the
// server's certificate is checked.
// Thread-safety: stateless; a handle must carry one transfer at a time.
class CurlHelper {
 public:
  static constexpr const char* kUserAgent = "Rundel_Talm_Connector_C++/10.5.8.3564";
  // Bodies longer than this are cut in log lines.
  static constexpr std::size_t kLoggedBodyLimit = 1024 * 1024;

  virtual ~CurlHelper() = default;

  // Posts request (printed raw, without declaration) to the web-service URL
  // + "/" + servicePath on handle. Never throws; a failure shows in the
  // result and the log. A non-200 reply is handed back as a completed
  // transfer. A session without URL, or no handle, sends nothing.
  virtual PostResult postXmlRequest(const Session& session, CURL* handle, const char* servicePath,
                                    const pugi::xml_node& request,
                                    const ConnectorSettings& settings);

  // The libcurl write callback: appends a received chunk to the Reply behind
  // userData. Returns the bytes taken, or 0 (which makes libcurl abort the
  // transfer) when memory ran out or the reply would pass its size limit.
  static std::size_t writeMemoryCallback(char* data, std::size_t size, std::size_t count,
                                         void* userData);

  // body as a log line shows it: whole up to kLoggedBodyLimit bytes, else
  // cut there with a note of its full size.
  static std::string loggedBody(const std::string& body);

 private:
  // The reply being received, with its limit.
  struct Reply {
    Reply(CURL* transfer, std::int64_t limit) : handle(transfer), buffer(limit) {}
    CURL* handle;
    ResponseBuffer buffer;
    bool started = false;
    bool tooLarge = false;
  };
};

}  // namespace quilrun

#endif
