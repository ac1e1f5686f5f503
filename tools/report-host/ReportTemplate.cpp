#include "ReportTemplate.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "ArgumentParser.h"
#include "HostError.h"

namespace reporthost {

namespace {

constexpr const char* kOpen = "{{";
constexpr const char* kClose = "}}";

bool isNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool isNumberCharacter(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '+' || c == '.' ||
         c == 'e' || c == 'E';
}

// Reads the template's text left to right, keeping the line and column of
// the read position for messages.
class Parser {
 public:
  Parser(const std::string& text, const std::string& name) : text_(text), name_(name) {}

  std::vector<ReportTemplate::Segment> parse() {
    std::vector<ReportTemplate::Segment> segments;
    std::string literal;
    while (position_ < text_.size()) {
      if (text_.compare(position_, 2, kOpen) != 0) {
        literal += text_[position_];
        advance(1);
        continue;
      }
      if (!literal.empty()) {
        ReportTemplate::Segment segment;
        segment.literal = std::move(literal);
        segments.push_back(std::move(segment));
        literal.clear();
      }
      const int line = line_;
      advance(2);
      if (peek() == '#') {
        skipComment();
        continue;
      }
      ReportTemplate::Segment field = parseField();
      field.line = line;
      segments.push_back(std::move(field));
    }
    if (!literal.empty()) {
      ReportTemplate::Segment segment;
      segment.literal = std::move(literal);
      segments.push_back(std::move(segment));
    }
    return segments;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw HostError(ExitCode::Usage, name_ + ":" + std::to_string(line_) + ":" +
                                         std::to_string(column_) + ": " + what);
  }

  char peek() const { return position_ < text_.size() ? text_[position_] : '\0'; }
  bool atEnd() const { return position_ >= text_.size(); }

  void advance(std::size_t count) {
    for (std::size_t i = 0; i < count && position_ < text_.size(); ++i) {
      if (text_[position_] == '\n') {
        ++line_;
        column_ = 1;
      } else {
        ++column_;
      }
      ++position_;
    }
  }

  void skipBlanks() {
    while (!atEnd() && std::isspace(static_cast<unsigned char>(peek())) != 0) advance(1);
  }

  void expect(char c, const char* what) {
    skipBlanks();
    if (peek() != c) fail(std::string("expected ") + what);
    advance(1);
  }

  void skipComment() {
    const std::size_t end = text_.find(kClose, position_);
    if (end == std::string::npos) fail("comment without its closing }}");
    advance(end + 2 - position_);
    if (peek() == '\n') advance(1);
  }

  ReportTemplate::Segment parseField() {
    ReportTemplate::Segment segment;
    segment.isField = true;
    segment.expression = parseExpression();
    skipBlanks();
    if (peek() == '|') {
      advance(1);
      skipBlanks();
      if (text_.compare(position_, 4, "trim") == 0) {
        segment.trim = true;
        advance(4);
        skipBlanks();
      }
      const bool aligned = peek() == '<' || peek() == '>';
      if (aligned) {
        segment.alignRight = peek() == '>';
        advance(1);
      }
      std::string digits;
      while (std::isdigit(static_cast<unsigned char>(peek())) != 0) {
        digits += peek();
        advance(1);
      }
      if ((aligned || !segment.trim) && (digits.empty() || digits.size() > 4)) {
        fail("expected trim or a width of 1 to 4 digits after |");
      }
      if (!digits.empty()) segment.width = static_cast<std::size_t>(std::stoi(digits));
    }
    skipBlanks();
    if (text_.compare(position_, 2, kClose) != 0) fail("expected }} to end the field");
    advance(2);
    return segment;
  }

  ReportTemplate::Expression parseExpression() {
    skipBlanks();
    ReportTemplate::Expression expression;
    const char c = peek();
    if (c == '"') {
      expression.kind = ReportTemplate::Expression::Kind::Text;
      expression.text = parseString();
    } else if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '+' ||
               c == '.') {
      expression.kind = ReportTemplate::Expression::Kind::Number;
      while (isNumberCharacter(peek())) {
        expression.text += peek();
        advance(1);
      }
    } else if (isNameCharacter(c)) {
      std::string name;
      while (isNameCharacter(peek())) {
        name += peek();
        advance(1);
      }
      if (name == "null") {
        expression.kind = ReportTemplate::Expression::Kind::Null;
      } else {
        parseCall(name, expression);
      }
    } else {
      fail(atEnd() ? "the template ends inside a field" : "expected a call, a text or a number");
    }
    return expression;
  }

