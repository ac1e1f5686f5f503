#ifndef QUILRUN_SERVER_POSTRESULT_H
#define QUILRUN_SERVER_POSTRESULT_H

#include <string>

namespace quilrun {

// The outcome of one POST to the web service.
struct PostResult {
  // True when the transfer completed, whatever HTTP status the server gave.
  bool success = false;
  // The HTTP status of a completed transfer; -1 when none completed.
  long statusCode = -1;
  // The reply text (up to an embedded NUL byte, if any); empty unless success.
  std::string body;
  // True when the transfer ended because a time limit was reached (to
  // connect, or for the whole transfer).
  bool timedOut = false;
  // libcurl's own words on a failed transfer ("" on success).
  std::string error;
};

}  // namespace quilrun

#endif
