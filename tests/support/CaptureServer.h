#ifndef QUILRUN_TESTS_SUPPORT_CAPTURESERVER_H
#define QUILRUN_TESTS_SUPPORT_CAPTURESERVER_H

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quilrun {

// An HTTP server on a free loopback port that records every request and
// answers each with the reply set for its path (status 200 and an empty body
// unless set). Runs for the life of the object. It also counts the requests
// being handled at once; with gather() each request waits until a number of
// them are in progress together, which shows whether a client overlaps its
// requests without depending on timing.
class CaptureServer {
 public:
  struct Request {
    std::string path;
    std::string body;
    std::string cookie;
    std::string contentType;
    std::string userAgent;
  };

  CaptureServer() {
    server_.Post(R"(/svcgw/(.*))", [this](const httplib::Request& request, httplib::Response& response) {
      InFlight handling(*this);
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(Request{request.path, request.body, request.get_header_value("Cookie"),
                                  request.get_header_value("Content-Type"),
                                  request.get_header_value("User-Agent")});
      const Reply reply = replies_.count(request.path) ? replies_[request.path] : Reply{};
      response.status = reply.status;
      response.set_content(reply.body, "text/xml");
    });
    // Without it a keep-alive client waits for the delayed ACK on every reply.
    server_.set_tcp_nodelay(true);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~CaptureServer() {
    server_.stop();
    thread_.join();
  }
  CaptureServer(const CaptureServer&) = delete;
  CaptureServer& operator=(const CaptureServer&) = delete;

  // The web-service URL to put into a data file.
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/svcgw"; }

  // Answers requests to endpoint ("store", "properties", "call") with body.
  void reply(const std::string& endpoint, const std::string& body, int status = 200) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_["/svcgw/" + endpoint] = Reply{status, body};
  }

  // From now on each request waits, at most limit, until count requests
  // (itself included) have been handled at once; count 0 stops the waiting.
  void gather(int count, std::chrono::milliseconds limit) {
    std::lock_guard<std::mutex> lock(flightMutex_);
    gatherCount_ = count;
    gatherLimit_ = limit;
  }

  // The most requests that were being handled at once so far.
  int maxInFlight() {
    std::lock_guard<std::mutex> lock(flightMutex_);
    return maxInFlight_;
  }

  std::vector<Request> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  Request last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? Request{} : requests_.back();
  }

 private:
  struct Reply {
    int status = 200;
    std::string body;
  };

  // Counts one request as in progress for the life of the object; the
  // constructor waits as gather() asks. The count drops before the reply is
  // sent, so a client that waits for each reply is never seen twice at once.
  class InFlight {
   public:
    explicit InFlight(CaptureServer& server) : server_(server) {
      std::unique_lock<std::mutex> lock(server_.flightMutex_);
      ++server_.inFlight_;
      server_.maxInFlight_ = std::max(server_.maxInFlight_, server_.inFlight_);
      server_.flightChanged_.notify_all();
      const int count = server_.gatherCount_;
      // Once count were in progress together, all go on: the first to go
      // lowers the count before the others have woken.
      server_.flightChanged_.wait_for(lock, server_.gatherLimit_,
                                      [&] { return server_.maxInFlight_ >= count; });
    }
    ~InFlight() {
      std::lock_guard<std::mutex> lock(server_.flightMutex_);
      --server_.inFlight_;
    }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

   private:
    CaptureServer& server_;
  };

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Request> requests_;
  std::map<std::string, Reply> replies_;

  std::mutex flightMutex_;  // guards the counts below
  std::condition_variable flightChanged_;
  int inFlight_ = 0;
  int maxInFlight_ = 0;
  int gatherCount_ = 0;
  std::chrono::milliseconds gatherLimit_{0};
};

}  // namespace quilrun

#endif
