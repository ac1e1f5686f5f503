#include "CallOracle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "ExportTable.h"

namespace soak {

using reporthost::ReportRenderer;

namespace {

// The argument of the parameter called name, or "" when there is none.
std::string argumentOf(const std::string& function, const std::vector<std::string>& arguments,
                       const char* name) {
  const reporthost::ExportTable::Entry* entry = reporthost::ExportTable::find(function);
  if (entry == nullptr) return std::string();
  for (std::size_t i = 0; i < entry->parameters.size() && i < arguments.size(); ++i) {
    if (std::string(entry->parameters[i].name) == name) return arguments[i];
  }
  return std::string();
}

// "@null" is how ReportRenderer records a null pointer; the library reads it
// as "" for a text and as 0 for a number.
std::string textOf(const std::string& argument) {
  return argument == "@null" ? std::string() : argument;
}

// Whether call got the arguments of correct, the data file aside.
bool sameInputs(const ReportRenderer::Call& call, const ReportRenderer::Call& correct,
                bool takesDataFile) {
  const std::size_t first = takesDataFile ? 1 : 0;
  if (call.arguments.size() != correct.arguments.size() || call.arguments.size() < first) {
    return false;
  }
  return std::equal(call.arguments.begin() + static_cast<std::ptrdiff_t>(first),
                    call.arguments.end(),
                    correct.arguments.begin() + static_cast<std::ptrdiff_t>(first));
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

void CallOracle::Tally::add(const Tally& other) {
  renderings += other.renderings;
  calls += other.calls;
  mismatches += other.mismatches;
  broken += other.broken;
  if (fallbacks.size() < other.fallbacks.size()) fallbacks.resize(other.fallbacks.size());
  for (std::size_t i = 0; i < other.fallbacks.size(); ++i) fallbacks[i] += other.fallbacks[i];
  for (const std::string& text : other.shown) {
    if (shown.size() < kShownMismatches) shown.push_back(text);
  }
}

CallOracle::CallOracle(ReportRenderer::Rendering baseline) : baseline_(std::move(baseline)) {
  for (const ReportRenderer::Call& call : baseline_.calls) {
    if (!call.error.empty()) {
      throw std::invalid_argument("the rendering without faults broke a call: " + describe(call) +
                                  ": " + call.error);
    }
    const reporthost::ExportTable::Entry* entry = reporthost::ExportTable::find(call.function);
    if (entry == nullptr) {
      throw std::invalid_argument(std::string("unknown export ") + call.function);
    }
    Slot slot;
    slot.takesDataFile =
        !entry->parameters.empty() && std::string(entry->parameters[0].name) == "dataFile";
    const auto known = std::find(exports_.begin(), exports_.end(), call.function);
    slot.exportIndex = static_cast<std::size_t>(known - exports_.begin());
    if (known == exports_.end()) exports_.push_back(call.function);
    slots_.push_back(slot);
  }
}

int CallOracle::indistinguishableCalls() const {
  int count = 0;
  for (const ReportRenderer::Call& call : baseline_.calls) {
    if (call.result == fallback(call.function, call.arguments)) ++count;
  }
  return count;
}

CallOracle::Tally CallOracle::newTally() const {
  Tally tally;
  tally.fallbacks.assign(exports_.size(), 0);
  return tally;
}

void CallOracle::check(const ReportRenderer::Rendering& rendering, const std::string& dataFile,
                       long long number, Tally& tally) const {
  ++tally.renderings;
  tally.calls += static_cast<long long>(rendering.calls.size());
  auto mismatch = [&](const std::string& what) {
    ++tally.mismatches;
    if (tally.shown.size() < kShownMismatches) {
      tally.shown.push_back("rendering " + std::to_string(number) + " (" + dataFile + "): " + what);
    }
  };
  if (rendering.calls.size() != baseline_.calls.size()) {
    mismatch(std::to_string(rendering.calls.size()) + " calls instead of " +
             std::to_string(baseline_.calls.size()));
    return;
  }
  for (std::size_t i = 0; i < rendering.calls.size(); ++i) {
    const ReportRenderer::Call& call = rendering.calls[i];
    const ReportRenderer::Call& correct = baseline_.calls[i];
    const Slot& slot = slots_[i];
    // Built only for a mismatch: most calls are right.
    auto where = [&] { return "call " + std::to_string(i + 1) + " " + describe(call); };
    if (std::string(call.function) != correct.function) {
      mismatch(where() + ": made where the baseline called " + correct.function);
      continue;
    }
    if (!call.error.empty()) {
      ++tally.broken;
      mismatch(where() + ": " + call.error);
      continue;
    }
    const bool dataFileRight =
        !slot.takesDataFile || (!call.arguments.empty() && call.arguments[0] == dataFile);
    const bool asInBaseline = dataFileRight && sameInputs(call, correct, slot.takesDataFile);
    if (asInBaseline && call.result == correct.result) continue;
    const std::string expectedFallback = fallback(call.function, call.arguments);
    if (call.result == expectedFallback) {
      ++tally.fallbacks[slot.exportIndex];
      continue;
    }
    std::string what =
        where() + ": answered " + quoted(call.result) + ", fallback " + quoted(expectedFallback);
    if (asInBaseline) {
      what += ", correct " + quoted(correct.result);
    } else {
      what += " (the baseline called it with other arguments)";
    }
    mismatch(what);
  }
}

std::string CallOracle::fallback(const std::string& function,
                                 const std::vector<std::string>& arguments) {
  if (function == "tt_getLabel") return textOf(argumentOf(function, arguments, "labelCode"));
  if (function == "tt_getMessage") return textOf(argumentOf(function, arguments, "messageCode"));
  if (function == "tt_formatAmount") {
    const std::string amount = textOf(argumentOf(function, arguments, "amount"));
    char text[400];
    std::snprintf(text, sizeof text, "** %.2f **",
                  amount.empty() ? 0.0 : std::strtod(amount.c_str(), nullptr));
    return text;
  }
  if (function == "tt_formatCompany") {
    const std::string company = textOf(argumentOf(function, arguments, "company"));
    return std::to_string(company.empty() ? 0 : std::atoi(company.c_str()));
  }
  return std::string();
}

std::string CallOracle::describe(const ReportRenderer::Call& call) {
  std::string text = std::string(call.function) + "(";
  for (std::size_t i = 0; i < call.arguments.size(); ++i) {
    text += (i > 0 ? ", " : "") + quoted(call.arguments[i]);
  }
  return text + ")";
}

}  // namespace soak
