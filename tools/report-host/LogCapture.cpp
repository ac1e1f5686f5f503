#include "LogCapture.h"

#include "diagnostics/LogRecord.h"

namespace reporthost {

namespace {

// A line reads "[time], [LEVEL  ], [function], [ line]: message\n".
LogCapture::Line parseLine(const std::string& text) {
  LogCapture::Line line;
  const std::size_t levelStart = text.find("], [");
  if (levelStart != std::string::npos) {
    const std::size_t start = levelStart + 4;
    const std::size_t end = text.find(']', start);
    if (end != std::string::npos) {
      line.level = text.substr(start, end - start);
      while (!line.level.empty() && line.level.back() == ' ') line.level.pop_back();
    }
  }
  const std::size_t messageStart = text.find("]: ");
  line.message = messageStart == std::string::npos ? text : text.substr(messageStart + 3);
  while (!line.message.empty() && (line.message.back() == '\n' || line.message.back() == '\r')) {
    line.message.pop_back();
  }
  return line;
}

}  // namespace

LogCapture::LogCapture()
    : previousSink_(quilrun::LogStream::redirect(this)),
      previousLevel_(quilrun::logLevel.exchange(5)) {}

LogCapture::~LogCapture() {
  quilrun::logLevel.store(previousLevel_);
  quilrun::LogStream::redirect(previousSink_);
}

void LogCapture::writeLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(parseLine(line));
}

std::vector<LogCapture::Line> LogCapture::take() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Line> lines;
  lines.swap(lines_);
  return lines;
}

std::string LogCapture::errors(const std::vector<Line>& lines) {
  std::string text;
  for (const Line& line : lines) {
    if (line.level != "ERROR" && line.level != "FATAL") continue;
    if (!text.empty()) text += "; ";
    text += line.message;
  }
  return text;
}

bool LogCapture::contains(const std::vector<Line>& lines, const std::string& text) {
  for (const Line& line : lines) {
    if (line.message.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace reporthost
