#ifndef QUILRUN_FUNCTIONS_TEXTFILTER_H
#define QUILRUN_FUNCTIONS_TEXTFILTER_H

#include <string>

namespace quilrun {

class PatternCache;

// Filters a multi-line text with regular expressions, without any server.
// A text is split into lines at LF (a CR before the LF stays in the line; a
// closing LF adds no empty line); a pattern matches a line only as a whole.
// The output is the kept lines in order, each followed by one LF. A pattern
// error is logged as "Error when filtering text lines: ..." and ends the
// filtering with the output built so far; so does a call that runs out of
// time (see FilterBudget). Patterns come compiled from cache (a cache of the
// call's own when none is given). Null texts count as empty.
// Thread-safety: calls may run on several threads at once.
class TextFilter {
 public:
  // Keeps the lines that match pattern. With a non-empty format each kept
  // line is rewritten: \0 stands for the whole line, \1, \2, ... for the
  // pattern's groups (the longest number the pattern has groups for wins, so
  // \12 is group 12 only when there are twelve groups), \\ for a backslash;
  // anything else is copied as written. Group texts are inserted verbatim.
  static void filterLinewise(const char* format, const char* text, char* result, int resultSize,
                             const char* pattern, PatternCache* cache = nullptr);

  // Cuts text into blocks between marker lines: lines of keep blocks stay,
  // lines of drop blocks go, lines outside blocks stay iff keepOutside.
  // Marker lines never stay. A null start pattern disables its kind of block;
  // a null end pattern means the start pattern also ends the block.
  static void filterBlockwise(const char* text, char* result, int resultSize,
                              const char* keepBlockStart, const char* keepBlockEnd,
                              const char* dropBlockStart, const char* dropBlockEnd,
                              bool keepOutside, PatternCache* cache = nullptr);

  // The output of filterLinewise as a string.
  static std::string linewise(const char* text, const char* pattern, const char* format,
                              PatternCache* cache = nullptr);

  // The output of filterBlockwise as a string.
  static std::string blockwise(const char* text, const char* keepBlockStart,
                               const char* keepBlockEnd, const char* dropBlockStart,
                               const char* dropBlockEnd, bool keepOutside,
                               PatternCache* cache = nullptr);
};

}  // namespace quilrun

#endif
