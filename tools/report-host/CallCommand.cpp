#include "CallCommand.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "DynamicLibrary.h"
#include "HostError.h"

namespace reporthost {

namespace {

// The export called name, with exactly as many arguments as it takes.
const ExportTable::Entry& findExport(const std::string& name,
                                     const std::vector<std::string>& arguments) {
  const ExportTable::Entry* const entry = ExportTable::find(name);
  if (entry == nullptr) {
    throw HostError(ExitCode::Usage, "unknown function '" + name + "'; see report-host --help");
  }
  if (arguments.size() != entry->parameters.size()) {
    throw HostError(ExitCode::Usage, name + " takes " +
                                         std::to_string(entry->parameters.size()) +
                                         " arguments: " + entry->describeParameters() +
                                         "; got " + std::to_string(arguments.size()));
  }
  return *entry;
}

}  // namespace

int CallCommand::run(const CommandLine& commandLine) {
  const std::vector<std::string>& words = commandLine.arguments();
  if (words.empty()) throw HostError(ExitCode::Usage, "call needs a function name");
  const std::string& name = words.front();
  const std::vector<std::string> arguments(words.begin() + 1, words.end());
  const ExportTable::Entry& entry = findExport(name, arguments);

  const std::string path = commandLine.libraryPath();
  std::string text;
  {
    // The library is unloaded before the output is written, as the report
    // server may unload it between calls.
    std::unique_ptr<DynamicLibrary> library;
    try {
      library = std::make_unique<DynamicLibrary>(path);
    } catch (const std::runtime_error& error) {
      throw HostError(ExitCode::Load, std::string("cannot load library: ") + error.what());
    }
    const DynamicLibrary::Function function = library->find(entry.name);
    if (function == nullptr) {
      throw HostError(ExitCode::Load, path + " does not export " + name);
    }
    const ExportTable::CallResult result =
        entry.call(function, entry.parameters, arguments, commandLine.resultSize());
    if (result.returnValue != 0) {
      throw HostError(ExitCode::Contract,
                      name + " returned " + std::to_string(result.returnValue) + " instead of 0");
    }
    text = resultText(name, result.buffer);
  }
  text += '\n';
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    throw std::runtime_error("cannot write the result to stdout");
  }
  return static_cast<int>(ExitCode::Success);
}

std::string CallCommand::resultText(const std::string& exportName,
                                    const std::vector<char>& buffer) {
  if (buffer.empty()) return std::string();
  const void* const end = std::memchr(buffer.data(), '\0', buffer.size());
  if (end == nullptr) {
    throw HostError(ExitCode::Contract, exportName + " left the result buffer of " +
                                            std::to_string(buffer.size()) +
                                            " bytes without a terminating NUL");
  }
  return std::string(buffer.data(), static_cast<const char*>(end));
}

}  // namespace reporthost
