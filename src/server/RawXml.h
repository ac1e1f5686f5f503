#ifndef QUILRUN_SERVER_RAWXML_H
#define QUILRUN_SERVER_RAWXML_H

#include <string>

#include <pugixml.hpp>

namespace quilrun {

// Prints XML on one line, without declaration or indentation, the way the
// web service receives it: an element without children in the short form
// with a blank before the slash (<a b="1" />), an element whose only child
// is an empty text with start and end tag, text and attribute values
// escaped, bytes not re-encoded.
class RawXml {
 public:
  // The node and its subtree.
  static std::string print(const pugi::xml_node& node);

 private:
  static void printNode(const pugi::xml_node& node, std::string& out);
  static void appendEscaped(const char* text, bool attribute, std::string& out);
};

}  // namespace quilrun

#endif
