#ifndef QUILRUN_SERVER_VARNDLLPARAMETER_H
#define QUILRUN_SERVER_VARNDLLPARAMETER_H

#include <cstdint>
#include <string>

#include <pugixml.hpp>

namespace quilrun {

// One named, typed parameter of a remote call, with its value. The name is
// also the parameter's element name in the request and in the reply.
// Thread-safety: belongs to one call on one thread.
class VarnDLLParameter {
 public:
  // Type codes.
  static constexpr int kVoid = 0;
  static constexpr int kBoolean = 1;
  static constexpr int kString = 2;
  static constexpr int kInt = 3;
  static constexpr int kI8 = 4;
  static constexpr int kR8 = 5;
  static constexpr int kXmlNode = 6;
  // Scope codes.
  static constexpr int kIn = 0;
  static constexpr int kOut = 1;
  static constexpr int kInOut = 2;

  VarnDLLParameter(const char* name, int type, int scope);

  const std::string& getName() const { return name_; }
  int getType() const { return type_; }
  int getScope() const { return scope_; }
  int getDims() const { return dims_; }

  bool getBoolValue() const { return boolValue_; }
  void setBoolValue(bool value) { boolValue_ = value; }
  int getIntValue() const { return intValue_; }
  void setIntValue(int value) { intValue_ = value; }
  std::int64_t getLongValue() const { return longValue_; }
  void setLongValue(std::int64_t value) { longValue_ = value; }
  double getDoubleValue() const { return doubleValue_; }
  void setDoubleValue(double value) { doubleValue_ = value; }
  // A node owned elsewhere (the caller's document for in-values, the call's
  // reply document for out-values).
  pugi::xml_node getXmlValue() const { return xmlValue_; }
  void setXmlValue(pugi::xml_node value) { xmlValue_ = value; }
  const std::string& getStringValue() const { return stringValue_; }
  // Also sets dims to the value's length; null changes nothing.
  void setStringValue(const char* value);

  // "void", "boolean", "string", "int", "i8", "r8", "xml.node"; anything else
  // is logged as "Unknown type" and gives "".
  static std::string getTypeDescription(int type);
  // "in", "out", "inout"; anything else is logged as "Unknown scope" and gives "".
  static std::string getScopeDescription(int scope);

  // The value's text form as a request carries it.
  std::string getValueAsString() const;

  // Takes the value from a reply node: an xml.node parameter keeps the node,
  // the others convert its text.
  void setValueFromNode(const pugi::xml_node& node);

  // True when text is empty, "1" or "true" (ignoring case) as a whole.
  static bool readBoolean(const std::string& text);

 private:
  std::string name_;
  int type_;
  int scope_;
  int dims_ = 0;
  bool boolValue_ = false;
  int intValue_ = 0;
  std::int64_t longValue_ = 0;
  double doubleValue_ = 0.0;
  pugi::xml_node xmlValue_;
  std::string stringValue_;
};

}  // namespace quilrun

#endif
