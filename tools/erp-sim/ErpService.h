#ifndef QUILRUN_ERPSIM_ERPSERVICE_H
#define QUILRUN_ERPSIM_ERPSERVICE_H

#include <optional>
#include <string>
#include <vector>

#include "Fixtures.h"

namespace erpsim {

// The ERP web service's three endpoints, answering request bodies from the
// fixtures with the reply documents the library reads:
//   store       <imageRequest>      -> <imageResponse><status>1</status><url>U</url></imageResponse>
//   properties  <propertiesRequest> -> <propertiesResponse><status>1</status>
//                                        <properties><property name="N">V</property>...
//   call        <callRequest>       -> <callResponse><status>1</status><dllResponse>
//                                        <reply><METHOD>out-parameters</METHOD></reply>...
// Every request that cannot be answered gets status 0 and a message in the
// endpoint's reply element: a body that is not the endpoint's request, a
// missing or unknown JSESSIONID, a data file the session does not serve, or a
// key the session holds nothing for. A call the library rejects (unknown
// method, wrong parameters) is answered with status 1 and
// <dllResponse><error>why</error></dllResponse>. Replies carry no XML
// declaration. Stateless: any number of threads may answer at once.
class ErpService {
 public:
  struct Answer {
    std::string body;
    // The remote method a call request names, empty if none or not a call.
    std::string method;
  };

  // The content type of every reply.
  static constexpr const char* contentType = "text/xml;charset=UTF-8";

  explicit ErpService(const Fixtures& fixtures);

  static bool isEndpoint(const std::string& name);

  // The reply to body, posted to endpoint by the session sessionId (none when
  // the request carried no JSESSIONID cookie).
  Answer answer(const std::string& endpoint, const std::optional<std::string>& sessionId,
                const std::string& body) const;

  // The status-0 reply of endpoint with message.
  static std::string failure(const std::string& endpoint, const std::string& message);

  // The value of the JSESSIONID cookie among the request's Cookie headers.
  static std::optional<std::string> sessionFromCookies(const std::vector<std::string>& headers);

 private:
  std::string store(const std::optional<std::string>& sessionId, const std::string& body) const;
  std::string properties(const std::optional<std::string>& sessionId,
                         const std::string& body) const;
  std::string call(const std::optional<std::string>& sessionId, const std::string& body,
                   std::string& method) const;

  // The session and data file check shared by the endpoints: the session
  // that serves dataFile, or null with the reason in message.
  const Session* sessionFor(const std::optional<std::string>& sessionId,
                            const std::string& dataFile, std::string& message) const;

  const Fixtures& fixtures_;
};

}  // namespace erpsim

#endif
