#ifndef QUILRUN_REPORTHOST_REPORTTEMPLATE_H
#define QUILRUN_REPORTHOST_REPORTTEMPLATE_H

#include <string>
#include <vector>

#include "ExportTable.h"

namespace reporthost {

// A report template: literal text with report expressions between "{{" and
// "}}", each rendered by calling the library's exports the way the report
// server evaluates a report field:
//
//   {{ tt_getLabel("tdsls.orno", 18, 1) | 18 }}  {{ tt_getProperty("UserName") }}
//
// Inside the braces one expression, optionally followed by "|" and a layout:
//   expression := NAME "(" [expression {"," expression}] ")"   call an export
//               | "text"    a text; \" \\ \n and \t stand for themselves
//               | number    such as 12, -3 or 1234.5
//               | null      a null pointer
//   layout     := ["trim"] [["<" | ">"] digits]
//                 trim drops the line breaks at the result's ends (a
//                 filtered text ends in one); digits pads the
//                 field with blanks to at least that many characters,
//                 left-aligned ("<", the default) or right-aligned (">")
// The data file is never written: an export whose first parameter is the
// data file receives the one the report is rendered for, so the arguments
// are those after it. A call's result can be another call's argument (for
// example a report text filtered by a pattern). "{{# ... }}" is a comment;
// the line break right after a comment is dropped with it. To write "{{"
// literally, write {{ "{{" }}.
// Thread-safety: immutable after construction.
class ReportTemplate {
 public:
  // One expression of a field.
  struct Expression {
    enum class Kind { Text, Number, Null, Call };
    Kind kind = Kind::Text;
    // Text: the unescaped text. Number: the number as written.
    std::string text;
    // Call: the export, whether its data file is implied, and the written
    // arguments (those after the data file).
    const ExportTable::Entry* entry = nullptr;
    bool takesDataFile = false;
    std::vector<Expression> arguments;
  };

  // A piece of the template: literal text, or a field to render.
  struct Segment {
    bool isField = false;
    std::string literal;
    Expression expression;
    bool trim = false;
    std::size_t width = 0;
    bool alignRight = false;
    int line = 0;  // where the field starts, for messages
  };

  // Parses text; name is used in messages. Throws a usage HostError
  // "NAME:LINE:COLUMN: what is wrong" for a malformed template, an unknown
  // export, a wrong argument count or a number literal that the parameter's
  // type cannot hold.
  ReportTemplate(const std::string& text, const std::string& name);

  // Reads and parses the file at path. Throws a usage HostError when it
  // cannot be read.
  static ReportTemplate fromFile(const std::string& path);

  const std::vector<Segment>& segments() const { return segments_; }

  // The names of all exports the template calls, each once.
  std::vector<std::string> calledExports() const;

 private:
  std::vector<Segment> segments_;
};

}  // namespace reporthost

#endif
