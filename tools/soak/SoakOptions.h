#ifndef QUILRUN_SOAK_SOAKOPTIONS_H
#define QUILRUN_SOAK_SOAKOPTIONS_H

#include <string>
#include <vector>

namespace soak {

// quilrun-soak's command line:
//   quilrun-soak [--renderings N] [--data-files N] [--threads N] [--fault-percent P]
//                [--seed S] [--rotate-every N] [--check-rss]
// The same words are handed to the copy of the program that runs inside the
// installation, so both halves read the same options.
class SoakOptions {
 public:
  long long renderings = 100000;
  int dataFiles = 200;
  int threads = 2;
  int faultPercent = 10;
  long long seed = 1;
  // Renderings between two changes of the fault rule; 0 picks a hundredth of
  // the renderings, so that every fault kind comes round about eleven times.
  long long rotateEvery = 0;
  // A resident memory or open descriptors that grow in the second half fail
  // the run (see MemoryTrend).
  bool checkRss = false;
  bool help = false;

  // Reads the words after the program name. Throws std::invalid_argument
  // with the reason for an unknown option, a missing value or a value out of
  // range.
  static SoakOptions parse(const std::vector<std::string>& words);

  static std::string helpText();

  // rotateEvery, or the default it stands for.
  long long renderingsPerPhase() const;

  // The name of data file index (0-based): SOAK0001, SOAK0002, ...
  static std::string dataFileName(int index);

  // Whether data file index belongs to the demo's second session, of the
  // company with a four-digit number, German texts and a decimal comma:
  // every fourth one does, the others to the first session, so that faults
  // also meet what depends on the session's properties.
  static bool inSecondSession(int index) { return index % 4 == 3; }
};

}  // namespace soak

#endif
