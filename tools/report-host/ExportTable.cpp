#include "ExportTable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>

#include "ArgumentParser.h"
#include "quilrun/quilrun.h"

namespace reporthost {

namespace {

// The reserved argument: never null and never read by the library. A library
// that did read it would crash on this address.
void* const reservedJunk = reinterpret_cast<void*>(std::uintptr_t{0x5EEDBEEF});

// Fills the buffer before the call so that a result the library forgot to
// terminate cannot pass as a string.
constexpr char bufferFill = static_cast<char>(0xA5);

// One command-line argument converted for a parameter of type T; value()
// gives what the export receives and stays valid while the Argument lives.
template <typename T>
class Argument;

template <>
class Argument<const char*> {
 public:
  static constexpr const char* type = "text";

  Argument(const std::string& text, const char* /*name*/)
      : isNull_(ArgumentParser::isNull(text)), text_(text) {}

  const char* value() const { return isNull_ ? nullptr : text_.c_str(); }

 private:
  bool isNull_;
  std::string text_;
};

template <typename Number>
class NumberArgument {
 public:
  NumberArgument(const std::string& text, const char* name)
      : isNull_(ArgumentParser::isNull(text)),
        number_(isNull_ ? Number{} : ArgumentParser::parse<Number>(text, name)) {}

  const Number* value() const { return isNull_ ? nullptr : &number_; }

 private:
  bool isNull_;
  Number number_;
};

template <>
class Argument<const int*> : public NumberArgument<int> {
 public:
  static constexpr const char* type = "int";
  using NumberArgument::NumberArgument;
};

template <>
class Argument<const long long*> : public NumberArgument<long long> {
 public:
  static constexpr const char* type = "int64";
  using NumberArgument::NumberArgument;
};

template <>
class Argument<const double*> : public NumberArgument<double> {
 public:
  static constexpr const char* type = "double";
  using NumberArgument::NumberArgument;
};

// How to call an export of the given pointer type: the common first three
// parameters, then Params, each converted by its Argument.
template <typename Pointer>
struct Signature;

template <typename... Params>
struct Signature<int(QUILRUN_CALL*)(char*, int, void*, Params...)> {
  using Function = int(QUILRUN_CALL*)(char*, int, void*, Params...);

  static constexpr std::size_t parameterCount = sizeof...(Params);

  static constexpr const char* types[] = {Argument<Params>::type..., nullptr};

  static ExportTable::CallResult call(DynamicLibrary::Function function,
                                      const std::vector<ExportTable::Parameter>& parameters,
                                      const std::vector<std::string>& arguments, int resultSize) {
    return callWith(reinterpret_cast<Function>(function), parameters, arguments, resultSize,
                    std::index_sequence_for<Params...>{});
  }

  template <std::size_t... Index>
  static ExportTable::CallResult callWith(Function function,
                                          const std::vector<ExportTable::Parameter>& parameters,
                                          const std::vector<std::string>& arguments,
                                          int resultSize, std::index_sequence<Index...>) {
    // Braces convert the arguments left to right, so the first bad one is
    // the one reported.
    const std::tuple<Argument<Params>...> converted{
        Argument<Params>(arguments.at(Index), parameters.at(Index).name)...};
    std::vector<char> buffer(static_cast<std::size_t>(resultSize), bufferFill);
    char* const result = buffer.empty() ? nullptr : buffer.data();
    const int returnValue =
        function(result, resultSize, reservedJunk, std::get<Index>(converted).value()...);
    return ExportTable::CallResult{returnValue, std::move(buffer)};
  }
};

// An entry for the export of type Pointer; names holds one name for each
// parameter from position 4 on, which the compiler checks.
template <typename Pointer, std::size_t NameCount>
ExportTable::Entry entry(const char* name, const char* const (&names)[NameCount]) {
  using Calls = Signature<Pointer>;
  static_assert(NameCount == Calls::parameterCount, "one name per parameter after reserved");
  ExportTable::Entry result{name, {}, &Calls::call};
  for (std::size_t i = 0; i < NameCount; ++i) {
    result.parameters.push_back({names[i], Calls::types[i]});
  }
  return result;
}

// The export's name is written once so that it and its prototype cannot
// drift apart.
#define REPORTHOST_EXPORT(function, ...) entry<decltype(&::function)>(#function, {__VA_ARGS__})

}  // namespace

const std::vector<ExportTable::Entry>& ExportTable::entries() {
  static const std::vector<Entry> table = {
      REPORTHOST_EXPORT(tt_getCompanyLogo, "dataFile"),
      REPORTHOST_EXPORT(tt_getSensitivityImage, "dataFile", "height", "width"),
      REPORTHOST_EXPORT(tt_getApplicationImage, "dataFile", "applicationGuid"),
      REPORTHOST_EXPORT(tt_getEnumImage, "dataFile", "enumDomain", "enumValue"),
      REPORTHOST_EXPORT(tt_getAdditionalFile, "dataFile", "package", "module", "fileName"),
      REPORTHOST_EXPORT(tt_getBarcodeImage, "dataFile", "barcodeValue", "barcodeParameters"),
      REPORTHOST_EXPORT(tt_getText, "dataFile", "textNumber"),
      REPORTHOST_EXPORT(tt_getTextFromCache, "dataFile", "textNumber"),
      REPORTHOST_EXPORT(tt_getLabel, "dataFile", "labelCode", "length", "height"),
      REPORTHOST_EXPORT(tt_getMessage, "dataFile", "messageCode"),
      REPORTHOST_EXPORT(tt_formatAmount, "dataFile", "formatCode", "currency", "amount"),
      REPORTHOST_EXPORT(tt_formatCompany, "dataFile", "company"),
      REPORTHOST_EXPORT(tt_getProperty, "dataFile", "propertyName"),
      REPORTHOST_EXPORT(tt_filterTextLinewise, "text", "pattern", "format"),
      REPORTHOST_EXPORT(tt_filterTextBlockwise, "text", "keepBlockStart", "keepBlockEnd",
                        "dropBlockStart", "dropBlockEnd", "keepOutside"),
  };
  return table;
}

#undef REPORTHOST_EXPORT

const ExportTable::Entry* ExportTable::find(const std::string& name) {
  for (const Entry& candidate : entries()) {
    if (name == candidate.name) return &candidate;
  }
  return nullptr;
}

std::string ExportTable::Entry::describeParameters() const {
  std::string text;
  for (const Parameter& parameter : parameters) {
    if (!text.empty()) text += ", ";
    text += std::string(parameter.name) + " (" + parameter.type + ")";
  }
  return text;
}

}  // namespace reporthost
