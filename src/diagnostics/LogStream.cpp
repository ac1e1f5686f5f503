#include "diagnostics/LogStream.h"

#include <cstdio>
#include <mutex>

#include "platform/Clock.h"
#include "platform/NoDestructor.h"
#include "platform/PathRules.h"
#include "platform/Platform.h"

namespace quilrun {

namespace {

enum class StreamState { Unchosen, File, StandardOutput, Closed };

struct StreamData {
  std::mutex mutex;
  StreamState state = StreamState::Unchosen;
  std::FILE* file = nullptr;
  std::string path;
  LogSink* sink = nullptr;
};

// Never destroyed: lines may still be written while static objects of the
// host or of the library are being destroyed.
StreamData& streamData() {
  static NoDestructor<StreamData> data;
  return data.get();
}

// Picks the log file and opens it. REQUIRES: data.mutex held.
void chooseStream(StreamData& data) {
  Platform& platform = Platform::current();
  const char separator = platform.pathSeparator();
  const std::string name = PathRules::logFileName(Clock::current().nowSeconds());
  const std::string folder = PathRules::logFolder(platform.executablePath(), separator);
  const std::string path =
      platform.isDirectory(folder) ? PathRules::join(folder, separator, name) : name;
  data.file = platform.openForAppend(path);
  if (data.file != nullptr) {
    data.state = StreamState::File;
    data.path = path;
  } else {
    data.state = StreamState::StandardOutput;
  }
}

}  // namespace

void LogStream::writeLine(const std::string& line) {
  StreamData& data = streamData();
  std::lock_guard<std::mutex> lock(data.mutex);
  if (data.sink != nullptr) {
    data.sink->writeLine(line);
    return;
  }
  if (data.state == StreamState::Unchosen) chooseStream(data);
  std::FILE* out = nullptr;
  if (data.state == StreamState::File) out = data.file;
  if (data.state == StreamState::StandardOutput) out = stdout;
  if (out == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

void LogStream::close() {
  StreamData& data = streamData();
  std::lock_guard<std::mutex> lock(data.mutex);
  if (data.file != nullptr) std::fclose(data.file);
  data.file = nullptr;
  data.state = StreamState::Closed;
  std::string().swap(data.path);
}

std::string LogStream::filePath() {
  StreamData& data = streamData();
  std::lock_guard<std::mutex> lock(data.mutex);
  return data.path;
}

LogSink* LogStream::redirect(LogSink* sink) {
  StreamData& data = streamData();
  std::lock_guard<std::mutex> lock(data.mutex);
  LogSink* previous = data.sink;
  data.sink = sink;
  return previous;
}

void LogStream::resetForTesting() {
  StreamData& data = streamData();
  std::lock_guard<std::mutex> lock(data.mutex);
  if (data.file != nullptr) std::fclose(data.file);
  data.file = nullptr;
  data.path.clear();
  data.state = StreamState::Unchosen;
}

}  // namespace quilrun
