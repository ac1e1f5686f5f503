#ifndef QUILRUN_ERPSIM_FIXTURES_H
#define QUILRUN_ERPSIM_FIXTURES_H

#include <string>
#include <vector>

#include "Session.h"

namespace erpsim {

// The sessions of a fixture file (format in README.md). Read-only once loaded.
class Fixtures {
 public:
  // Reads the fixture file at path. Anything but a well-formed file of the
  // documented elements and attributes throws a usage SimError naming the
  // file and line, so that a typo in a fixture shows at start-up and not as
  // a puzzling "not found" reply later.
  static Fixtures load(const std::string& path);

  // The session with this identifier, or null.
  const Session* session(const std::string& id) const;

  const std::vector<Session>& sessions() const { return sessions_; }

 private:
  std::vector<Session> sessions_;
};

}  // namespace erpsim

#endif
