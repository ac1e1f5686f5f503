#include "CallRequest.h"

namespace erpsim {

namespace {

// The single element child of parent named name; "<name> is missing" otherwise.
std::optional<std::string> child(const pugi::xml_node parent, const char* name,
                                 pugi::xml_node& found) {
  found = parent.child(name);
  if (!found) return "<" + std::string(name) + "> is missing in <" + parent.name() + ">";
  if (found.next_sibling(name)) {
    return "<" + std::string(name) + "> appears twice in <" + parent.name() + ">";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CallRequest::parse(const std::string& body) {
  // Whitespace-only values are kept: a string parameter may be a blank.
  const pugi::xml_parse_result parsed = document_.load_buffer(
      body.data(), body.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
  if (!parsed) return std::string("the request is not well-formed XML: ") + parsed.description();

  const pugi::xml_node root = document_.document_element();
  method_ = root.child("dllRequest").child("constructor").child("method").child_value();
  if (std::string(root.name()) != "callRequest") {
    return "the request element is <" + std::string(root.name()) + ">, not <callRequest>";
  }
  pugi::xml_node node;
  if (auto error = child(root, "datafile", node)) return error;
  dataFile_ = node.child_value();
  pugi::xml_node dllRequest;
  if (auto error = child(root, "dllRequest", dllRequest)) return error;
  pugi::xml_node constructor;
  if (auto error = child(dllRequest, "constructor", constructor)) return error;
  const std::string language = constructor.attribute("language").value();
  if (language != "VarnDLL") {
    return "the constructor's language is '" + language + "', not 'VarnDLL'";
  }
  if (auto error = child(constructor, "dll", node)) return error;
  library_ = node.child_value();
  if (auto error = child(constructor, "method", node)) return error;
  if (method_.empty()) return std::string("<method> is empty");

  const pugi::xml_node parameters = constructor.child("parameters");
  for (const pugi::xml_node element : parameters.children()) {
    if (element.type() != pugi::node_element) continue;
    CallParameter parameter;
    parameter.name = element.name();
    parameter.scope = element.attribute("scope").value();
    parameter.dataType = element.attribute("dt").value();
    parameter.contentType = element.attribute("ct").value();
    if (const pugi::xml_attribute dims = element.attribute("dims")) parameter.dims = dims.value();
    parameter.element = element;
    parameters_.push_back(parameter);
  }
  return std::nullopt;
}

const CallParameter* CallRequest::parameter(const std::string& name) const {
  for (const CallParameter& parameter : parameters_) {
    if (parameter.name == name) return &parameter;
  }
  return nullptr;
}

}  // namespace erpsim
