#include "server/RawXml.h"

#include <sstream>

namespace quilrun {

std::string RawXml::print(const pugi::xml_node& node) {
  std::string out;
  printNode(node, out);
  return out;
}

void RawXml::printNode(const pugi::xml_node& node, std::string& out) {
  switch (node.type()) {
    case pugi::node_document:
      for (pugi::xml_node child : node.children()) printNode(child, out);
      return;
    case pugi::node_element:
      out += '<';
      out += node.name();
      for (pugi::xml_attribute attribute : node.attributes()) {
        out += ' ';
        out += attribute.name();
        out += "=\"";
        appendEscaped(attribute.value(), true, out);
        out += '"';
      }
      if (!node.first_child()) {
        out += " />";
        return;
      }
      out += '>';
      for (pugi::xml_node child : node.children()) printNode(child, out);
      out += "</";
      out += node.name();
      out += '>';
      return;
    case pugi::node_pcdata:
      appendEscaped(node.value(), false, out);
      return;
    case pugi::node_cdata:
      out += "<![CDATA[";
      out += node.value();
      out += "]]>";
      return;
    case pugi::node_null:
      return;
    default: {
      // Comments, processing instructions and the like, as pugixml prints them.
      std::ostringstream other;
      node.print(other, "", pugi::format_raw | pugi::format_no_declaration);
      out += other.str();
      return;
    }
  }
}

void RawXml::appendEscaped(const char* text, bool attribute, std::string& out) {
  for (const char* c = text; *c != '\0'; ++c) {
    switch (*c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += attribute ? ">" : "&gt;";
        break;
      case '"':
        out += attribute ? "&quot;" : "\"";
        break;
      case '\r':
        out += attribute ? "&#13;" : "\r";
        break;
      case '\n':
        out += attribute ? "&#10;" : "\n";
        break;
      case '\t':
        out += attribute ? "&#9;" : "\t";
        break;
      default:
        out += *c;
    }
  }
}

}  // namespace quilrun
