#ifndef QUILRUN_TESTS_SUPPORT_HOSTINSTALLATION_H
#define QUILRUN_TESTS_SUPPORT_HOSTINSTALLATION_H

// What the end-to-end tests and the report benchmark need to run the built
// library the way the report server does: a report server installation in a
// temporary folder with host programs copied into it, child processes, the
// library loaded with dlopen and its exports called by name, the log lines
// it wrote, and erp-sim's request counts.
//
// Nothing here needs libcurl or the library's code: in a test program the
// library under test is the only part that loads libcurl, as in the report
// server, so unloading it unloads libcurl too.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "erp-sim/ErpSimProcess.h"
#include "quilrun/quilrun.h"
#include "support/TempFolder.h"

namespace quilrun {

// Processes ------------------------------------------------------------------

struct ProcessOutcome {
  int exitCode = -1;  // 128 + the signal for a child killed by one
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::string workDir;                                   // "" keeps ours
  std::vector<std::pair<std::string, std::string>> env;  // added to ours
  bool capture = true;  // false: the child writes to our stdout and stderr
};

// Runs program with args and waits for its end. Captured output goes
// through files in the system's temporary folder.
inline ProcessOutcome runProgram(const std::string& program, const std::vector<std::string>& args,
                                 const ProcessOptions& options = {}) {
  TempFolder outputs;
  const std::string outFile = (outputs.path() / "stdout.txt").string();
  const std::string errFile = (outputs.path() / "stderr.txt").string();
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    if (options.capture) {
      const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    }
    if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : options.env) ::setenv(name.c_str(), value.c_str(), 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ProcessOutcome outcome;
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return outcome;
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (options.capture) {
    outcome.out = TempFolder::readFile(outFile);
    outcome.err = TempFolder::readFile(errFile);
  }
  return outcome;
}

// The running program's file, as the library sees its host.
inline std::string currentExecutable() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

// The installation ---------------------------------------------------------------

// One log line split into its fields; matched is false for a line that does
// not have the logger's format (for example the continuation of a message
// that holds a line break).
struct LogLine {
  bool matched = false;
  std::string raw;
  std::string level;     // "INFO", ... (the field without its padding)
  std::string function;  // without its padding
  std::string message;
};

inline std::string withoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// Splits raw, a line of the form
//   [YYYY-MM-DD hh:mm:ss.mmm], [LEVEL  ], [function (37 wide)   ], [ line]: message
// with the level word padded to 7, the function name padded to at least 37
// and the line number right-aligned in at least 5 characters.
inline LogLine parseLogLine(const std::string& raw) {
  LogLine line;
  line.raw = raw;
  const std::string stamp = "[dddd-dd-dd dd:dd:dd.ddd], [";
  if (raw.size() < stamp.size()) return line;
  for (std::size_t i = 0; i < stamp.size(); ++i) {
    const bool ok = stamp[i] == 'd' ? raw[i] >= '0' && raw[i] <= '9' : raw[i] == stamp[i];
    if (!ok) return line;
  }
  std::size_t at = stamp.size();
  if (raw.compare(at + 7, 4, "], [") != 0) return line;
  const std::string level = raw.substr(at, 7);
  at += 7 + 4;
  const std::size_t functionEnd = raw.find("], [", at);
  if (functionEnd == std::string::npos || functionEnd - at < 37) return line;
  const std::string function = raw.substr(at, functionEnd - at);
  at = functionEnd + 4;
  const std::size_t numberEnd = raw.find("]: ", at);
  if (numberEnd == std::string::npos || numberEnd - at < 5) return line;
  const std::string number = raw.substr(at, numberEnd - at);
  const std::size_t firstDigit = number.find_first_not_of(' ');
  if (firstDigit == std::string::npos ||
      number.find_first_not_of("0123456789", firstDigit) != std::string::npos) {
    return line;
  }
  line.matched = true;
  line.level = withoutTrailingBlanks(level);
  line.function = withoutTrailingBlanks(function);
  line.message = raw.substr(numberEnd + 3);
  return line;
}

inline std::vector<LogLine> parseLog(const std::string& text) {
  std::vector<LogLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(parseLogLine(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

// A report server installation in a temporary folder, the way the library
// finds it from its host's executable in <root>/platform/bin:
//   <root>/platform/configuration/corvane_talm_Quilrun.config
//   <root>/platform/logs/                      the log files
//   <root>/share/Talmxmlfiles/<name>-i         the data files
// Host programs are copied into platform/bin, never linked: the library reads
// its host's path from /proc/self/exe, which resolves links.
class HostInstallation {
 public:
  explicit HostInstallation(int logLevel = 1) {
    root_.makeFolder("platform/bin");
    root_.makeFolder("platform/configuration");
    root_.makeFolder("platform/logs");
    root_.makeFolder("share/Talmxmlfiles");
    writeConfiguration(logLevel);
  }

  std::filesystem::path root() const { return root_.path(); }
  std::filesystem::path bin() const { return root_.path() / "platform" / "bin"; }
  std::filesystem::path logs() const { return root_.path() / "platform" / "logs"; }
  std::filesystem::path share() const { return root_.path() / "share"; }

  void writeConfiguration(int logLevel) const {
    writeFile(
        root_.path() / "platform" / "configuration" / "corvane_talm_Quilrun.config",
        "LogLevel = " + std::to_string(logLevel) + "\nDataShare = " + share().string() + "\n");
  }

  // The data file of name, naming an ERP session and the web-service URL.
  void writeSession(const std::string& name, const std::string& sessionId,
                    const std::string& url) const {
    writeFile(share() / "Talmxmlfiles" / (name + "-i"), "<session><jsessionId>" + sessionId +
                                                            "</jsessionId><webserviceURL>" + url +
                                                            "</webserviceURL></session>");
  }

  // Copies file into platform/bin (as name, default its own) and returns the copy's path.
  std::string install(const std::string& file, const std::string& name = "") const {
    const std::filesystem::path target =
        bin() / (name.empty() ? std::filesystem::path(file).filename().string() : name);
    std::filesystem::copy_file(file, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::status(file).permissions());
    return target.string();
  }

  std::string logText() const { return logTextIn(logs()); }
  std::vector<LogLine> logLines() const { return parseLog(logText()); }

  // Everything written to the log files in folder, oldest file first (a
  // file is named by the second the library first logged in).
  static std::string logTextIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::string text;
    for (const auto& file : files) text += TempFolder::readFile(file);
    return text;
  }

  void clearLogs() const {
    for (const auto& entry : std::filesystem::directory_iterator(logs())) {
      std::filesystem::remove(entry.path());
    }
  }

  static void writeFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
  }

 private:
  TempFolder root_;
};

// A program run again from inside an installation --------------------------------
//
// Code that loads the library itself (dlopen) must run in a process whose
// executable lies in <root>/platform/bin. A test or benchmark therefore
// copies its own program there and runs the copy with QUILRUN_INSTALLED_ROOT
// set; the copy sees the variable and does the work.

constexpr const char* kInstalledRootVariable = "QUILRUN_INSTALLED_ROOT";
// The port of the erp-sim that the copy's data files name.
constexpr const char* kErpPortVariable = "QUILRUN_ERP_PORT";

// The installation this program was started in by runCopyInside, or "".
inline std::string installedRoot() {
  const char* root = std::getenv(kInstalledRootVariable);
  return root != nullptr ? root : "";
}

// Copies this program and the library into the installation and runs the copy.
inline ProcessOutcome runCopyInside(const HostInstallation& installation,
                                    const std::string& library,
                                    const std::vector<std::string>& args,
                                    ProcessOptions options = {}) {
  installation.install(library, "libquilrun.so");
  const std::string copy = installation.install(currentExecutable());
  options.env.emplace_back(kInstalledRootVariable, installation.root().string());
  return runProgram(copy, args, options);
}

// Runs the gtest test testName ("Suite.Name") of this program again, in a
// copy inside a new installation with erp-sim serving fixtures; the copy's
// data files are those of DemoErp.
inline ProcessOutcome runTestInside(const std::string& testName, int logLevel,
                                    const std::string& library, const std::string& erpSim,
                                    const std::string& fixtures);

// The library beside this program's file (where runCopyInside put it).
inline std::string libraryBesideExecutable() {
  return (std::filesystem::path(currentExecutable()).parent_path() / "libquilrun.so").string();
}

inline int installedErpPort() {
  const char* port = std::getenv(kErpPortVariable);
  return port != nullptr ? std::atoi(port) : 0;
}

// The log lines written so far in the installation this program runs in.
inline std::vector<LogLine> installedLogLines() {
  return parseLog(
      HostInstallation::logTextIn(std::filesystem::path(installedRoot()) / "platform" / "logs"));
}

// erp-sim's test endpoints ----------------------------------------------------------

// One request over a connection of its own; returns the reply's body, or
// throws when there is no reply.
inline std::string httpExchange(int port, const std::string& method, const std::string& target,
                                const std::string& body = "") {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(socket);
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  const std::string request = method + " " + target +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                              "Content-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = ::send(socket, request.data() + sent, request.size() - sent, 0);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string reply;
  char chunk[4096];
  for (ssize_t n; (n = ::recv(socket, chunk, sizeof chunk, 0)) > 0;) {
    reply.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(socket);
  const std::size_t headerEnd = reply.find("\r\n\r\n");
  if (headerEnd == std::string::npos) throw std::runtime_error("no reply to " + target);
  return reply.substr(headerEnd + 4);
}

// erp-sim's counts by name: "call", "properties", "store", the method names
// ("GetLabelVariants", ...), "connections" and "faults". Absent names count 0.
class ErpCounts {
 public:
  static ErpCounts fetch(int port) { return ErpCounts(httpExchange(port, "GET", "/stats")); }

  // Reads every "name":number pair of the reply, whatever object it is in.
  explicit ErpCounts(const std::string& json) {
    for (std::size_t quote = json.find('"'); quote != std::string::npos;) {
      const std::size_t close = json.find('"', quote + 1);
      if (close == std::string::npos) break;
      std::size_t digit = close + 2;
      if (close + 1 < json.size() && json[close + 1] == ':' && digit < json.size() &&
          json[digit] >= '0' && json[digit] <= '9') {
        counts_[json.substr(quote + 1, close - quote - 1)] = std::stol(json.substr(digit));
      }
      quote = json.find('"', close + 1);
    }
  }

  long operator[](const std::string& name) const {
    const auto it = counts_.find(name);
    return it == counts_.end() ? 0 : it->second;
  }

  // Requests to the three service endpoints.
  long requests() const { return (*this)["call"] + (*this)["properties"] + (*this)["store"]; }

 private:
  std::map<std::string, long> counts_;
};

// The library loaded with dlopen ------------------------------------------------------

// The reserved third argument: the host passes a word the library never reads.
inline void* reservedArgument() { return reinterpret_cast<void*>(std::uintptr_t{0x5EEDBEEF}); }

class LoadedLibrary {
 public:
  explicit LoadedLibrary(std::string path)
      : path_(std::move(path)), handle_(::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
  }
  ~LoadedLibrary() { unload(); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  void* symbol(const std::string& name) const {
    void* address = ::dlsym(handle_, name.c_str());
    if (address == nullptr) throw std::runtime_error("no export " + name);
    return address;
  }

  void unload() {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = nullptr;
  }

  // True while the file at path is mapped into the process.
  static bool isMapped(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    ::dlclose(handle);
    return true;
  }

 private:
  std::string path_;
  void* handle_;
};

// One export call with its arguments bound: call(result, resultSize).
using BoundCall = std::function<int(char*, int)>;

namespace detail {

// A text argument as report-host takes it: "@null" for a null pointer.
template <typename T>
struct Argument;
template <>
struct Argument<const char*> {
  explicit Argument(const std::string& text) : isNull(text == "@null"), value(text) {}
  const char* get() const { return isNull ? nullptr : value.c_str(); }
  bool isNull;
  std::string value;
};
template <typename Number>
struct NumberArgument {
  explicit NumberArgument(Number number) : value(number) {}
  const Number* get() const { return &value; }
  Number value;
};
template <>
struct Argument<const int*> : NumberArgument<int> {
  explicit Argument(const std::string& text) : NumberArgument(std::stoi(text)) {}
};
template <>
struct Argument<const long long*> : NumberArgument<long long> {
  explicit Argument(const std::string& text) : NumberArgument(std::stoll(text)) {}
};
template <>
struct Argument<const double*> : NumberArgument<double> {
  explicit Argument(const std::string& text) : NumberArgument(std::stod(text)) {}
};

template <typename Pointer>
struct Binder;
template <typename... Params>
struct Binder<int (*)(char*, int, void*, Params...)> {
  using Function = int (*)(char*, int, void*, Params...);

  static BoundCall bind(void* address, const std::vector<std::string>& args) {
    if (args.size() != sizeof...(Params)) throw std::invalid_argument("wrong argument count");
    return bindWith(reinterpret_cast<Function>(address), args,
                    std::index_sequence_for<Params...>{});
  }

  template <std::size_t... Index>
  static BoundCall bindWith(Function function, const std::vector<std::string>& args,
                            std::index_sequence<Index...>) {
    // Shared, so that copies of the call keep the converted texts alive.
    const auto converted =
        std::make_shared<const std::tuple<Argument<Params>...>>(Argument<Params>(args[Index])...);
    return [function, converted](char* result, int resultSize) {
      return function(result, resultSize, reservedArgument(), std::get<Index>(*converted).get()...);
    };
  }
};

}  // namespace detail

// The export function of library with args from argument 4 on, as text the
// way report-host takes them.
inline BoundCall bindExport(const LoadedLibrary& library, const std::string& function,
                            const std::vector<std::string>& args) {
#define QUILRUN_BIND(name) \
  if (function == #name) return detail::Binder<decltype(&::name)>::bind(library.symbol(#name), args)
  QUILRUN_BIND(tt_getCompanyLogo);
  QUILRUN_BIND(tt_getSensitivityImage);
  QUILRUN_BIND(tt_getApplicationImage);
  QUILRUN_BIND(tt_getEnumImage);
  QUILRUN_BIND(tt_getAdditionalFile);
  QUILRUN_BIND(tt_getBarcodeImage);
  QUILRUN_BIND(tt_getText);
  QUILRUN_BIND(tt_getTextFromCache);
  QUILRUN_BIND(tt_getLabel);
  QUILRUN_BIND(tt_getMessage);
  QUILRUN_BIND(tt_formatAmount);
  QUILRUN_BIND(tt_formatCompany);
  QUILRUN_BIND(tt_getProperty);
  QUILRUN_BIND(tt_filterTextLinewise);
  QUILRUN_BIND(tt_filterTextBlockwise);
#undef QUILRUN_BIND
  throw std::invalid_argument("unknown export " + function);
}

// The demo fixtures ------------------------------------------------------------------

// erp-sim serving samples/erp/demo-fixtures.xml, and the data files of its
// sessions in the installation:
//   R1001, R1002  company 042 (three digits), English, decimal point
//   R2001         company 1200 (four digits), German, decimal comma
//   R9999         names the first session, which does not serve it: every
//                 request for it is answered with status 0
class DemoErp {
 public:
  static constexpr const char* kFirstSession = "9F2C4E61A07B3D58C1E2F3A4B5C6D7E8";
  static constexpr const char* kSecondSession = "4D7A1C2B9E8F06A5B3C4D2E1F0A9B8C7";

  DemoErp(const HostInstallation& installation, const std::string& erpSim,
          const std::string& fixtures, const std::vector<std::string>& extraArgs = {})
      : errors_(),
        process_(erpSim, arguments(fixtures, extraArgs),
                 (errors_.path() / "erp-sim.err").string()) {
    if (process_.url().empty()) {
      throw std::runtime_error("erp-sim did not start: " + process_.errorOutput());
    }
    installation.writeSession("R1001", kFirstSession, process_.url());
    installation.writeSession("R1002", kFirstSession, process_.url());
    installation.writeSession("R2001", kSecondSession, process_.url());
    installation.writeSession("R9999", kFirstSession, process_.url());
  }

  const ErpSimProcess& process() const { return process_; }
  int port() const { return process_.port(); }
  ErpCounts counts() const { return ErpCounts::fetch(port()); }

 private:
  static std::vector<std::string> arguments(const std::string& fixtures,
                                            const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args{"--port", "0", "--data", fixtures};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return args;
  }

  TempFolder errors_;
  ErpSimProcess process_;
};

inline ProcessOutcome runTestInside(const std::string& testName, int logLevel,
                                    const std::string& library, const std::string& erpSim,
                                    const std::string& fixtures) {
  HostInstallation installation(logLevel);
  DemoErp erp(installation, erpSim, fixtures);
  ProcessOptions options;
  options.env.emplace_back(kErpPortVariable, std::to_string(erp.port()));
  return runCopyInside(installation, library, {"--gtest_filter=" + testName}, options);
}

// One export call and what it answers with the demo fixtures.
struct ExportCall {
  std::string function;
  std::vector<std::string> args;  // from argument 4 on; args[0] is the data file
  std::string answer;
  // What erp-sim counts for the request the call makes on a cache miss: an
  // endpoint ("store", "properties") or a method of the call endpoint; ""
  // for the filters, which never ask.
  std::string asks;
  bool cached = false;  // false: asks at every call

  ExportCall forDataFile(const std::string& dataFile) const {
    ExportCall other = *this;
    other.args[0] = dataFile;
    return other;
  }

  // "tt_getLabel(R1001, tdsls.orno, 20, 2)"
  std::string describe() const {
    std::string text = function + "(";
    for (std::size_t i = 0; i < args.size(); ++i) text += (i ? ", " : "") + args[i];
    return text + ")";
  }

  // What a buffer of resultSize bytes holds afterwards: the answer, cut to
  // resultSize - 1 bytes when it does not fit; an amount that does not fit
  // its buffer shows as a row of "!" instead, so that a cut number is never
  // printed. Nothing at all for a size below 1.
  std::string answerIn(int resultSize) const {
    if (resultSize < 1) return std::string();
    const std::size_t room = static_cast<std::size_t>(resultSize) - 1;
    if (answer.size() <= room) return answer;
    if (function == "tt_formatAmount") return std::string(room, '!');
    return answer.substr(0, room);
  }
};

// The main path of every export for data file R1001 (R1002 gives the same
// answers).
inline const std::vector<ExportCall>& demoCalls() {
  static const std::vector<ExportCall> calls = {
      {"tt_getCompanyLogo",
       {"R1001"},
       "https://erp.example.com/images/company/042/logo.png",
       "store",
       true},
      {"tt_getSensitivityImage",
       {"R1001", "16", "32"},
       "https://erp.example.com/images/sensitivity/confidential-16x32.png",
       "store",
       true},
      {"tt_getApplicationImage",
       {"R1001", "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
       "https://erp.example.com/images/app/warehousing.png",
       "store",
       true},
      {"tt_getEnumImage",
       {"R1001", "tdsls.hdst", "30"},
       "https://erp.example.com/images/enum/tdsls.hdst/closed.png",
       "store",
       true},
      {"tt_getAdditionalFile",
       {"R1001", "td", "sls", "terms-en.pdf"},
       "https://erp.example.com/files/td/sls/terms-en.pdf",
       "store",
       true},
      // The fixture's URL template percent-encodes value and parameters.
      {"tt_getBarcodeImage",
       {"R1001", "SO 4711/2", "type=qr"},
       "https://erp.example.com/barcode?value=SO%204711%2F2&options=type%3Dqr",
       "store",
       false},
      // Text 1003 is stored for company 042 only.
      {"tt_getText",
       {"R1001", "1003"},
       "Goods remain our property until paid in full.",
       "GetReportText",
       false},
      {"tt_getTextFromCache",
       {"R1001", "1001"},
       "Thank you for your order. Delivery dates are confirmed subject to availability.",
       "GetReportText",
       true},
      // All four variants fit; the longest text wins.
      {"tt_getLabel",
       {"R1001", "tdsls.orno", "20", "2"},
       "Sales Order Number",
       "GetLabelVariants",
       true},
      {"tt_getMessage",
       {"R1001", "tdsls0001"},
       "Order %1$s has been released to warehousing",
       "GetMessageText",
       true},
      {"tt_formatAmount",
       {"R1001", "AMT", "EUR", "1234567.891"},
       "  1,234,567.89",
       "GetCurrencyFormats",
       true},
      {"tt_formatCompany", {"R1001", "7"}, "007", "properties", true},
      {"tt_getProperty",
       {"R1001", "ReportTitle"},
       "Sales Order Acknowledgement",
       "properties",
       true},
      {"tt_filterTextLinewise",
       {"Order 1\nNote\nOrder 2", R"(Order (\d))", R"(#\1)"},
       "#1\n#2\n",
       "",
       false},
      {"tt_filterTextBlockwise",
       {"a\n<<\nb\n>>\nc", "<<", ">>", "@null", "@null", "0"},
       "b\n",
       "",
       false},
  };
  return calls;
}

}  // namespace quilrun

#endif
