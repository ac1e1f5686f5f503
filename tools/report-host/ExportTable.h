#ifndef QUILRUN_REPORTHOST_EXPORTTABLE_H
#define QUILRUN_REPORTHOST_EXPORTTABLE_H

#include <string>
#include <vector>

#include "DynamicLibrary.h"

namespace reporthost {

// The fifteen tt_ exports of the library with their parameters, and how to
// call each one from command-line texts. Every export takes the result
// buffer, its size and the reserved pointer first; the parameters listed
// here are the ones after those, from position 4 on.
class ExportTable {
 public:
  struct Parameter {
    const char* name;
    const char* type;  // "text", "int", "int64" or "double"
  };

  // What a call left behind: the export's return value and the result buffer
  // exactly as the library wrote it.
  struct CallResult {
    int returnValue;
    std::vector<char> buffer;
  };

  struct Entry {
    const char* name;
    std::vector<Parameter> parameters;

    // Converts arguments (one per parameter; the caller checks the count) and
    // calls function, which must be this export, with a result buffer of
    // exactly resultSize bytes. Throws a usage HostError for an argument that
    // does not parse.
    CallResult (*call)(DynamicLibrary::Function function, const std::vector<Parameter>& parameters,
                       const std::vector<std::string>& arguments, int resultSize);

    // "dataFile (text), height (int), width (int)".
    std::string describeParameters() const;
  };

  static const std::vector<Entry>& entries();

  // The export called name, or null when there is none.
  static const Entry* find(const std::string& name);
};

}  // namespace reporthost

#endif
