#include "SimServer.h"

#include <sys/socket.h>

#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "ConnectionCloser.h"
#include "CountingTaskQueue.h"
#include "SimError.h"

namespace erpsim {

namespace {

const char* const faultHeader = "X-Erp-Sim-Fault";
const char* const textType = "text/plain";

// The request line and headers of request, one per line, without the
// connection details cpp-httplib adds as headers of its own.
std::string headOf(const httplib::Request& request) {
  std::string head = request.method + " " + request.target + "\n";
  for (const auto& header : request.headers) {
    if (header.first == "REMOTE_ADDR" || header.first == "REMOTE_PORT" ||
        header.first == "LOCAL_ADDR" || header.first == "LOCAL_PORT") {
      continue;
    }
    head += header.first + ": " + header.second + "\n";
  }
  return head;
}

std::vector<std::string> cookieHeaders(const httplib::Request& request) {
  std::vector<std::string> values;
  const std::size_t count = request.get_header_value_count("Cookie");
  for (std::size_t i = 0; i < count; ++i) values.push_back(request.get_header_value("Cookie", i));
  return values;
}

}  // namespace

SimServer::SimServer(const Fixtures& fixtures, const CommandLine& options)
    : service_(fixtures),
      injector_([this](int ms) { return sleepUnlessStopping(ms); }),
      tls_(options.tls()),
      port_(options.port()),
      threads_(options.threads()) {
  if (tls_) {
    auto server = std::make_unique<httplib::SSLServer>(options.certificateFile().c_str(),
                                                       options.keyFile().c_str());
    if (!server->is_valid()) {
      throw SimError(ExitCode::Failure, "cannot serve HTTPS with the certificate " +
                                            options.certificateFile() + " and the key " +
                                            options.keyFile());
    }
    server_ = std::move(server);
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  // Applied to the listening socket; accepted sockets inherit it.
  server_->set_tcp_nodelay(true);
  // cpp-httplib's default sets SO_REUSEPORT, which lets a second simulator
  // bind the same port and take part of the traffic; SO_REUSEADDR alone
  // still allows a restart on a port with connections in TIME_WAIT.
  server_->set_socket_options([](socket_t socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server_->set_keep_alive_max_count(1000000);
  server_->set_keep_alive_timeout(60);
  server_->new_task_queue = [this] {
    return new CountingTaskQueue(threads_, [this] { stats_.countConnection(); });
  };
  addRoutes();
}

std::string SimServer::bind() {
  const char* host = "127.0.0.1";
  if (port_ == 0) {
    port_ = server_->bind_to_any_port(host);
    if (port_ < 0) throw SimError(ExitCode::Failure, "cannot listen on a free port of 127.0.0.1");
  } else if (!server_->bind_to_port(host, port_)) {
    throw SimError(ExitCode::Failure, "cannot listen on 127.0.0.1:" + std::to_string(port_));
  }
  return std::string(tls_ ? "https" : "http") + "://" + host + ":" + std::to_string(port_) +
         basePath;
}

bool SimServer::run() {
  const bool stoppedByCall = server_->listen_after_bind();
  {
    const std::lock_guard<std::mutex> lock(stateMutex_);
    finished_ = true;
  }
  stateChanged_.notify_all();
  return stoppedByCall;
}

void SimServer::stop() {
  std::unique_lock<std::mutex> lock(stateMutex_);
  stopping_ = true;
  stateChanged_.notify_all();
  // cpp-httplib's stop does nothing before its accept loop runs, and the
  // pool waits for every open connection; so repeat until run has ended,
  // shutting down connections that are open or were accepted meanwhile.
  while (!finished_) {
    lock.unlock();
    server_->stop();
    ConnectionCloser::closeAll(port_);
    lock.lock();
    stateChanged_.wait_for(lock, std::chrono::milliseconds(20), [this] { return finished_; });
  }
}

bool SimServer::sleepUnlessStopping(int ms) {
  std::unique_lock<std::mutex> lock(stateMutex_);
  return !stateChanged_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void SimServer::addRoutes() {
  const std::string base = basePath;
  server_->Post(base + "/(store|properties|call)",
                [this](const httplib::Request& request, httplib::Response& response) {
                  serve(request.matches[1], "", request, response);
                });
  server_->Post(base + "/fault/([^/]+)/(store|properties|call)",
                [this](const httplib::Request& request, httplib::Response& response) {
                  serve(request.matches[2], request.matches[1], request, response);
                });

  server_->Get("/stats", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(stats_.json() + "\n", "application/json");
  });
  server_->Post("/stats/reset", [this](const httplib::Request&, httplib::Response& response) {
    stats_.reset();
    response.set_content("reset\n", textType);
  });
  server_->Get("/last", [this](const httplib::Request& request, httplib::Response& response) {
    const std::string endpoint = request.get_param_value("endpoint");
    const std::string part = request.get_param_value("part");
    if (!ErpService::isEndpoint(endpoint) || (part != "" && part != "body" && part != "headers")) {
      response.status = 400;
      response.set_content("usage: /last?endpoint=store|properties|call[&part=body|headers]\n",
                           textType);
      return;
    }
    const std::optional<std::string> last =
        part == "headers" ? stats_.lastHead(endpoint) : stats_.lastBody(endpoint);
    if (!last) {
      response.status = 404;
      response.set_content("no request to " + endpoint + " yet\n", textType);
      return;
    }
    response.set_content(*last, part == "headers" ? textType : "application/octet-stream");
  });
  server_->Get("/faults", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(plan_.describe() + "\n", textType);
  });
  server_->Post("/faults", [this](const httplib::Request& request, httplib::Response& response) {
    try {
      plan_.set(request.body);
      response.set_content(plan_.describe() + "\n", textType);
    } catch (const std::invalid_argument& error) {
      response.status = 400;
      response.set_content(std::string(error.what()) + "\n", textType);
    }
  });
}

void SimServer::serve(const std::string& endpoint, const std::string& pathFault,
                      const httplib::Request& request, httplib::Response& response) {
  std::optional<Fault> fault;
  try {
    if (request.has_header(faultHeader)) {
      fault = Fault::parse(request.get_header_value(faultHeader));
    } else if (!pathFault.empty()) {
      fault = Fault::parse(pathFault);
    }
  } catch (const std::invalid_argument& error) {
    // A mistake of the test, not of the client under test: no reply form.
    response.status = 400;
    response.set_content(std::string(error.what()) + "\n", textType);
    return;
  }
  if (!fault) fault = plan_.next(endpoint);

  stats_.recordRequest(endpoint, request.body, headOf(request));
  ErpService::Answer answer;
  try {
    answer = service_.answer(endpoint, ErpService::sessionFromCookies(cookieHeaders(request)),
                             request.body);
  } catch (const std::exception& error) {
    answer.body = ErpService::failure(endpoint, std::string("Internal error: ") + error.what());
  }
  stats_.countRequest(endpoint, answer.method);

  if (fault) {
    stats_.countFault();
    injector_.respond(*fault, answer.body, request, response);
  } else {
    response.set_content(answer.body, ErpService::contentType);
  }
}

}  // namespace erpsim
