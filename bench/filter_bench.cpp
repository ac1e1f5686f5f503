// filter_bench: throughput of TextFilter::linewise and TextFilter::blockwise
// on a generated text of about 20 MB, beside `grep -xE` on the same text as
// the floor to compare with. Prints one table; never fails on speed.
//
//   filter_bench [SIZE_MB]   (default 20; fractions such as 0.5 are fine)
//
// Every figure is the best (shortest) of a few runs, because the machine is
// usually shared. grep runs as a child process with LC_ALL=C; the benchmark
// reads its output through a pipe and throws it away. The output must not go
// to /dev/null: GNU grep notices that and stops at the first match.
// grep's time includes starting the process (about a millisecond), so on
// texts of a few MB the ratios flatter us; judge the goal at the default size.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BenchResult.h"
#include "functions/TextFilter.h"

extern char** environ;

namespace {

constexpr int kRuns = 5;
constexpr double kGoalRatio = 0.5;

// ---------------------------------------------------------------------------
// The text

// splitmix64: small, fast and the same on every platform and standard library,
// so the text (and so the figures) do not depend on <random>'s distributions.
class Prng {
 public:
  explicit Prng(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }

  // Uniform in [low, high].
  std::size_t between(std::size_t low, std::size_t high) {
    return low + static_cast<std::size_t>(next() % (high - low + 1));
  }

  // True with the given chance in percent (fractions allowed).
  bool percent(double chance) { return static_cast<double>(next() % 100000) < chance * 1000; }

  template <std::size_t N>
  const char* pick(const char* const (&items)[N]) {
    return items[next() % N];
  }

 private:
  std::uint64_t state_;
};

const char* const kWords[] = {
    "the",     "report",  "shows",  "all",      "open",    "orders",   "of",      "a",
    "customer", "since",  "last",   "quarter",  "and",     "their",    "total",   "amount",
    "due",     "invoice", "was",    "sent",     "to",      "billing",  "office",  "on",
    "monday",  "stock",   "levels", "remain",   "below",   "target",   "for",     "three",
    "items",   "shipping", "delayed", "because", "warehouse", "closed", "please", "review",
    "numbers", "before",  "friday", "contact",  "sales",   "team",     "if",      "needed"};

const char* const kKeys[] = {"customer", "order",  "invoice", "item",   "price", "region",
                             "status",   "vendor", "account", "branch", "owner", "note"};

const char* const kNames[] = {"Smith",  "Miller", "Schmidt", "Jones",  "Weber",  "Nguyen",
                              "Garcia", "Fischer", "Brown",  "Meyer",  "Wagner", "Taylor",
                              "open",   "closed", "pending", "Berlin", "Vienna", "Oslo"};

const char* const kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Words with spaces and a little punctuation, cut to exactly length.
void appendProse(Prng& prng, std::size_t length, std::string& out) {
  std::string line;
  while (line.size() < length) {
    if (!line.empty()) line += prng.percent(8) ? ", " : " ";
    std::string word = prng.pick(kWords);
    if (line.empty()) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    line += word;
  }
  line.resize(length);
  if (line.back() == ' ') line.back() = '.';
  out += line;
}

// A key=value line that the benchmark's pattern matches, e.g. customer_42=Smith
// or order_status=pendingXyzq..., padded with letters to exactly length (the
// key alone may make it a little longer).
void appendKeyValue(Prng& prng, std::size_t length, std::string& out) {
  std::string line = prng.pick(kKeys);
  if (prng.percent(40)) line += std::string("_") + prng.pick(kKeys);
  if (prng.percent(70)) line += "_" + std::to_string(prng.between(0, 99999));
  line += '=';
  line += prng.pick(kNames);
  while (line.size() < length) line += kLetters[prng.next() % 52];
  out += line;
}

// A line that looks like key=value but does not match: a digit, a space or a
// dot in the value, or a hyphen or capital in the key. Failing late makes the
// matcher do real work rather than stop at the first character.
void appendNearMiss(Prng& prng, std::size_t length, std::string& out) {
  std::string line;
  switch (prng.next() % 4) {
    case 0:
      line = std::string(prng.pick(kKeys)) + "_total=" + std::to_string(prng.between(1, 99999)) +
             "." + std::to_string(prng.between(0, 99));
      break;
    case 1:
      line = std::string(prng.pick(kKeys)) + "=" + prng.pick(kNames) + " " + prng.pick(kWords);
      break;
    case 2:
      line = std::string(prng.pick(kKeys)) + "-" + prng.pick(kKeys) + "=" + prng.pick(kNames);
      break;
    default:
      line = std::string("Last_") + prng.pick(kKeys) + "=" + prng.pick(kNames);
      break;
  }
  while (line.size() < length) line += kLetters[prng.next() % 52];
  out += line;
}

struct Text {
  std::string bytes;
  std::size_t lines = 0;
  std::size_t keepBlockLines = 0;  // lines inside BEGIN..END, markers excluded
};

// Mixed lines of 10..120 characters: prose, key=value lines and near misses,
// with BEGIN/END keep blocks and #drop/#enddrop drop blocks in between.
// Content lines never equal a marker (they are longer), so the generator
// knows what blockwise should keep.
Text generateText(std::size_t targetBytes) {
  Text text;
  text.bytes.reserve(targetBytes + 256);
  Prng prng(20240611);
  enum class Block { None, Keep, Drop } block = Block::None;
  while (text.bytes.size() < targetBytes) {
    if (block == Block::None && prng.percent(1.5)) {
      text.bytes += "BEGIN";
      block = Block::Keep;
    } else if (block == Block::None && prng.percent(1.0)) {
      text.bytes += "#drop";
      block = Block::Drop;
    } else if (block != Block::None && prng.percent(5)) {
      text.bytes += block == Block::Keep ? "END" : "#enddrop";
      block = Block::None;
    } else {
      const std::size_t length = prng.between(10, 120);
      const std::uint64_t kind = prng.next() % 100;
      if (kind < 60) {
        appendProse(prng, length, text.bytes);
      } else if (kind < 85) {
        appendKeyValue(prng, length, text.bytes);
      } else {
        appendNearMiss(prng, length, text.bytes);
      }
      if (block == Block::Keep) ++text.keepBlockLines;
    }
    text.bytes += '\n';
    ++text.lines;
  }
  if (block != Block::None) {
    text.bytes += block == Block::Keep ? "END\n" : "#enddrop\n";
    ++text.lines;
  }
  return text;
}

// ---------------------------------------------------------------------------
// grep as a child process

std::size_t countLines(const std::string& s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

struct ChildRun {
  bool ok = false;
  double seconds = 0;
  std::size_t lines = 0;
  std::string output;  // only when asked to keep it
};

// Runs argv with LC_ALL=C, reading its stdout through a pipe; the time runs
// from spawn to exit.
ChildRun runChild(const std::vector<std::string>& args, bool keepOutput) {
  ChildRun run;
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "LC_ALL=", 7) != 0) envStore.emplace_back(*e);
  }
  envStore.emplace_back("LC_ALL=C");
  std::vector<char*> envp;
  for (std::string& entry : envStore) envp.push_back(&entry[0]);
  envp.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) {
    std::perror("pipe");
    return run;
  }
