#ifndef QUILRUN_REPORTHOST_REPORTRENDERER_H
#define QUILRUN_REPORTHOST_REPORTRENDERER_H

#include <map>
#include <string>
#include <vector>

#include "DynamicLibrary.h"
#include "ReportTemplate.h"

namespace reporthost {

// Renders a ReportTemplate through a loaded library: each field's calls are
// made exactly as the report server makes them (a fresh result buffer of the
// chosen size, the reserved pointer, numbers by pointer), innermost first.
// Thread-safety: render may be called from many threads at once, as the
// report server renders reports in parallel; the library must stay loaded
// while the renderer is used.
class ReportRenderer {
 public:
  // One export call as it was made.
  struct Call {
    const char* function = nullptr;
    // The arguments after the reserved pointer, data file included, as
    // report-host's call command takes them ("@null" for a null pointer).
    std::vector<std::string> arguments;
    std::string result;
    // Why the call broke the calling convention (non-zero return, result
    // without its NUL) or could not be made (an argument from another call
    // that is no number); empty when it did not.
    std::string error;
  };

  // One rendering of the report.
  struct Rendering {
    std::string text;
    std::vector<Call> calls;  // in the order they were made
    int errors = 0;           // calls with an error
    int emptyResults = 0;     // calls without error that answered ""
  };

  // Resolves every export the template calls. Throws a load HostError when
  // the library lacks one.
  ReportRenderer(const ReportTemplate& report, const DynamicLibrary& library);

  // Renders the report for dataFile with result buffers of resultSize bytes.
  Rendering render(const std::string& dataFile, int resultSize) const;

 private:
  std::string evaluate(const ReportTemplate::Expression& expression, const std::string& dataFile,
                       int resultSize, Rendering& rendering) const;

  const ReportTemplate& report_;
  // The resolved exports, by their table entry (which the template's calls
  // point to), so that a call finds its function without building a key.
  std::map<const ExportTable::Entry*, DynamicLibrary::Function> functions_;
};

}  // namespace reporthost

#endif
