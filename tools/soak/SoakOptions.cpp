#include "SoakOptions.h"

#include <cstdio>
#include <stdexcept>

#include "ArgumentParser.h"
#include "HostError.h"

namespace soak {

namespace {

// A number of the option within [low, high]; report-host's parser keeps the
// text strict (no blanks, no sign '+', nothing after the digits).
long long bounded(const std::string& option, const std::string& text, long long low,
                  long long high) {
  long long value = 0;
  try {
    value = reporthost::ArgumentParser::parse<long long>(text, option);
  } catch (const reporthost::HostError& error) {
    throw std::invalid_argument(error.what());
  }
  if (value < low || value > high) {
    throw std::invalid_argument(option + ": '" + text + "' is not within " + std::to_string(low) +
                                " to " + std::to_string(high));
  }
  return value;
}

}  // namespace

SoakOptions SoakOptions::parse(const std::vector<std::string>& words) {
  SoakOptions options;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= words.size()) throw std::invalid_argument(word + " needs a value");
      return words[++i];
    };
    if (word == "--renderings") {
      options.renderings = bounded(word, value(), 1, 1000000000);
    } else if (word == "--data-files") {
      // Each data file keeps a connection, and so an erp-sim worker, open.
      options.dataFiles = static_cast<int>(bounded(word, value(), 1, 2000));
    } else if (word == "--threads") {
      options.threads = static_cast<int>(bounded(word, value(), 1, 256));
    } else if (word == "--fault-percent") {
      options.faultPercent = static_cast<int>(bounded(word, value(), 0, 100));
    } else if (word == "--seed") {
      options.seed = bounded(word, value(), 0, 1000000000);
    } else if (word == "--rotate-every") {
      options.rotateEvery = bounded(word, value(), 1, 1000000000);
    } else if (word == "--check-rss") {
      options.checkRss = true;
    } else if (word == "--help" || word == "-h") {
      options.help = true;
    } else {
      throw std::invalid_argument("unknown option " + word + "; see quilrun-soak --help");
    }
  }
  return options;
}

std::string SoakOptions::helpText() {
  return "quilrun-soak: renders the sample report many times through the library, loaded\n"
         "from a report server installation, against erp-sim injecting faults, and checks\n"
         "every call's answer and the resident memory.\n"
         "\n"
         "  --renderings N     renderings in all (default 100000)\n"
         "  --data-files N     data files (default 200); they join one by one over the\n"
         "                     first quarter of the run and are then taken in turn\n"
         "  --threads N        threads rendering at once (default 2)\n"
         "  --fault-percent P  share of requests faulted, 0 to 100 (default 10)\n"
         "  --seed S           seed of the fault choice (default 1)\n"
         "  --rotate-every N   renderings between changes of the fault kind\n"
         "                     (default a hundredth of the renderings)\n"
         "  --check-rss        fail when the resident memory grows in the second half,\n"
         "                     or descriptors other than erp-sim connections do, or\n"
         "                     there are more connections than data files (meant for\n"
         "                     full-size runs: in a short one a leak is small beside\n"
         "                     the allocator's noise)\n"
         "\n"
         "Exit code 0: every call answered correctly or with its fallback; 1: a wrong\n"
         "answer, a broken call, an exception caught in an export, or (with --check-rss)\n"
         "memory or descriptor growth; 2: bad command line; 3: the run could not be set up.\n";
}

long long SoakOptions::renderingsPerPhase() const {
  if (rotateEvery > 0) return rotateEvery;
  return renderings >= 100 ? renderings / 100 : 1;
}

std::string SoakOptions::dataFileName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "SOAK%04d", index + 1);
  return name;
}

}  // namespace soak
