#ifndef QUILRUN_SOAK_SOAKFIXTURES_H
#define QUILRUN_SOAK_SOAKFIXTURES_H

#include <string>
#include <vector>

namespace soak {

// erp-sim's fixture file for a soak run: the demo fixtures with one session
// serving exactly the soak's data files instead of its own.
class SoakFixtures {
 public:
  // demoFixtures is the text of samples/erp/demo-fixtures.xml; the session
  // whose id is sessionId loses its <dataFile> entries and gets one per name
  // of dataFiles. Everything else is kept as it is. Throws
  // std::runtime_error when the text does not parse or has no such session.
  static std::string build(const std::string& demoFixtures, const std::string& sessionId,
                           const std::vector<std::string>& dataFiles);
};

}  // namespace soak

#endif
