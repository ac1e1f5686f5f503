#include "host/Library.h"

#include <curl/curl.h>

#include "diagnostics/LogRecord.h"
#include "diagnostics/LogStream.h"
#include "diagnostics/QuillonUtils.h"
#include "functions/ToolsFunctions.h"

namespace quilrun {

void Library::attach() {
  const CURLcode code = curl_global_init(CURL_GLOBAL_ALL);
  if (code == CURLE_OK) {
    QLOG("DllMain", 3, LogType::Info) << "cURL initialization OK" << std::endl;
  } else {
    QLOG("DllMain", 1, LogType::Error) << "cURL initialization failed: "
                                       << curl_easy_strerror(code) << std::endl;
  }
}

void Library::detach(bool processEnding) {
  if (processEnding) return;
  // The data cache goes first: it stops and joins its scanner thread, and its
  // data-file caches release their HTTP handles while libcurl is still set up.
  ToolsFunctions::releaseServices();
  curl_global_cleanup();
  // Process-wide objects are never destroyed (see NoDestructor); what they
  // hold on the heap is released here, or it would be lost with the library.
  QuillonUtils::reset();
  // Nothing may be written to the log file after unloading.
  LogStream::close();
}

}  // namespace quilrun
