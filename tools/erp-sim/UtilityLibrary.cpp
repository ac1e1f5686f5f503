#include "UtilityLibrary.h"

#include <optional>

#include "Numbers.h"

namespace erpsim {

namespace {

using Result = UtilityLibrary::Result;
using Outcome = UtilityLibrary::Outcome;

Result failed(const CallRequest& request, const std::string& message) {
  return {Outcome::Failed, request.method() + ": " + message};
}

Result notFound(const std::string& message) { return {Outcome::NotFound, message}; }

bool readsInput(const CallParameter& parameter) {
  return parameter.scope == "in" || parameter.scope == "inout";
}

// The value of the string in-parameter name, or the reason it cannot be read.
std::optional<std::string> stringInput(const CallRequest& request, const char* name,
                                       std::string& value) {
  const CallParameter* parameter = request.parameter(name);
  if (!parameter) return "the in-parameter " + std::string(name) + " is missing";
  if (!readsInput(*parameter)) {
    return "the parameter " + std::string(name) + " has scope '" + parameter->scope +
           "', not 'in'";
  }
  if (parameter->dataType != "string") {
    return "the parameter " + std::string(name) + " has type '" + parameter->dataType +
           "', not 'string'";
  }
  value = parameter->element.child_value();
  const std::string length = std::to_string(value.size());
  if (!parameter->dims || *parameter->dims != length) {
    return "the parameter " + std::string(name) + " declares dims '" +
           parameter->dims.value_or("") + "' for a value of " + length + " bytes";
  }
  return std::nullopt;
}

// The element of the element parameter name with the given direction, or the
// reason it is not declared so.
std::optional<std::string> elementParameter(const CallRequest& request, const char* name,
                                            bool input, pugi::xml_node& element) {
  const CallParameter* parameter = request.parameter(name);
  const char* kind = input ? "in" : "out";
  if (!parameter) return "the " + std::string(kind) + "-parameter " + name + " is missing";
  const bool scopeFits =
      input ? readsInput(*parameter) : parameter->scope == "out" || parameter->scope == "inout";
  if (!scopeFits) {
    return "the parameter " + std::string(name) + " has scope '" + parameter->scope +
           "', not '" + kind + "'";
  }
  if (parameter->contentType != "elements") {
    return "the parameter " + std::string(name) + " is not declared ct=\"elements\"";
  }
  element = parameter->element;
  return std::nullopt;
}

void appendText(pugi::xml_node parent, const char* name, const std::string& text) {
  parent.append_child(name).text().set(text.c_str());
}

Result currencyFormats(const Session& session, const CallRequest& request,
                       pugi::xml_node method) {
  pugi::xml_node out;
  if (auto error = elementParameter(request, "CALLRESULT", false, out)) {
    return failed(request, *error);
  }
  pugi::xml_node formats = method.append_child(out.name()).append_child("CURRENCY_FORMATS");
  for (const CurrencyFormat& format : session.currencyFormats) {
    pugi::xml_node element = formats.append_child("FORMAT");
    element.append_attribute("CODE").set_value(format.code.c_str());
    element.append_attribute("CURRENCY").set_value(format.currency.c_str());
    element.text().set(format.displayFormat.c_str());
  }
  return {Outcome::Answered, ""};
}

Result labelVariants(const Session& session, const CallRequest& request,
                     pugi::xml_node method) {
  std::string code;
  std::string language;
  pugi::xml_node out;
  if (auto error = stringInput(request, "LABELCODE", code)) return failed(request, *error);
  if (auto error = stringInput(request, "LANGUAGE", language)) return failed(request, *error);
  if (auto error = elementParameter(request, "callResult", false, out)) {
    return failed(request, *error);
  }
  const auto variants = session.labelVariants(code, language);
  if (!variants) {
    return notFound("Label code '" + code + "' not found for language '" + language + "'");
  }
  pugi::xml_node labels = method.append_child(out.name()).append_child("LABELS");
  for (const LabelVariant& variant : *variants) {
    pugi::xml_node element = labels.append_child("LABEL");
    element.append_attribute("ORIGNAME").set_value(code.c_str());
    if (variant.length) element.append_attribute("LENGTH").set_value(*variant.length);
    if (variant.height) element.append_attribute("HEIGHT").set_value(*variant.height);
    element.text().set(variant.text.c_str());
  }
  return {Outcome::Answered, ""};
}

Result messageText(const Session& session, const CallRequest& request, pugi::xml_node method) {
  std::string code;
  std::string language;
  pugi::xml_node out;
  if (auto error = stringInput(request, "MESSAGECODE", code)) return failed(request, *error);
  if (auto error = stringInput(request, "LANGUAGE", language)) return failed(request, *error);
  if (auto error = elementParameter(request, "callResult", false, out)) {
    return failed(request, *error);
  }
  const Message* message = session.message(code, language);
  if (!message) {
    return notFound("Message code '" + code + "' not found for language '" + language + "'");
  }
  appendText(method.append_child(out.name()), "MESSAGE", message->text);
  return {Outcome::Answered, ""};
}

Result reportText(const Session& session, const CallRequest& request, pugi::xml_node method) {
  pugi::xml_node callInfo;
  pugi::xml_node out;
  if (auto error = elementParameter(request, "CALLINFO", true, callInfo)) {
    return failed(request, *error);
  }
  if (auto error = elementParameter(request, "callResult", false, out)) {
    return failed(request, *error);
  }
  const pugi::xml_node textId = callInfo.child("TEXTID");
  if (!textId) return failed(request, "CALLINFO holds no <TEXTID>");
  const std::string numberText = textId.child_value();
  const std::optional<long long> number = Numbers::wide(numberText);
  if (!number) return failed(request, "the text number '" + numberText + "' is not a number");
  const std::string language = textId.attribute("LANG").value();
  const std::string company = textId.attribute("COMP").value();
  const ReportText* text = session.text(*number, language, company);
  if (!text) {
    return notFound("Text " + numberText + " not found for language '" + language +
                    "' and company '" + company + "'");
  }
  pugi::xml_node result = method.append_child(out.name());
  if (text->errorCode) {
    pugi::xml_node error = result.append_child("ERROR");
    error.append_attribute("CODE").set_value(text->errorCode->c_str());
    error.text().set(text->text.c_str());
  } else {
    appendText(result, "TEXT", text->text);
  }
  return {Outcome::Answered, ""};
}

}  // namespace

UtilityLibrary::Result UtilityLibrary::call(const Session& session, const CallRequest& request,
                                            pugi::xml_node methodElement) {
  struct Method {
    const char* name;
    Result (*run)(const Session&, const CallRequest&, pugi::xml_node);
  };
  static const Method methods[] = {
      {"GetCurrencyFormats", &currencyFormats},
      {"GetLabelVariants", &labelVariants},
      {"GetMessageText", &messageText},
      {"GetReportText", &reportText},
  };
  for (const Method& method : methods) {
    if (request.method() == method.name) return method.run(session, request, methodElement);
  }
  return {Outcome::Failed,
          "Method " + request.method() + " is not part of library " + std::string(name)};
}

}  // namespace erpsim
