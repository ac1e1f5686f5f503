#include "server/VarnDLLCall.h"

#include "diagnostics/LogRecord.h"
#include "server/RawXml.h"

namespace quilrun {

namespace {
const char* const kProcess = "VarnDLLCall::processResponse";
}  // namespace

VarnDLLCall::VarnDLLCall(const char* methodName)
    : methodName_(methodName != nullptr ? methodName : ""),
      returnValue_(methodName_.c_str(), VarnDLLParameter::kVoid, VarnDLLParameter::kOut) {}

VarnDLLParameter* VarnDLLCall::addParameter(const char* name, int scope, int type) {
  parameters_.push_back(std::make_unique<VarnDLLParameter>(name, type, scope));
  return parameters_.back().get();
}

void VarnDLLCall::setDataFile(const char* dataFile) {
  hasDataFile_ = dataFile != nullptr;
  dataFile_ = dataFile != nullptr ? dataFile : "";
}

bool VarnDLLCall::sameName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a;
    char y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

VarnDLLParameter* VarnDLLCall::findParameter(const char* name) {
  for (const std::unique_ptr<VarnDLLParameter>& parameter : parameters_) {
    if (sameName(parameter->getName().c_str(), name)) return parameter.get();
  }
  return nullptr;
}

void VarnDLLCall::appendParameter(pugi::xml_node parent, const VarnDLLParameter& parameter) {
  pugi::xml_node element = parent.append_child(parameter.getName().c_str());
  element.append_attribute("scope") =
      VarnDLLParameter::getScopeDescription(parameter.getScope()).c_str();
  const bool isNode = parameter.getType() == VarnDLLParameter::kXmlNode;
  if (isNode) {
    element.append_attribute("ct") = "elements";
  } else {
    element.append_attribute("dt") =
        VarnDLLParameter::getTypeDescription(parameter.getType()).c_str();
  }
  if (parameter.getType() == VarnDLLParameter::kString) {
    element.append_attribute("dims") = parameter.getDims();
  }
  if (parameter.getScope() == VarnDLLParameter::kOut) return;
  if (isNode) {
    for (pugi::xml_node child : parameter.getXmlValue().children()) element.append_copy(child);
  } else {
    // An empty text still gives start and end tag.
    element.append_child(pugi::node_pcdata).set_value(parameter.getValueAsString().c_str());
  }
}

pugi::xml_node VarnDLLCall::buildRequest() {
  requestDocument_.reset();
  pugi::xml_node root = requestDocument_.append_child("callRequest");
  if (hasDataFile_) root.append_child("datafile").text().set(dataFile_.c_str());
  pugi::xml_node constructor = root.append_child("dllRequest").append_child("constructor");
  constructor.append_attribute("language") = "VarnDLL";
  constructor.append_child("dll").text().set(kDllName);
  constructor.append_child("method").text().set(methodName_.c_str());
  if (!parameters_.empty()) {
    pugi::xml_node list = constructor.append_child("parameters");
    for (const std::unique_ptr<VarnDLLParameter>& parameter : parameters_) {
      appendParameter(list, *parameter);
    }
  }
  return root;
}

bool VarnDLLCall::processResponse(const char* reply) {
  responseDocument_.reset();
  const pugi::xml_parse_result parsed =
      responseDocument_.load_string(reply != nullptr ? reply : "");
  if (!parsed) {
    QLOG(kProcess, 1, LogType::Error)
        << "Web service response could not be parsed: " << parsed.description() << std::endl;
    return false;
  }
  const pugi::xml_node status = responseDocument_.select_node("/callResponse/status").node();
  if (!status) {
    QLOG(kProcess, 1, LogType::Error)
        << "Invalid web service response: <status> node is missing" << std::endl;
    return false;
  }
  const std::string statusText = status.child_value();
  if (statusText != "1") {
    const char* message =
        responseDocument_.select_node("/callResponse/message").node().child_value();
    QLOG(kProcess, 1, LogType::Error)
        << "Web service response contains status " << statusText << ": " << message << std::endl;
    return false;
  }
  const pugi::xml_node replyNode =
      responseDocument_.select_node("/callResponse/dllResponse/reply").node();
  if (!replyNode) {
    const pugi::xml_node error =
        responseDocument_.select_node("/callResponse/dllResponse/error").node();
    if (error) {
      QLOG(kProcess, 1, LogType::Error)
          << "Web service response contains <error> node: " << RawXml::print(error) << std::endl;
    } else {
      QLOG(kProcess, 1, LogType::Error)
          << "Web service response does not contain <reply> node" << std::endl;
    }
    return false;
  }
  const pugi::xml_node method = replyNode.first_child();
  if (!method || !sameName(method.name(), methodName_.c_str())) {
    QLOG(kProcess, 1, LogType::Error)
        << "Web service response does not contain a <" << methodName_ << "> node" << std::endl;
    return false;
  }
  pugi::xml_node child = method.first_child();
  if (child && sameName(child.name(), methodName_.c_str())) {
    returnValue_.setValueFromNode(child);
    child = child.next_sibling();
  }
  for (; child; child = child.next_sibling()) {
    VarnDLLParameter* parameter = findParameter(child.name());
    if (parameter != nullptr) {
      parameter->setValueFromNode(child);
    } else {
      QLOG(kProcess, 2, LogType::Warning)
          << "Ignoring unrecognized parameter " << child.name() << " in response" << std::endl;
    }
  }
  return true;
}

}  // namespace quilrun
