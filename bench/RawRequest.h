#ifndef QUILRUN_BENCH_RAWREQUEST_H
#define QUILRUN_BENCH_RAWREQUEST_H

// The floor of the benchmarks that measure the library against erp-sim: the
// library's last request to an endpoint, replayed with bare libcurl. Same
// URL, body and headers (apart from Host and Content-Length, which libcurl
// sets itself), fetched from erp-sim's /last.

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>

#include "support/HostInstallation.h"

namespace quilrun::bench {

class RawRequest {
 public:
  // The last request to endpoint ("store", "properties", "call") that the
  // erp-sim on port received.
  RawRequest(int port, const std::string& endpoint)
      : url_("http://127.0.0.1:" + std::to_string(port) + "/svcgw/" + endpoint) {
    body_ = quilrun::httpExchange(port, "GET", "/last?endpoint=" + endpoint);
    std::istringstream lines(
        quilrun::httpExchange(port, "GET", "/last?endpoint=" + endpoint + "&part=headers"));
    std::string line;
    std::getline(lines, line);  // the request line
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::string name = line.substr(0, line.find(':'));
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      if (line.empty() || name == "host" || name == "content-length") continue;
      headers_ = curl_slist_append(headers_, line.c_str());
    }
  }
  ~RawRequest() { curl_slist_free_all(headers_); }
  RawRequest(const RawRequest&) = delete;
  RawRequest& operator=(const RawRequest&) = delete;

  // One POST on handle; false when it failed or erp-sim answered status 0.
  bool post(CURL* handle) {
    reply_.clear();
    curl_easy_setopt(handle, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body_.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body_.size()));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply_);
    return curl_easy_perform(handle) == CURLE_OK &&
           reply_.find("<status>1</status>") != std::string::npos;
  }

 private:
  static std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
  }

  std::string url_;
  std::string body_;
  curl_slist* headers_ = nullptr;
  std::string reply_;
};

}  // namespace quilrun::bench

#endif
