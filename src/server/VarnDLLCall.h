#ifndef QUILRUN_SERVER_VARNDLLCALL_H
#define QUILRUN_SERVER_VARNDLLCALL_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "server/VarnDLLParameter.h"

namespace quilrun {

// One call of a method of the server-side library "oqrptdllutil" through the
// web service's "call" endpoint: collects the parameters, writes the
// callRequest document and reads the callResponse back into the
// out-parameters. Out-values of type xml.node point into the call's reply
// document and live as long as the call.
// Thread-safety: belongs to one lookup on one thread.
class VarnDLLCall {
 public:
  static constexpr const char* kDllName = "oqrptdllutil";

  explicit VarnDLLCall(const char* methodName);

  VarnDLLCall(const VarnDLLCall&) = delete;
  VarnDLLCall& operator=(const VarnDLLCall&) = delete;

  // Appends a parameter and returns it for its value to be set.
  VarnDLLParameter* addParameter(const char* name, int scope, int type);

  // The data file name sent with the call.
  void setDataFile(const char* dataFile);

  // Rebuilds the request document and returns its root element.
  pugi::xml_node buildRequest();

  // Reads a reply into the parameters; false (logged) when the reply is not
  // a successful callResponse for this method. Parameters keep their values
  // on failure.
  bool processResponse(const char* reply);

  // The first parameter whose name equals name ignoring ASCII letter case.
  VarnDLLParameter* findParameter(const char* name);

  const std::string& getMethodName() const { return methodName_; }
  const VarnDLLParameter& getReturnValue() const { return returnValue_; }
  std::size_t getParameterCount() const { return parameters_.size(); }
  bool hasNoParameters() const { return parameters_.empty(); }

  // True when the two names are equal ignoring ASCII letter case.
  static bool sameName(const char* a, const char* b);

 private:
  void appendParameter(pugi::xml_node parent, const VarnDLLParameter& parameter);

  std::string methodName_;
  bool hasDataFile_ = false;
  std::string dataFile_;
  VarnDLLParameter returnValue_;
  std::vector<std::unique_ptr<VarnDLLParameter>> parameters_;
  pugi::xml_document requestDocument_;
  pugi::xml_document responseDocument_;
};

}  // namespace quilrun

#endif
