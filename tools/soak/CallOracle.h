#ifndef QUILRUN_SOAK_CALLORACLE_H
#define QUILRUN_SOAK_CALLORACLE_H

#include <string>
#include <vector>

#include "ReportRenderer.h"

namespace soak {

// Judges the calls of a rendering made while erp-sim injects faults. A
// report's calls come in a fixed order, so the baseline, a rendering made
// without faults, gives the correct answer of every call by position. Under
// faults each call must answer either that correct answer (when its
// arguments are the baseline's, the data file aside) or the fallback its
// export documents for the arguments it got:
//   tt_getLabel        the label code
//   tt_getMessage      the message code
//   tt_formatAmount    the amount printed with "** %.2f **"
//   tt_formatCompany   the company number printed plain ("%d")
//   every other export ""
// A filter whose input text came back as its fallback "" gets other
// arguments than in the baseline; it may then only answer its fallback "".
// A call that broke the calling convention (its error is set) is wrong
// whatever it answered.
// Thread-safety: immutable after construction; Tally is per thread.
class CallOracle {
 public:
  // How many wrong calls a tally keeps described in full.
  static constexpr std::size_t kShownMismatches = 5;

  // What one thread's checked renderings add up to.
  struct Tally {
    long long renderings = 0;
    long long calls = 0;
    long long mismatches = 0;  // wrong calls, broken ones included
    long long broken = 0;      // calls with an error
    // By export, in the order of CallOracle::exports(): calls that answered
    // their fallback where the baseline answered otherwise.
    std::vector<long long> fallbacks;
    std::vector<std::string> shown;  // the first mismatches, described

    void add(const Tally& other);
  };

  // Throws std::invalid_argument when baseline holds a call with an error
  // or an export that report-host does not know.
  explicit CallOracle(reporthost::ReportRenderer::Rendering baseline);

  // The exports the report calls, each once, in the order of first call.
  const std::vector<std::string>& exports() const { return exports_; }

  const reporthost::ReportRenderer::Rendering& baseline() const { return baseline_; }

  // Baseline calls whose correct answer equals their fallback: a fault in
  // them cannot be told from success.
  int indistinguishableCalls() const;

  // A tally sized for this oracle's exports.
  Tally newTally() const;

  // Checks rendering, made for dataFile as rendering number `number`, and
  // adds it to tally.
  void check(const reporthost::ReportRenderer::Rendering& rendering, const std::string& dataFile,
             long long number, Tally& tally) const;

  // The documented fallback of function for arguments (data file first for
  // the exports that take one, as ReportRenderer records them).
  static std::string fallback(const std::string& function,
                              const std::vector<std::string>& arguments);

 private:
  // Where each baseline call's export is in exports_, and whether its first
  // argument is the data file.
  struct Slot {
    std::size_t exportIndex = 0;
    bool takesDataFile = false;
  };

  static std::string describe(const reporthost::ReportRenderer::Call& call);

  reporthost::ReportRenderer::Rendering baseline_;
  std::vector<std::string> exports_;
  std::vector<Slot> slots_;  // one per baseline call
};

}  // namespace soak

#endif
