#include "CommandLine.h"

#include "Numbers.h"
#include "SimError.h"

namespace erpsim {

namespace {

SimError usage(const std::string& message) {
  return SimError(ExitCode::Usage, message + "; see erp-sim --help");
}

// text as a whole decimal number in [low, high]; what names the option.
int parseNumber(const std::string& text, int low, int high, const std::string& what) {
  const std::optional<int> value = Numbers::narrow(text);
  if (!value) throw usage(what + " needs a number, not '" + text + "'");
  if (*value < low || *value > high) {
    throw usage(what + " must be between " + std::to_string(low) + " and " +
                std::to_string(high));
  }
  return *value;
}

}  // namespace

CommandLine::CommandLine(int argc, const char* const* argv) {
  // The values that follow argument i, or a usage error naming the option.
  auto value = [&](int& i, const std::string& option) -> std::string {
    if (i + 1 >= argc) throw usage(option + " needs a value");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      help_ = true;
      return;
    } else if (word == "--port") {
      port_ = parseNumber(value(i, word), 0, 65535, word);
    } else if (word == "--data") {
      dataFile_ = value(i, word);
    } else if (word == "--tls") {
      certificateFile_ = value(i, word);
      keyFile_ = value(i, word + " CERT");
    } else if (word == "--threads") {
      threads_ = static_cast<std::size_t>(parseNumber(value(i, word), 1, 1024, word));
    } else {
      throw usage("unknown argument '" + word + "'");
    }
  }
  if (dataFile_.empty()) throw usage("--data FILE is required");
}

std::string CommandLine::helpText() {
  return "usage: erp-sim [--port N] --data FILE [--tls CERT KEY] [--threads N]\n"
         "\n"
         "Simulates the ERP web service for the Quilrun library: answers the\n"
         "endpoints store, properties and call from the fixture FILE.\n"
         "\n"
         "  --port N         port on 127.0.0.1 (default 8312; 0 picks a free one)\n"
         "  --data FILE      fixture file (XML, see tools/erp-sim/README.md)\n"
         "  --tls CERT KEY   serve HTTPS with this PEM certificate and key\n"
         "  --threads N      worker threads, one per open connection (default 32)\n"
         "\n"
         "Prints the web-service URL (for example http://127.0.0.1:8312/svcgw) as\n"
         "its first line and runs until SIGINT or SIGTERM. Test endpoints:\n"
         "GET /stats, POST /stats/reset, GET /last?endpoint=E[&part=headers],\n"
         "GET and POST /faults.\n";
}

}  // namespace erpsim
