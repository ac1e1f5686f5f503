#include "SoakFixtures.h"

#include <pugixml.hpp>
#include <sstream>
#include <stdexcept>

namespace soak {

std::string SoakFixtures::build(const std::string& demoFixtures, const std::string& sessionId,
                                const std::vector<std::string>& dataFiles) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_string(demoFixtures.c_str());
  if (!parsed) {
    throw std::runtime_error(std::string("the demo fixtures do not parse: ") +
                             parsed.description());
  }
  pugi::xml_node session =
      document.child("erpSimFixtures").find_child_by_attribute("session", "id", sessionId.c_str());
  if (!session) throw std::runtime_error("the demo fixtures have no session " + sessionId);
  while (pugi::xml_node old = session.child("dataFile")) session.remove_child(old);
  // First in the session, where the demo lists its own.
  pugi::xml_node before = session.first_child();
  for (const std::string& name : dataFiles) {
    pugi::xml_node entry =
        before ? session.insert_child_before("dataFile", before) : session.append_child("dataFile");
    entry.append_attribute("name") = name.c_str();
  }
  // Raw: indentation would add blanks around element text, which erp-sim
  // takes as written.
  std::ostringstream text;
  document.save(text, "", pugi::format_raw);
  return text.str();
}

}  // namespace soak
