#include "server/CurlHelper.h"

#include <curl/curl.h>

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "diagnostics/LogRecord.h"
#include "server/RawXml.h"

namespace quilrun {

namespace {
const char* const kPost = "CurlHelper::postXmlRequest";
// The schemes a web-service URL may use.
const char* const kProtocols = "http,https";
}  // namespace

std::size_t CurlHelper::writeMemoryCallback(char* data, std::size_t size, std::size_t count,
                                            void* userData) {
  Reply& reply = *static_cast<Reply*>(userData);
  const std::size_t bytes = size * count;
  try {
    if (!reply.started) {
      reply.started = true;
      // A reply that announces its length is received into one block.
      curl_off_t announced = -1;
      curl_easy_getinfo(reply.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
      reply.buffer.expect(announced);
    }
    if (!reply.buffer.append(data, bytes)) {
      reply.tooLarge = true;
      return 0;
    }
  } catch (const std::bad_alloc&) {
    QLOG("writeMemoryCallback", 1, LogType::Error)
        << "Out of memory when reading the POST response" << std::endl;
    return 0;
  }
  return bytes;
}

std::string CurlHelper::loggedBody(const std::string& body) {
  if (body.size() <= kLoggedBodyLimit) return body;
  return body.substr(0, kLoggedBodyLimit) + "\n[cut at " + std::to_string(kLoggedBodyLimit) +
         " of " + std::to_string(body.size()) + " bytes]";
}

PostResult CurlHelper::postXmlRequest(const Session& session, CURL* handle,
                                      const char* servicePath, const pugi::xml_node& request,
                                      const ConnectorSettings& settings) {
  PostResult result;
  if (session.getWebserviceURL().empty()) {
    QLOG(kPost, 1, LogType::Error) << "Cannot POST request; web service URL is missing"
                                   << std::endl;
    return result;
  }
  if (handle == nullptr) return result;
  const std::string body = RawXml::print(request);
  const std::string url =
      session.getWebserviceURL() + "/" + (servicePath != nullptr ? servicePath : "");
  const std::string cookie = "JSESSIONID=" + session.getJsessionId();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
  Reply reply(handle, settings.maxReplyBytes());
  char error[CURL_ERROR_SIZE] = "";

  curl_easy_reset(handle);
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, settings.verifyCertificates ? 1L : 0L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, settings.verifyCertificates ? 2L : 0L);
  if (settings.verifyCertificates && !settings.certificateFile.empty()) {
    curl_easy_setopt(handle, CURLOPT_CAINFO, settings.certificateFile.c_str());
  }
  curl_easy_setopt(handle, CURLOPT_POST, 1L);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_COOKIE, cookie.c_str());
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CurlHelper::writeMemoryCallback);
  // Bounds: the schemes spoken, the time to connect and for the whole
  // transfer, the reply's size, one live connection kept by the handle, and
  // no signals (time limits from any thread).
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings.connectTimeout));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(settings.requestTimeout));
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(settings.maxReplyBytes()));
  curl_easy_setopt(handle, CURLOPT_MAXCONNECTS, 1L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);

  QLOG(kPost, 5, LogType::Debug) << "Posting request to " << url << "\n"
                                 << loggedBody(body) << std::endl;
  const CURLcode code = curl_easy_perform(handle);
  // The buffer lives on this stack only.
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
  if (code != CURLE_OK) {
    result.error = error[0] != '\0' ? error : curl_easy_strerror(code);
    result.timedOut = code == CURLE_OPERATION_TIMEDOUT;
    QLOG(kPost, 1, LogType::Error) << "Request failed with error: " << curl_easy_strerror(code)
                                   << std::endl;
    if (reply.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
      QLOG(kPost, 1, LogType::Error)
          << "Reply abandoned: larger than MaxReplyMB = " << settings.maxReplyMB << " MiB ("
          << reply.buffer.size() << " bytes received"
          << (reply.tooLarge ? "" : "; its Content-Length announces more") << ")" << std::endl;
    } else if (code == CURLE_UNSUPPORTED_PROTOCOL) {
      QLOG(kPost, 1, LogType::Error) << "Web service URL '" << url
                                     << "' refused: only http and https are used" << std::endl;
    } else if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE) {
      QLOG(kPost, 1, LogType::Error)
          << "The web service's certificate was refused (VerifyCertificates = 1"
          << (settings.certificateFile.empty() ? "" : ", CertificateFile = " + settings.certificateFile)
          << "): " << result.error << std::endl;
    }
  } else {
    std::string text = reply.buffer.take();
    QLOG(kPost, 5, LogType::Debug) << "Received response:\n" << loggedBody(text) << std::endl;
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    result.statusCode = status;
    if (status != 200) {
      QLOG(kPost, 2, LogType::Warning) << "Response does not have status 200 (\"OK\"), but "
                                       << status << std::endl;
    }
    result.success = true;
    // A reply with an embedded NUL byte is handed back up to that byte.
    text.resize(std::strlen(text.c_str()));
    result.body = std::move(text);
  }
  curl_slist_free_all(headers);
  return result;
}

}  // namespace quilrun
