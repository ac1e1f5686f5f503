#ifndef QUILRUN_BENCH_BENCHRESULT_H
#define QUILRUN_BENCH_BENCHRESULT_H

// The machine-readable form of a benchmark's figures, which bench/run
// collects into its one table. Each figure is one line of tab-separated
// fields after the word RESULT:
//
//   RESULT  bench  case  figure  unit  floor  floor-name  ratio  goal
//
// figure and floor are in unit; ratio is figure / floor; goal is "<=X" or
// ">=X" for a ratio the benchmark aims at, or "-". floor, floor-name and
// ratio are "-" for a figure without a floor. The lines come after the
// program's own table and leave it unchanged.

#include <cstdio>
#include <string>

namespace quilrun::bench {

// Tabs and line breaks would split the line into other fields.
inline std::string resultField(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text.empty() ? "-" : text;
}

// One figure beside its floor; a floor of 0 or below means "none".
inline void printResult(const std::string& bench, const std::string& name, double figure,
                        const std::string& unit, double floor, const std::string& floorName,
                        const std::string& goal = "-") {
  const bool hasFloor = floor > 0;
  char floorText[32] = "-";
  char ratioText[32] = "-";
  if (hasFloor) {
    std::snprintf(floorText, sizeof floorText, "%.6g", floor);
    std::snprintf(ratioText, sizeof ratioText, "%.4g", figure / floor);
  }
  std::printf("RESULT\t%s\t%s\t%.6g\t%s\t%s\t%s\t%s\t%s\n", resultField(bench).c_str(),
              resultField(name).c_str(), figure, resultField(unit).c_str(), floorText,
              hasFloor ? resultField(floorName).c_str() : "-", ratioText,
              resultField(goal).c_str());
}

// A figure that has no floor to compare with.
inline void printResult(const std::string& bench, const std::string& name, double figure,
                        const std::string& unit) {
  printResult(bench, name, figure, unit, 0, "");
}

}  // namespace quilrun::bench

#endif
