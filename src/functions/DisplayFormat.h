#ifndef QUILRUN_FUNCTIONS_DISPLAYFORMAT_H
#define QUILRUN_FUNCTIONS_DISPLAYFORMAT_H

#include <string>

namespace quilrun {

// Renders amounts through the ERP's display formats, without any cache or
// server. A display format gives one output position per character, except a
// leading "*" (blank fill becomes "*") and "V" (the implied decimal point):
//   9        a digit, 0 when the amount has none left for it
//   Z        a digit; when none is left the sign (once), then the fill
//   + - ( )  like Z; "+" shows "+" for a non-negative amount, "(" or ")"
//            shows a negative amount in parentheses, a last "+" or "-" is a
//            trailing sign
//   D T      the decimal and the thousands separator
//   . ,      the thousands separator before "V", the decimal separator after
//   C        the company mask ("999" or "9999"), substituted first
// Anything else is copied. An amount that does not fit, or a negative amount
// with no room for its sign, renders as a row of "!" as long as the output.
// Thread-safety: all operations are pure and may run on several threads.
class DisplayFormat {
 public:
  // The outcome of rendering into a string.
  struct Rendering {
    std::string text;        // the output, or the failure marks
    bool formatted = false;  // false when text holds failure marks
  };

  // The outcome of formatAmount.
  struct Outcome {
    bool success = false;  // false: result holds failure marks
    std::string format;    // the format as rendered, for the log
  };

  // The mask that "C" stands for: "9999" for a company number of 4
  // characters, else "999" (3 characters, but also any other length and a
  // missing, empty number: it is the mask the decimals are counted with).
  static std::string companyMask(const std::string& companyNumber);

  // The number of decimals the format's digit positions ask for, with
  // companyMask substituted for "C". When the format contains no "C", its
  // trailing white space is removed from format itself, since the amount is
  // then rendered with the shortened format; a format with "C" is left as it
  // is (only the substituted copy is shortened) and renders with its trailing
  // white space.
  static int countDecimals(std::string& format, const std::string& companyMask);

  // amount printed with "%.*f" and decimals (clamped to 0..1100) into a
  // working buffer of 1000 bytes: at most 999 characters, only decimal digits
  // are ever cut. "nan" and "inf" come out as printf writes them.
  static std::string printAmount(double amount, int decimals);

  // Renders a printed amount (blanks, sign, digits and one "." or ",")
  // through format. Any other character in the amount, as in "nan" or
  // "inf", gives the single mark "!". A printed amount that shows no digit
  // other than 0 (such as "-0.00") counts as non-negative.
  static Rendering render(const std::string& printedAmount, const std::string& format,
                          const std::string& companyMask, char decimalSeparator,
                          char thousandsSeparator);

  // The same into a caller's buffer of resultSize bytes. Returns true iff
  // the amount was formatted and the whole output fits; an output longer
  // than resultSize - 1 bytes is a failure, written as "!" marks cut to the
  // buffer, because a cut amount would read as a different number.
  static bool render(const std::string& printedAmount, const std::string& format,
                     const std::string& companyMask, char decimalSeparator,
                     char thousandsSeparator, char* result, int resultSize);

  // Formats amount through format into result: "." and "," as decimal and
  // thousands separators when decimalPoint, else "," and "."; the decimals
  // counted with the mask "999"; the rendering with the mask of
  // companyNumber. The outcome names the format as rendered: without
  // trailing white space unless it contains "C" (see countDecimals).
  static Outcome formatAmount(double amount, const std::string& format,
                              const std::string& companyNumber, bool decimalPoint, char* result,
                              int resultSize);

  // amount written with "** %.2f **": the answer when there is no display
  // format at all.
  static std::string fallback(double amount);
};

}  // namespace quilrun

#endif
