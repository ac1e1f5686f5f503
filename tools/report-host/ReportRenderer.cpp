#include "ReportRenderer.h"

#include "ArgumentParser.h"
#include "CallCommand.h"
#include "HostError.h"

namespace reporthost {

namespace {

// Characters of a UTF-8 text: bytes that do not continue a sequence.
std::size_t characterCount(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

// The text without the line breaks at its ends.
std::string trimmed(const std::string& text) {
  const char* const lineBreaks = "\r\n";
  const std::size_t first = text.find_first_not_of(lineBreaks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(lineBreaks) - first + 1);
}

std::string padded(std::string text, std::size_t width, bool alignRight) {
  const std::size_t length = characterCount(text);
  if (length >= width) return text;
  const std::string blanks(width - length, ' ');
  return alignRight ? blanks + text : text + blanks;
}

}  // namespace

ReportRenderer::ReportRenderer(const ReportTemplate& report, const DynamicLibrary& library)
    : report_(report) {
  for (const std::string& name : report.calledExports()) {
    const DynamicLibrary::Function function = library.find(name.c_str());
    if (function == nullptr) throw HostError(ExitCode::Load, "the library does not export " + name);
    functions_[ExportTable::find(name)] = function;
  }
}

ReportRenderer::Rendering ReportRenderer::render(const std::string& dataFile,
                                                 int resultSize) const {
  Rendering rendering;
  for (const ReportTemplate::Segment& segment : report_.segments()) {
    if (!segment.isField) {
      rendering.text += segment.literal;
      continue;
    }
    std::string value = evaluate(segment.expression, dataFile, resultSize, rendering);
    if (segment.trim) value = trimmed(value);
    rendering.text += padded(std::move(value), segment.width, segment.alignRight);
  }
  return rendering;
}

std::string ReportRenderer::evaluate(const ReportTemplate::Expression& expression,
                                     const std::string& dataFile, int resultSize,
                                     Rendering& rendering) const {
  using Kind = ReportTemplate::Expression::Kind;
  switch (expression.kind) {
    case Kind::Text:
    case Kind::Number:
      return expression.text;
    case Kind::Null:
      return ArgumentParser::nullArgument;
    case Kind::Call:
      break;
  }
  Call call;
  call.function = expression.entry->name;
  if (expression.takesDataFile) call.arguments.push_back(dataFile);
  for (const ReportTemplate::Expression& argument : expression.arguments) {
    call.arguments.push_back(evaluate(argument, dataFile, resultSize, rendering));
  }
  try {
    const ExportTable::CallResult result = expression.entry->call(
        functions_.at(expression.entry), expression.entry->parameters, call.arguments, resultSize);
    call.result = CallCommand::resultText(call.function, result.buffer);
    if (result.returnValue != 0) {
      call.error = std::string(call.function) + " returned " +
                   std::to_string(result.returnValue) + " instead of 0";
    }
  } catch (const HostError& error) {
    call.error = error.what();
    call.result.clear();
  }
  if (!call.error.empty()) {
    ++rendering.errors;
  } else if (call.result.empty()) {
    ++rendering.emptyResults;
  }
  std::string result = call.result;
  rendering.calls.push_back(std::move(call));
  return result;
}

}  // namespace reporthost
