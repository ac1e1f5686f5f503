#ifndef QUILRUN_ERPSIM_CALLREQUEST_H
#define QUILRUN_ERPSIM_CALLREQUEST_H

#include <pugixml.hpp>

#include <optional>
#include <string>
#include <vector>

namespace erpsim {

// One parameter of a remote call as the request declares it.
struct CallParameter {
  std::string name;
  // "in", "out" or "inout".
  std::string scope;
  // The value type ("string", "int", ...) of a plain parameter; empty for an
  // element parameter.
  std::string dataType;
  // "elements" for a parameter whose value is XML; empty otherwise.
  std::string contentType;
  // The declared length in bytes of a string value, when given.
  std::optional<std::string> dims;
  // The parameter's element, for its text or child elements.
  pugi::xml_node element;
};

// A parsed "call" request: a remote call of one method of a server-side
// library, in this form (the parameters element may be missing):
//   <callRequest><datafile>R1</datafile><dllRequest>
//     <constructor language="VarnDLL"><dll>LIB</dll><method>M</method>
//       <parameters><NAME scope="in" dt="string" dims="3">abc</NAME>
//         <OUT scope="out" ct="elements" /></parameters>
//     </constructor></dllRequest></callRequest>
// Not copyable: parameters point into the parsed document.
class CallRequest {
 public:
  CallRequest() = default;
  CallRequest(const CallRequest&) = delete;
  CallRequest& operator=(const CallRequest&) = delete;

  // Parses body. Returns the reason when it is not a call request of the
  // form above; the method is read even then, when the request names one.
  std::optional<std::string> parse(const std::string& body);

  const std::string& dataFile() const { return dataFile_; }
  const std::string& library() const { return library_; }
  const std::string& method() const { return method_; }

  // The parameter of exactly this name (letter case included), or null.
  const CallParameter* parameter(const std::string& name) const;

 private:
  pugi::xml_document document_;
  std::string dataFile_;
  std::string library_;
  std::string method_;
  std::vector<CallParameter> parameters_;
};

}  // namespace erpsim

#endif