  std::string parseString() {
    advance(1);
    std::string value;
    while (true) {
      if (atEnd()) fail("text without its closing \"");
      const char c = peek();
      advance(1);
      if (c == '"') return value;
      if (c != '\\') {
        value += c;
        continue;
      }
      const char escaped = peek();
      switch (escaped) {
        case '"':
        case '\\':
          value += escaped;
          break;
        case 'n':
          value += '\n';
          break;
        case 't':
          value += '\t';
          break;
        default:
          fail("unknown escape \\" + std::string(1, escaped) + " (use \\\" \\\\ \\n or \\t)");
      }
      advance(1);
    }
  }

  void parseCall(const std::string& name, ReportTemplate::Expression& expression) {
    expression.kind = ReportTemplate::Expression::Kind::Call;
    expression.entry = ExportTable::find(name);
    if (expression.entry == nullptr) fail("unknown function '" + name + "'");
    const std::vector<ExportTable::Parameter>& parameters = expression.entry->parameters;
    expression.takesDataFile =
        !parameters.empty() && std::string(parameters.front().name) == "dataFile";
    expect('(', "( after the function name");
    skipBlanks();
    if (peek() != ')') {
      while (true) {
        expression.arguments.push_back(parseExpression());
        skipBlanks();
        if (peek() != ',') break;
        advance(1);
      }
    }
    expect(')', ", or ) in the argument list");

    const std::size_t first = expression.takesDataFile ? 1 : 0;
    const std::size_t wanted = parameters.size() - first;
    if (expression.arguments.size() != wanted) {
      std::string names;
      for (std::size_t i = first; i < parameters.size(); ++i) {
        if (!names.empty()) names += ", ";
        names += std::string(parameters[i].name) + " (" + parameters[i].type + ")";
      }
      fail(name + " takes " + std::to_string(wanted) + " arguments" +
           (names.empty() ? std::string() : ": " + names) + "; got " +
           std::to_string(expression.arguments.size()));
    }
    for (std::size_t i = 0; i < expression.arguments.size(); ++i) {
      checkLiteral(expression.arguments[i], parameters[first + i], name);
    }
  }

  // A number literal must fit its parameter's type; a text literal is taken
  // for text parameters only, so a quoted number cannot hide a typo.
  void checkLiteral(const ReportTemplate::Expression& argument,
                    const ExportTable::Parameter& parameter, const std::string& function) {
    const std::string type = parameter.type;
    const std::string what = function + " argument " + parameter.name;
    using Kind = ReportTemplate::Expression::Kind;
    if (type == "text") return;
    if (argument.kind == Kind::Text) fail(what + " is a number (" + type + "), not a text");
    if (argument.kind != Kind::Number) return;
    try {
      if (type == "int") {
        ArgumentParser::parse<int>(argument.text, what);
      } else if (type == "int64") {
        ArgumentParser::parse<long long>(argument.text, what);
      } else {
        ArgumentParser::parse<double>(argument.text, what);
      }
    } catch (const HostError& error) {
      fail(error.what());
    }
  }

  const std::string& text_;
  const std::string& name_;
  std::size_t position_ = 0;
  int line_ = 1;
  int column_ = 1;
};

void collectExports(const ReportTemplate::Expression& expression,
                    std::vector<std::string>& names) {
  if (expression.kind != ReportTemplate::Expression::Kind::Call) return;
  if (std::find(names.begin(), names.end(), expression.entry->name) == names.end()) {
    names.push_back(expression.entry->name);
  }
  for (const ReportTemplate::Expression& argument : expression.arguments) {
    collectExports(argument, names);
  }
}

}  // namespace

ReportTemplate::ReportTemplate(const std::string& text, const std::string& name)
    : segments_(Parser(text, name).parse()) {}

ReportTemplate ReportTemplate::fromFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (!file) throw HostError(ExitCode::Usage, "cannot read the template " + path);
  // An empty file leaves text empty (and its failbit set, which is harmless).
  text << file.rdbuf();
  return ReportTemplate(text.str(), path);
}

std::vector<std::string> ReportTemplate::calledExports() const {
  std::vector<std::string> names;
  for (const Segment& segment : segments_) {
    if (segment.isField) collectExports(segment.expression, names);
  }
  return names;
}

}  // namespace reporthost
