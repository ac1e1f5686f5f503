#include "server/Connection.h"

#include <curl/curl.h>

#include "diagnostics/LogRecord.h"

namespace quilrun {

std::unique_ptr<Connection> Connection::open() {
  CURL* handle = curl_easy_init();
  if (handle == nullptr) {
    QLOG("DataFileCache::getCurlHandle", 1, LogType::Fatal)
        << "No cURL handle available ('curl_easy_init' failed)" << std::endl;
    return nullptr;
  }
  return std::unique_ptr<Connection>(new Connection(handle));
}

Connection::~Connection() { curl_easy_cleanup(handle_); }

}  // namespace quilrun
