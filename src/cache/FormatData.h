#ifndef QUILRUN_CACHE_FORMATDATA_H
#define QUILRUN_CACHE_FORMATDATA_H

#include <string>

namespace quilrun {

// One currency display format: the format for a display-format code and a
// currency, and whether the server's decimal separator is ".".
class FormatData {
 public:
  const std::string& getCode() const { return code_; }
  void setCode(const char* code) { code_ = text(code); }
  const std::string& getCurrency() const { return currency_; }
  void setCurrency(const char* currency) { currency_ = text(currency); }
  bool getDecimalPoint() const { return decimalPoint_; }
  void setDecimalPoint(bool decimalPoint) { decimalPoint_ = decimalPoint; }
  const std::string& getDisplayFormat() const { return displayFormat_; }
  void setDisplayFormat(const char* displayFormat) { displayFormat_ = text(displayFormat); }

 private:
  static const char* text(const char* value) { return value != nullptr ? value : ""; }

  std::string code_;
  std::string currency_;
  bool decimalPoint_ = true;
  std::string displayFormat_;
};

}  // namespace quilrun

#endif