#ifdef F_SETPIPE_SZ
  // A larger pipe means fewer round trips between grep and this reader.
  fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
#endif
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);

  std::vector<char> buffer(1 << 17);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(spawned));
    close(fds[0]);
    return run;
  }
  for (;;) {
    const ssize_t got = read(fds[0], buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const char* data = buffer.data();
    run.lines += static_cast<std::size_t>(std::count(data, data + got, '\n'));
    if (keepOutput) run.output.append(data, static_cast<std::size_t>(got));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // grep exits with 1 when nothing matched; that is still a valid run.
  run.ok = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1);
  if (!run.ok) std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
  return run;
}

// A temporary file holding the text, removed again on destruction.
class TempFile {
 public:
  explicit TempFile(const std::string& contents) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/filter_bench.XXXXXX";
    const int fd = mkstemp(&path_[0]);
    if (fd < 0) {
      std::perror("mkstemp");
      path_.clear();
      return;
    }
    std::size_t written = 0;
    while (written < contents.size()) {
      const ssize_t n = write(fd, contents.data() + written, contents.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::perror("write");
        break;
      }
      written += static_cast<std::size_t>(n);
    }
    close(fd);
    if (written != contents.size()) {
      unlink(path_.c_str());
      path_.clear();
    }
  }
  ~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// ---------------------------------------------------------------------------
// Measuring

// Best (shortest) wall time of kRuns calls; the last output is kept for the
// checks.
double bestOf(const std::function<std::string()>& call, std::string& output) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    std::string result = call();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, seconds);
    output.swap(result);
  }
  return best;
}

// Best wall time of kRuns grep runs over file; 0 when grep could not run.
double bestGrep(const std::string& pattern, const std::string& file) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    ChildRun run = runChild({"grep", "-xE", pattern, file}, false);
    if (!run.ok) return 0;
    best = std::min(best, run.seconds);
  }
  return best;
}

struct Row {
  std::string name;
  double ours = 0;  // seconds
  double grep = 0;  // seconds; 0 when grep failed
};

