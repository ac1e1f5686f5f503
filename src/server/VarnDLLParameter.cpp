#include "server/VarnDLLParameter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/LogRecord.h"
#include "server/RawXml.h"

namespace quilrun {

VarnDLLParameter::VarnDLLParameter(const char* name, int type, int scope)
    : name_(name != nullptr ? name : ""), type_(type), scope_(scope) {}

void VarnDLLParameter::setStringValue(const char* value) {
  if (value == nullptr) return;
  stringValue_ = value;
  dims_ = static_cast<int>(stringValue_.size());
}

std::string VarnDLLParameter::getTypeDescription(int type) {
  switch (type) {
    case kVoid:
      return "void";
    case kBoolean:
      return "boolean";
    case kString:
      return "string";
    case kInt:
      return "int";
    case kI8:
      return "i8";
    case kR8:
      return "r8";
    case kXmlNode:
      return "xml.node";
    default:
      QLOG("VarnDLLParameter::getTypeDescription", 1, LogType::Fatal) << "Unknown type"
                                                                      << std::endl;
      return std::string();
  }
}

std::string VarnDLLParameter::getScopeDescription(int scope) {
  switch (scope) {
    case kIn:
      return "in";
    case kOut:
      return "out";
    case kInOut:
      return "inout";
    default:
      QLOG("VarnDLLParameter::getScopeDescription", 1, LogType::Fatal) << "Unknown scope"
                                                                       << std::endl;
      return std::string();
  }
}

std::string VarnDLLParameter::getValueAsString() const {
  switch (type_) {
    case kBoolean:
      return boolValue_ ? "1" : "0";
    case kString:
      return stringValue_;
    case kInt:
      return std::to_string(intValue_);
    case kI8:
      return std::to_string(longValue_);
    case kR8: {
      char text[64];
      std::snprintf(text, sizeof text, "%.15g", doubleValue_);
      return text;
    }
    case kXmlNode:
      return xmlValue_ ? RawXml::print(xmlValue_) : std::string();
    default:
      return std::string();
  }
}

bool VarnDLLParameter::readBoolean(const std::string& text) {
  auto equalsIgnoringCase = [&text](const char* word) {
    const std::size_t length = std::strlen(word);
    if (text.size() != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
      char c = text[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != word[i]) return false;
    }
    return true;
  };
  return text.empty() || equalsIgnoringCase("1") || equalsIgnoringCase("true");
}

void VarnDLLParameter::setValueFromNode(const pugi::xml_node& node) {
  if (type_ == kXmlNode) {
    xmlValue_ = node;
    return;
  }
  const char* text = node.child_value();
  switch (type_) {
    case kBoolean:
      boolValue_ = readBoolean(text);
      break;
    case kInt:
      intValue_ = std::atoi(text);
      break;
    case kI8:
      longValue_ = std::atoll(text);
      break;
    case kR8:
      doubleValue_ = std::atof(text);
      break;
    case kString:
    case kVoid:
      stringValue_ = text;
      dims_ = static_cast<int>(stringValue_.size());
      break;
    default:
      break;
  }
}

}  // namespace quilrun
