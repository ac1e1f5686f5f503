#include "CommandLine.h"

#include <fstream>

#include "ArgumentParser.h"
#include "DynamicLibrary.h"
#include "ExportTable.h"
#include "HostError.h"

namespace reporthost {

namespace {

#if defined(_WIN32)
constexpr const char* libraryFileName = "quilrun.dll";
#else
constexpr const char* libraryFileName = "libquilrun.so";
#endif

bool isReadableFile(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

CommandLine::CommandLine(int argc, const char* const* argv) {
  int index = 1;
  auto optionValue = [&](const std::string& option) {
    if (index + 1 >= argc) throw HostError(ExitCode::Usage, option + " needs a value");
    return std::string(argv[++index]);
  };
  for (; index < argc; ++index) {
    const std::string word = argv[index];
    if (word == "--help" || word == "-h") {
      helpRequested_ = true;
      return;
    }
    if (word == "--lib") {
      libraryPath_ = optionValue(word);
    } else if (word == "--size") {
      resultSize_ = ArgumentParser::parseSize(optionValue(word), "--size");
    } else if (!word.empty() && word[0] == '-') {
      throw HostError(ExitCode::Usage, "unknown option " + word);
    } else {
      break;
    }
  }
  if (index >= argc) throw HostError(ExitCode::Usage, "no command given");
  command_ = argv[index++];
  arguments_.assign(argv + index, argv + argc);
}

std::string CommandLine::libraryPath() const {
  if (!libraryPath_.empty()) return libraryPath_;
  const std::string folder = DynamicLibrary::executableFolder();
  if (folder.empty()) {
    throw HostError(ExitCode::Load,
                    "cannot find the report-host executable's folder; pass --lib PATH");
  }
  const std::string path = folder + DynamicLibrary::pathSeparator() + libraryFileName;
  if (!isReadableFile(path)) {
    throw HostError(ExitCode::Load, std::string("no ") + libraryFileName + " in " + folder +
                                        " beside report-host; pass --lib PATH");
  }
  return path;
}

std::string CommandLine::helpText(const std::string& commandList) {
  std::string text =
      "Usage: report-host [--lib PATH] [--size N] COMMAND ARG...\n"
      "       report-host --help\n"
      "\n"
      "Loads the Quilrun library the way the report server does and calls its\n"
      "exports.\n"
      "\n"
      "Options (before the command):\n"
      "  --lib PATH   the library to load; default: " +
      std::string(libraryFileName) +
      " beside report-host\n"
      "  --size N     the result buffer's size in bytes, 0 or more; default: " +
      std::to_string(defaultResultSize) +
      "\n"
      "  --help, -h   this text\n"
      "\n"
      "Commands:\n" +
      commandList +
      "\n"
      "call tt_NAME ARG...\n"
      "  Calls the export with a result buffer of --size bytes and prints the\n"
      "  result and a newline. The ARGs are the export's parameters from the\n"
      "  fourth on, in order: text as given; int, int64 and double as decimal\n"
      "  numbers passed by pointer. The argument " +
      std::string(ArgumentParser::nullArgument) +
      " passes a null pointer instead.\n"
      "\n"
      "render TEMPLATE DATAFILE... [--threads N] [--repeat M] [--quiet]\n"
      "  Renders the template for the data file and prints it; a summary line\n"
      "  (renderings, calls, errors, empty results, time per call) goes to\n"
      "  stderr. The template is text with fields such as\n"
      "    {{ tt_getLabel(\"tdsls.orno\", 18, 1) | 18 }}\n"
      "  calling an export with its arguments after the data file (the data\n"
      "  file itself is implied); arguments are \"texts\", numbers, null or\n"
      "  calls; \"| 18\" pads to 18 characters, \"| >18\" right-aligns, \"| trim\"\n"
      "  drops line breaks at the ends; {{# ...}} is a comment. --threads N renders on N threads at once, each --repeat M\n"
      "  times, taking the data files in turn; --quiet prints only the summary.\n"
      "\n"
      "check DATAFILE\n"
      "  Finds the library's files the way the library does for this executable\n"
      "  and prints one line per step with OK, WARN or FAIL: executable,\n"
      "  configuration, log level, log folder, data share, data file, session,\n"
      "  web-service URL and a properties request. Exit code 1 when one failed.\n"
      "\n"
      "Exports:\n";
  for (const ExportTable::Entry& entry : ExportTable::entries()) {
    text += std::string("  ") + entry.name + "  " + entry.describeParameters() + "\n";
  }
  text +=
      "\n"
      "Exit codes: 0 done; 1 other failure; 2 bad command line; 3 library not\n"
      "loadable or export missing; 4 the library broke the calling convention\n"
      "(non-zero return, result not NUL-terminated).\n";
  return text;
}

}  // namespace reporthost