void warn(const std::string& message) { std::printf("WARNING: %s\n", message.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  double sizeMb = 20;
  if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 ||
                                 std::strcmp(argv[1], "--help") == 0))) {
    std::fprintf(stderr, "usage: %s [SIZE_MB]   (text size in MB, default 20)\n", argv[0]);
    return 2;
  }
  if (argc == 2) {
    char* end = nullptr;
    sizeMb = std::strtod(argv[1], &end);
    if (end == argv[1] || *end != '\0' || !(sizeMb > 0) || sizeMb > 4000) {
      std::fprintf(stderr, "%s: size must be a number of MB in (0, 4000], not '%s'\n", argv[0],
                   argv[1]);
      return 2;
    }
  }

  const Text text = generateText(static_cast<std::size_t>(sizeMb * 1e6));
  const double mb = static_cast<double>(text.bytes.size()) / 1e6;
  TempFile file(text.bytes);
  if (!file.ok()) return 1;

  std::string grepVersion = runChild({"grep", "--version"}, true).output;
  grepVersion = grepVersion.substr(0, grepVersion.find('\n'));
  std::printf("text: %.2f MB, %zu lines; best of %d runs; grep: %s\n", mb, text.lines, kRuns,
              grepVersion.empty() ? "(not found)" : grepVersion.c_str());

  const char* const plainPattern = "[a-z_]+[0-9]*=[A-Za-z]+";
  const char* const groupPattern = "([a-z_]+)([0-9]*)=([A-Za-z]+)";
  const char* const format = "\\3 <- \\1\\2";
  const char* const c = text.bytes.c_str();
  std::vector<Row> rows;
  std::string output;

  // What grep keeps, read once in full: the reference for the checks.
  const ChildRun reference = runChild({"grep", "-xE", plainPattern, file.path()}, true);

  // 1. linewise, lines kept as they are.
  {
    Row row{"linewise", 0, 0};
    row.ours = bestOf([&] { return quilrun::TextFilter::linewise(c, plainPattern, nullptr); },
                      output);
    row.grep = bestGrep(plainPattern, file.path());
    if (reference.ok && countLines(output) != reference.lines) {
      warn("linewise kept " + std::to_string(countLines(output)) + " lines, grep printed " +
           std::to_string(reference.lines));
    } else if (reference.ok && output != reference.output) {
      warn("linewise kept as many lines as grep, but not the same ones");
    }
    rows.push_back(row);
  }

  // 2. linewise with a format: same lines, rewritten from the groups.
  {
    Row row{"linewise+format", 0, 0};
    row.ours = bestOf([&] { return quilrun::TextFilter::linewise(c, groupPattern, format); },
                      output);
    row.grep = bestGrep(groupPattern, file.path());
    if (reference.ok && countLines(output) != reference.lines) {
      warn("linewise+format wrote " + std::to_string(countLines(output)) +
           " lines, grep printed " + std::to_string(reference.lines));
    }
    rows.push_back(row);
  }

  // 3. blockwise: keep BEGIN..END, drop #drop..#enddrop, nothing outside.
  {
    Row row{"blockwise", 0, 0};
    row.ours = bestOf(
        [&] { return quilrun::TextFilter::blockwise(c, "BEGIN", "END", "#drop", "#enddrop", false); },
        output);
    row.grep = bestGrep("BEGIN", file.path());
    if (countLines(output) != text.keepBlockLines) {
      warn("blockwise kept " + std::to_string(countLines(output)) + " lines, the text has " +
           std::to_string(text.keepBlockLines) + " inside keep blocks");
    }
    rows.push_back(row);
  }

  std::printf("%-18s %12s %12s %12s\n", "case", "ours MB/s", "grep MB/s", "ours/grep");
  int met = 0;
  int compared = 0;
  for (const Row& row : rows) {
    const double ours = mb / row.ours;
    if (row.grep <= 0) {
      std::printf("%-18s %12.1f %12s %12s\n", row.name.c_str(), ours, "-", "-");
      continue;
    }
    const double grep = mb / row.grep;
    const double ratio = ours / grep;
    ++compared;
    if (ratio >= kGoalRatio) ++met;
    std::printf("%-18s %12.1f %12.1f %12.2f%s\n", row.name.c_str(), ours, grep, ratio,
                ratio >= kGoalRatio ? "" : "  (below goal)");
  }
  if (compared == 0) {
    std::printf("goal: ours at least %.1f of grep's MB/s in every case; grep did not run\n",
                kGoalRatio);
  } else {
    std::printf("goal: ours at least %.1f of grep's MB/s in every case; met in %d of %d\n",
                kGoalRatio, met, compared);
  }
  // The same figures for bench/run's table.
  char goal[16];
  std::snprintf(goal, sizeof goal, ">=%g", kGoalRatio);
  for (const Row& row : rows) {
    const std::string floorName = row.name == "blockwise"
                                      ? "grep -xE BEGIN (the keep marker), same text"
                                      : "grep -xE, same pattern and text";
    quilrun::bench::printResult("filter_bench", row.name, mb / row.ours, "MB/s",
                                row.grep > 0 ? mb / row.grep : 0, floorName, goal);
  }
  return 0;
}
