#include "server/CurlHelper.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "cache/DataFileCache.h"
#include "diagnostics/LogRecord.h"
#include "server/RawXml.h"

namespace quilrun {

namespace {
const char* const kPost = "CurlHelper::postXmlRequest";
}  // namespace

std::size_t CurlHelper::writeMemoryCallback(char* data, std::size_t size, std::size_t count,
                                            void* userData) {
  const std::size_t bytes = size * count;
  try {
    static_cast<std::string*>(userData)->append(data, bytes);
  } catch (const std::bad_alloc&) {
    QLOG("writeMemoryCallback", 1, LogType::Error)
        << "Out of memory when reading the POST response" << std::endl;
    return 0;
  }
  return bytes;
}

PostResult CurlHelper::postXmlRequest(DataFileCache* cache, const char* servicePath,
                                      const pugi::xml_node& request) {
  PostResult result;
  if (cache == nullptr || cache->getWebserviceURL().empty()) {
    QLOG(kPost, 1, LogType::Error) << "Cannot POST request; web service URL is missing"
                                   << std::endl;
    return result;
  }
  const std::string body = RawXml::print(request);
  const std::string url =
      cache->getWebserviceURL() + "/" + (servicePath != nullptr ? servicePath : "");
  const std::string cookie = "JSESSIONID=" + cache->getJsessionId();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
  std::string reply;

  CURL* handle = cache->getCurlHandle();
  if (handle != nullptr) {
    // One transfer at a time on the data file's handle, from its reset to
    // the copy of the reply.
    std::lock_guard<std::mutex> transfer(cache->getCurlMutex());
    curl_easy_reset(handle);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_COOKIE, cookie.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CurlHelper::writeMemoryCallback);

    QLOG(kPost, 5, LogType::Debug) << "Posting request to " << url << "\n" << body << std::endl;
    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
      QLOG(kPost, 1, LogType::Error) << "Request failed with error: " << curl_easy_strerror(code)
                                     << std::endl;
    } else {
      QLOG(kPost, 5, LogType::Debug) << "Received response:\n" << reply << std::endl;
      long status = 0;
      curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
      result.statusCode = status;
      if (status != 200) {
        QLOG(kPost, 2, LogType::Warning) << "Response does not have status 200 (\"OK\"), but "
                                         << status << std::endl;
      }
      result.success = true;
      // A reply with an embedded NUL byte is handed back up to that byte.
      result.body.assign(reply.c_str(), std::strlen(reply.c_str()));
    }
  }
  curl_slist_free_all(headers);
  return result;
}

}  // namespace quilrun
