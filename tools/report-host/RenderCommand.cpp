#include "RenderCommand.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

#include "ArgumentParser.h"
#include "DynamicLibrary.h"
#include "HostError.h"
#include "ReportRenderer.h"
#include "ReportTemplate.h"

namespace reporthost {

namespace {

// What one thread's renderings add up to.
struct Tally {
  long long renderings = 0;
  long long calls = 0;
  long long errors = 0;
  long long emptyResults = 0;
  double seconds = 0;  // time spent rendering
  std::string firstError;
};

std::string formatDuration(double seconds) {
  char text[64];
  if (seconds >= 1.0) {
    std::snprintf(text, sizeof text, "%.2f s", seconds);
  } else if (seconds >= 1e-3) {
    std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
  }
  return text;
}

int positiveCount(const std::string& option, const std::string& text) {
  const int value = ArgumentParser::parse<int>(text, option);
  if (value < 1) throw HostError(ExitCode::Usage, option + ": '" + text + "' is below 1");
  return value;
}

}  // namespace

RenderCommand::Options RenderCommand::parseOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw HostError(ExitCode::Usage, word + " needs a value");
      return arguments[++i];
    };
    if (word == "--threads") {
      options.threads = positiveCount(word, value());
    } else if (word == "--repeat") {
      options.repeat = positiveCount(word, value());
    } else if (word == "--quiet") {
      options.quiet = true;
    } else if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
      throw HostError(ExitCode::Usage, "render: unknown option " + word);
    } else if (options.templatePath.empty()) {
      options.templatePath = word;
    } else {
      options.dataFiles.push_back(word);
    }
  }
  if (options.templatePath.empty() || options.dataFiles.empty()) {
    throw HostError(ExitCode::Usage, "render needs a template and at least one data file");
  }
  return options;
}

int RenderCommand::run(const CommandLine& commandLine) {
  const Options options = parseOptions(commandLine.arguments());
  const ReportTemplate report = ReportTemplate::fromFile(options.templatePath);
  const std::string path = commandLine.libraryPath();
  std::unique_ptr<DynamicLibrary> library;
  try {
    library = std::make_unique<DynamicLibrary>(path);
  } catch (const std::runtime_error& error) {
    throw HostError(ExitCode::Load, std::string("cannot load library: ") + error.what());
  }
  const ReportRenderer renderer(report, *library);
  const int resultSize = commandLine.resultSize();

  std::string firstText;
  std::vector<Tally> tallies(static_cast<std::size_t>(options.threads));
  auto renderAll = [&](int thread) {
    Tally& tally = tallies[static_cast<std::size_t>(thread)];
    for (int i = 0; i < options.repeat; ++i) {
      const long long number = static_cast<long long>(thread) * options.repeat + i;
      const std::string& dataFile =
          options.dataFiles[static_cast<std::size_t>(number) % options.dataFiles.size()];
      const auto start = std::chrono::steady_clock::now();
      ReportRenderer::Rendering rendering = renderer.render(dataFile, resultSize);
      tally.seconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      ++tally.renderings;
      tally.calls += static_cast<long long>(rendering.calls.size());
      tally.errors += rendering.errors;
      tally.emptyResults += rendering.emptyResults;
      if (tally.firstError.empty()) {
        for (const ReportRenderer::Call& call : rendering.calls) {
          if (!call.error.empty()) {
            tally.firstError = call.error;
            break;
          }
        }
      }
      if (number == 0) firstText = std::move(rendering.text);
    }
  };
  const auto wallStart = std::chrono::steady_clock::now();
  {
    std::vector<std::thread> threads;
    for (int thread = 1; thread < options.threads; ++thread) {
      threads.emplace_back(renderAll, thread);
    }
    renderAll(0);
    for (std::thread& thread : threads) thread.join();
  }
  const double wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  library.reset();  // unloads the library, as the report server does at its end

  Tally total;
  for (const Tally& tally : tallies) {
    total.renderings += tally.renderings;
    total.calls += tally.calls;
    total.errors += tally.errors;
    total.emptyResults += tally.emptyResults;
    total.seconds += tally.seconds;
    if (total.firstError.empty()) total.firstError = tally.firstError;
  }
  if (!options.quiet &&
      (std::fwrite(firstText.data(), 1, firstText.size(), stdout) != firstText.size() ||
       std::fflush(stdout) != 0)) {
    throw std::runtime_error("cannot write the report to stdout");
  }
  const double perCall = total.calls > 0 ? total.seconds / static_cast<double>(total.calls) : 0;
  const double perRendering = total.seconds / static_cast<double>(total.renderings);
  std::fprintf(stderr,
               "render: %lld rendering%s (%d thread%s x %d), %lld calls, %lld errors, %lld empty "
               "results, %s in all, %s per call, %s per rendering\n",
               total.renderings, total.renderings == 1 ? "" : "s", options.threads,
               options.threads == 1 ? "" : "s", options.repeat, total.calls, total.errors,
               total.emptyResults, formatDuration(wallSeconds).c_str(),
               formatDuration(perCall).c_str(), formatDuration(perRendering).c_str());
  if (total.errors > 0) {
    std::fprintf(stderr, "render: first error: %s\n", total.firstError.c_str());
    return static_cast<int>(ExitCode::Contract);
  }
  return static_cast<int>(ExitCode::Success);
}

}  // namespace reporthost
