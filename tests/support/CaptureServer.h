#ifndef QUILRUN_TESTS_SUPPORT_CAPTURESERVER_H
#define QUILRUN_TESTS_SUPPORT_CAPTURESERVER_H

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quilrun {

// An HTTP server on a free loopback port that records every request and
// answers each with the reply set for its path (status 200 and an empty body
// unless set). Runs for the life of the object.
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

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Request> requests_;
  std::map<std::string, Reply> replies_;
};

}  // namespace quilrun

#endif
