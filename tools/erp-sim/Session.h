#ifndef QUILRUN_ERPSIM_SESSION_H
#define QUILRUN_ERPSIM_SESSION_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace erpsim {

// One variant of a label. Length and height are optional so that a fixture
// can leave them out of the reply, as a server may.
struct LabelVariant {
  std::optional<int> length;
  std::optional<int> height;
  std::string text;
};

// The variants of a label code in one language (any language when none is
// given). A label without variants is known but answers an empty list.
struct Label {
  std::string code;
  std::optional<std::string> language;
  std::vector<LabelVariant> variants;
};

// A report text. With an error code the server answers with an ERROR element
// holding the text instead of the text itself.
struct ReportText {
  long long number = 0;
  std::optional<std::string> language;
  std::optional<std::string> company;
  std::optional<std::string> errorCode;
  std::string text;
};

struct Message {
  std::string code;
  std::optional<std::string> language;
  std::string text;
};

struct CurrencyFormat {
  std::string code;
  std::string currency;
  std::string displayFormat;
};

struct SensitivityImage {
  int height = 0;
  int width = 0;
  std::string url;
};

struct ApplicationImage {
  std::string guid;
  std::string url;
};

struct EnumImage {
  std::string domain;
  int value = 0;
  std::string url;
};

struct AdditionalFile {
  std::string package;
  std::string module;
  std::string name;
  std::string url;
};

// A barcode URL; a missing value or parameters matches any, and the URL's
// "{value}" and "{parameters}" are replaced by the request's, percent-encoded.
struct Barcode {
  std::optional<std::string> value;
  std::optional<std::string> parameters;
  std::string url;
};

// What the ERP server holds for one session: the data files it serves and the
// values asked for with them. Filled once from the fixture file and read-only
// afterwards, so any number of request threads may read it.
// Every lookup compares strings exactly (bytes, letter case included) and
// returns the first entry that matches, in fixture order.
class Session {
 public:
  std::string id;
  std::vector<std::string> dataFiles;
  std::vector<std::pair<std::string, std::string>> properties;
  std::optional<std::string> companyLogo;
  std::vector<SensitivityImage> sensitivityImages;
  std::vector<ApplicationImage> applicationImages;
  std::vector<EnumImage> enumImages;
  std::vector<AdditionalFile> additionalFiles;
  std::vector<Barcode> barcodes;
  std::vector<Label> labels;
  std::vector<ReportText> texts;
  std::vector<Message> messages;
  std::vector<CurrencyFormat> currencyFormats;

  bool servesDataFile(const std::string& name) const;

  const std::string* sensitivityImage(int height, int width) const;
  const std::string* applicationImage(const std::string& guid) const;
  const std::string* enumImage(const std::string& domain, int value) const;
  const std::string* additionalFile(const std::string& package, const std::string& module,
                                    const std::string& name) const;
  std::optional<std::string> barcode(const std::string& value,
                                     const std::string& parameters) const;

  // All variants of code in language, from every matching label entry in
  // order; none when no entry matches.
  std::optional<std::vector<LabelVariant>> labelVariants(const std::string& code,
                                                         const std::string& language) const;
  const ReportText* text(long long number, const std::string& language,
                         const std::string& company) const;
  const Message* message(const std::string& code, const std::string& language) const;
};

}  // namespace erpsim

#endif
