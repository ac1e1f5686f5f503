#include "ErpService.h"

#include <pugixml.hpp>

#include <sstream>

#include "CallRequest.h"
#include "Numbers.h"
#include "UtilityLibrary.h"

namespace erpsim {

namespace {

const char* const storeEndpoint = "store";
const char* const propertiesEndpoint = "properties";
const char* const callEndpoint = "call";

// The reply element of each endpoint; any name serves the library, which
// searches the reply for status, message, url and properties.
const char* replyElement(const std::string& endpoint) {
  if (endpoint == storeEndpoint) return "imageResponse";
  if (endpoint == propertiesEndpoint) return "propertiesResponse";
  return "callResponse";
}

// document as one line without declaration or indentation.
std::string serialized(const pugi::xml_document& document) {
  std::ostringstream out;
  document.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

// The reply element of endpoint in document, with status 1.
pugi::xml_node success(const std::string& endpoint, pugi::xml_document& document) {
  pugi::xml_node root = document.append_child(replyElement(endpoint));
  root.append_child("status").text().set("1");
  return root;
}

// Parses body into document; the reason when it is not well-formed or its
// root is not expected.
std::optional<std::string> parseRequest(const std::string& body, const char* expected,
                                        pugi::xml_document& document) {
  // Whitespace-only values are kept: a key may be a blank.
  const pugi::xml_parse_result parsed = document.load_buffer(
      body.data(), body.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
  if (!parsed) {
    return std::string("Malformed request: not well-formed XML: ") + parsed.description();
  }
  const std::string root = document.document_element().name();
  if (root != expected) {
    return "Malformed request: the request element is <" + root + ">, not <" + expected + ">";
  }
  return std::nullopt;
}

// The text of root's child name, or the reason it is missing.
std::optional<std::string> field(const pugi::xml_node root, const char* name,
                                 std::string& value) {
  const pugi::xml_node node = root.child(name);
  if (!node) return "Malformed request: <" + std::string(name) + "> is missing";
  value = node.child_value();
  return std::nullopt;
}

std::optional<std::string> numberField(const pugi::xml_node root, const char* name,
                                       int& value) {
  std::string text;
  if (auto error = field(root, name, text)) return error;
  const std::optional<int> number = Numbers::narrow(text);
  if (!number) {
    return "Malformed request: <" + std::string(name) + "> is not a number: '" + text + "'";
  }
  value = *number;
  return std::nullopt;
}

// The URL for the image or file that root asks for, or the reason there is none.
std::optional<std::string> imageUrl(const Session& session, const pugi::xml_node root,
                                    std::string& url) {
  std::string type;
  if (auto error = field(root, "type", type)) return error;
  const std::string* found = nullptr;
  if (type == "0") {
    if (!session.companyLogo) return std::string("No company logo is stored");
    found = &*session.companyLogo;
  } else if (type == "1") {
    int height = 0;
    int width = 0;
    if (auto error = numberField(root, "height", height)) return error;
    if (auto error = numberField(root, "width", width)) return error;
    found = session.sensitivityImage(height, width);
    if (!found) {
      return "No sensitivity image of height " + std::to_string(height) + " and width " +
             std::to_string(width);
    }
  } else if (type == "2") {
    std::string guid;
    if (auto error = field(root, "guid", guid)) return error;
    found = session.applicationImage(guid);
    if (!found) return "No application image with GUID '" + guid + "'";
  } else if (type == "3") {
    std::string domain;
    int value = 0;
    if (auto error = field(root, "domain", domain)) return error;
    if (auto error = numberField(root, "value", value)) return error;
    found = session.enumImage(domain, value);
    if (!found) {
      return "No image for value " + std::to_string(value) + " of domain '" + domain + "'";
    }
  } else if (type == "4") {
    std::string package;
    std::string module;
    std::string name;
    if (auto error = field(root, "package", package)) return error;
    if (auto error = field(root, "module", module)) return error;
    if (auto error = field(root, "name", name)) return error;
    found = session.additionalFile(package, module, name);
    if (!found) {
      return "No additional file '" + name + "' in package '" + package + "', module '" +
             module + "'";
    }
  } else if (type == "5") {
    std::string value;
    std::string parameters;
    if (auto error = field(root, "value", value)) return error;
    if (auto error = field(root, "parameters", parameters)) return error;
    const std::optional<std::string> barcode = session.barcode(value, parameters);
    if (!barcode) return "No barcode for value '" + value + "' and parameters '" + parameters + "'";
    url = *barcode;
    return std::nullopt;
  } else {
    return "Malformed request: unknown image type '" + type + "'";
  }
  url = *found;
  return std::nullopt;
}

}  // namespace

ErpService::ErpService(const Fixtures& fixtures) : fixtures_(fixtures) {}

bool ErpService::isEndpoint(const std::string& name) {
  return name == storeEndpoint || name == propertiesEndpoint || name == callEndpoint;
}

ErpService::Answer ErpService::answer(const std::string& endpoint,
                                      const std::optional<std::string>& sessionId,
                                      const std::string& body) const {
  Answer answer;
  if (endpoint == storeEndpoint) {
    answer.body = store(sessionId, body);
  } else if (endpoint == propertiesEndpoint) {
    answer.body = properties(sessionId, body);
  } else {
    answer.body = call(sessionId, body, answer.method);
  }
  return answer;
}

std::string ErpService::failure(const std::string& endpoint, const std::string& message) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child(replyElement(endpoint));
  root.append_child("status").text().set("0");
  root.append_child("message").text().set(message.c_str());
  return serialized(document);
}

std::optional<std::string> ErpService::sessionFromCookies(
    const std::vector<std::string>& headers) {
  const std::string name = "JSESSIONID=";
  for (const std::string& header : headers) {
    std::size_t start = 0;
    while (start <= header.size()) {
      std::size_t end = header.find(';', start);
      if (end == std::string::npos) end = header.size();
      std::string cookie = header.substr(start, end - start);
      cookie.erase(0, cookie.find_first_not_of(" \t"));
      if (cookie.compare(0, name.size(), name) == 0) return cookie.substr(name.size());
      start = end + 1;
    }
  }
  return std::nullopt;
}

const Session* ErpService::sessionFor(const std::optional<std::string>& sessionId,
                                      const std::string& dataFile, std::string& message) const {
  if (!sessionId) {
    message = "No session: the request carries no JSESSIONID cookie";
    return nullptr;
  }
  const Session* session = fixtures_.session(*sessionId);
  if (!session) {
    message = "Invalid session: JSESSIONID '" + *sessionId + "' is not known";
    return nullptr;
  }
  if (!session->servesDataFile(dataFile)) {
    message = "Unknown data file '" + dataFile + "' for this session";
    return nullptr;
  }
  return session;
}

std::string ErpService::store(const std::optional<std::string>& sessionId,
                              const std::string& body) const {
  pugi::xml_document request;
  if (auto error = parseRequest(body, "imageRequest", request)) {
    return failure(storeEndpoint, *error);
  }
  const pugi::xml_node root = request.document_element();
  std::string dataFile;
  if (auto error = field(root, "datafile", dataFile)) return failure(storeEndpoint, *error);
  std::string message;
  const Session* session = sessionFor(sessionId, dataFile, message);
  if (!session) return failure(storeEndpoint, message);
  std::string url;
  if (auto error = imageUrl(*session, root, url)) return failure(storeEndpoint, *error);

  pugi::xml_document reply;
  pugi::xml_node element = success(storeEndpoint, reply);
  element.append_child("url").text().set(url.c_str());
  return serialized(reply);
}

std::string ErpService::properties(const std::optional<std::string>& sessionId,
                                   const std::string& body) const {
  pugi::xml_document request;
  if (auto error = parseRequest(body, "propertiesRequest", request)) {
    return failure(propertiesEndpoint, *error);
  }
  std::string dataFile;
  if (auto error = field(request.document_element(), "datafile", dataFile)) {
    return failure(propertiesEndpoint, *error);
  }
  std::string message;
  const Session* session = sessionFor(sessionId, dataFile, message);
  if (!session) return failure(propertiesEndpoint, message);

  pugi::xml_document reply;
  pugi::xml_node element = success(propertiesEndpoint, reply);
  pugi::xml_node list = element.append_child("properties");
  for (const auto& property : session->properties) {
    pugi::xml_node entry = list.append_child("property");
    entry.append_attribute("name").set_value(property.first.c_str());
    entry.text().set(property.second.c_str());
  }
  return serialized(reply);
}

std::string ErpService::call(const std::optional<std::string>& sessionId,
                             const std::string& body, std::string& method) const {
  CallRequest request;
  const std::optional<std::string> malformed = request.parse(body);
  method = request.method();
  if (malformed) return failure(callEndpoint, "Malformed request: " + *malformed);
  std::string message;
  const Session* session = sessionFor(sessionId, request.dataFile(), message);
  if (!session) return failure(callEndpoint, message);

  pugi::xml_document reply;
  pugi::xml_node element = success(callEndpoint, reply);
  pugi::xml_node dllResponse = element.append_child("dllResponse");
  if (request.library() != UtilityLibrary::name) {
    dllResponse.append_child("error").text().set(
        ("Library " + request.library() + " is not available").c_str());
    return serialized(reply);
  }
  pugi::xml_node methodElement =
      dllResponse.append_child("reply").append_child(request.method().c_str());
  const UtilityLibrary::Result result = UtilityLibrary::call(*session, request, methodElement);
  switch (result.outcome) {
    case UtilityLibrary::Outcome::Answered:
      return serialized(reply);
    case UtilityLibrary::Outcome::NotFound:
      return failure(callEndpoint, result.message);
    case UtilityLibrary::Outcome::Failed:
      break;
  }
  dllResponse.remove_children();
  dllResponse.append_child("error").text().set(result.message.c_str());
  return serialized(reply);
}

}  // namespace erpsim
