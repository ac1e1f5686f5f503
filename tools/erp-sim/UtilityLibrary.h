#ifndef QUILRUN_ERPSIM_UTILITYLIBRARY_H
#define QUILRUN_ERPSIM_UTILITYLIBRARY_H

#include <pugixml.hpp>

#include <string>

#include "CallRequest.h"
#include "Session.h"

namespace erpsim {

// The server-side library "oqrptdllutil" with the four methods the report
// functions call remotely, answered from one session's fixtures:
//   GetCurrencyFormats  out CALLRESULT
//   GetLabelVariants    in LABELCODE, LANGUAGE (strings); out callResult
//   GetMessageText      in MESSAGECODE, LANGUAGE (strings); out callResult
//   GetReportText       in CALLINFO (elements: TEXTID); out callResult
// Parameter names are exact. A string in-parameter must declare dt="string"
// and dims equal to its value's length in bytes; element parameters declare
// ct="elements". Stateless.
class UtilityLibrary {
 public:
  static constexpr const char* name = "oqrptdllutil";

  enum class Outcome {
    // The out-parameters are in the method element.
    Answered,
    // The call was sound but the session holds nothing for its key; the
    // service answers with status 0.
    NotFound,
    // The call itself is wrong (unknown method, missing or mis-declared
    // parameter); the service answers with the library's error.
    Failed,
  };

  struct Result {
    Outcome outcome;
    // Why, for NotFound and Failed.
    std::string message;
  };

  // Runs the request's method for session, appending its out-parameter
  // elements to methodElement.
  static Result call(const Session& session, const CallRequest& request,
                     pugi::xml_node methodElement);
};

}  // namespace erpsim

#endif
