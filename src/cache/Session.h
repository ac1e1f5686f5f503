#ifndef QUILRUN_CACHE_SESSION_H
#define QUILRUN_CACHE_SESSION_H

#include <cstdint>
#include <string>
#include <utility>

namespace quilrun {

// The session of one report run as its data file in the data share gives
// it: the data file's name, the session identifier (sent as the JSESSIONID
// cookie) and the base URL of the ERP web service. When the data file could
// not be read or parsed, the defaults stand in and the session is not
// complete: the registry reads such a data file again later.
// Thread-safety: immutable once made.
class Session {
 public:
  // A session without data file, identifier or URL.
  Session() = default;
  Session(std::string dataFileName, std::string jsessionId, std::string webserviceURL,
          bool complete, std::int64_t readTime)
      : hasName_(true),
        complete_(complete),
        readTime_(readTime),
        dataFileName_(std::move(dataFileName)),
        jsessionId_(std::move(jsessionId)),
        webserviceURL_(std::move(webserviceURL)) {}

  bool hasDataFileName() const { return hasName_; }
  const std::string& getDataFileName() const { return dataFileName_; }
  const std::string& getJsessionId() const { return jsessionId_; }
  const std::string& getWebserviceURL() const { return webserviceURL_; }

  // True when the data file was read and parsed (a missing jsessionId or
  // webserviceURL element leaves it complete, with the default).
  bool isComplete() const { return complete_; }
  // When the data file was read, in seconds since the epoch.
  std::int64_t getReadTime() const { return readTime_; }

 private:
  bool hasName_ = false;
  bool complete_ = false;
  std::int64_t readTime_ = 0;
  std::string dataFileName_;
  std::string jsessionId_;
  std::string webserviceURL_;
};

}  // namespace quilrun

#endif
