#ifndef QUILRUN_TESTS_ERPSIM_ERPSIMPROCESS_H
#define QUILRUN_TESTS_ERPSIM_ERPSIMPROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace quilrun {

// erp-sim run as a child process by a test. The constructor starts it and
// reads the base URL from its first line of output; the destructor stops it
// with SIGTERM. Standard error goes to errorFile, for failure messages.
class ErpSimProcess {
 public:
  ErpSimProcess(const std::string& program, const std::vector<std::string>& args,
                std::string errorFile)
      : errorFile_(std::move(errorFile)) {
    int out[2];
    if (::pipe(out) != 0) return;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int err = ::open(errorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err < 0 || ::dup2(out[1], 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
      ::close(out[0]);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    output_ = out[0];
    if (pid_ > 0) url_ = readLine(std::chrono::seconds(20));
  }

  ~ErpSimProcess() {
    stop(SIGTERM);
    if (output_ >= 0) ::close(output_);
  }

  ErpSimProcess(const ErpSimProcess&) = delete;
  ErpSimProcess& operator=(const ErpSimProcess&) = delete;

  // The first line erp-sim printed, such as http://127.0.0.1:PORT/svcgw;
  // empty when it printed none.
  const std::string& url() const { return url_; }

  // scheme://127.0.0.1:PORT, the root of the test endpoints.
  std::string root() const {
    const std::size_t path = url_.find('/', url_.find("://") + 3);
    return url_.substr(0, path);
  }

  int port() const { return std::stoi(url_.substr(url_.rfind(':') + 1)); }

  // Sends signal and waits for the end; returns the exit code, 128 + the
  // signal for a child killed by one, or -1 when it did not end within
  // 20 seconds (it is then killed).
  int stop(int signal) {
    if (pid_ <= 0) return exitCode_;
    ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return exitCode_ = -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exitCode_;
  }

  // Waits for the end without sending a signal (for a run that fails at
  // start); same results as stop.
  int wait() { return stop(0); }

  std::string errorOutput() const {
    std::ifstream in(errorFile_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string readLine(std::chrono::seconds limit) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd ready{output_, POLLIN, 0};
      if (::poll(&ready, 1, 100) <= 0) continue;
      char c = 0;
      if (::read(output_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return "";
  }

  std::string errorFile_;
  pid_t pid_ = -1;
  int output_ = -1;
  int exitCode_ = -1;
  std::string url_;
};

}  // namespace quilrun

#endif
