#include "functions/DisplayFormat.h"

#include <charconv>
#include <system_error>

#include <climits>
#include <cstddef>
#include <cstdio>

#include "host/ResultBuffer.h"

namespace quilrun {

namespace {

// The working buffer the amount is printed into.
const int kPrintedAmountSize = 1000;

// A double has at most 1074 decimals; with more printf only pads zeros, so
// clamping the precision here changes no character, only the work.
const int kMaxPrintedDecimals = 1100;

// White space as the C locale knows it; bytes above 0x7F are never blank.
bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSign(char c) { return c == '+' || c == '-'; }

// format with mask in place of every "C".
std::string substituteCompany(const std::string& format, const std::string& mask) {
  if (format.find('C') == std::string::npos) return format;
  std::string substituted;
  substituted.reserve(format.size() + mask.size());
  for (char c : format) {
    if (c == 'C') {
      substituted += mask;
    } else {
      substituted += c;
    }
  }
  return substituted;
}

void trimTrailingWhiteSpace(std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && isWhiteSpace(text[end - 1])) --end;
  text.resize(end);
}

// A printed amount after cleaning: its digits on either side of the point
// and whether it was negative.
struct CleanAmount {
  std::string integerDigits;
  std::string decimalDigits;  // trailing zeros dropped
  bool negative = false;
  bool valid = true;  // false: a character that belongs to no number
};

// Drops leading blanks and zeros and every "-" (which makes the amount
// negative); a blank after the first kept character ends the amount. The
// rest splits at its first "." or "," and must be digits.
CleanAmount cleanAmount(const std::string& printedAmount) {
  CleanAmount amount;
  std::string kept;
  for (char c : printedAmount) {
    if (c == '-') {
      amount.negative = true;
      continue;
    }
    if (kept.empty()) {
      if (c == ' ' || c == '0') continue;
    } else if (c == ' ') {
      break;
    }
    kept += c;
  }
  const std::size_t point = kept.find_first_of(".,");
  amount.integerDigits = kept.substr(0, point);
  if (point != std::string::npos) amount.decimalDigits = kept.substr(point + 1);
  // A second point is no number either: its digits would land in the
  // output as if they were decimals.
  for (char c : amount.integerDigits) amount.valid = amount.valid && isDigit(c);
  for (char c : amount.decimalDigits) amount.valid = amount.valid && isDigit(c);
  std::size_t end = amount.decimalDigits.size();
  while (end > 0 && amount.decimalDigits[end - 1] == '0') --end;
  amount.decimalDigits.resize(end);
  return amount;
}

// A format cut at its split point: the integer part is filled from the
// right with the integer digits, the tail from the left with the decimals.
struct SplitFormat {
  std::string integerPart;
  std::string tail;
  char fill = ' ';
  bool parentheses = false;   // "(" or ")" before the split point
  bool plus = false;          // a "+" before the split point or in the tail
  bool trailingSign = false;  // the format ends in "+" or "-"
  std::size_t integerNines = 0;
  std::size_t tailNines = 0;
  std::size_t tailPositions = 0;  // digit positions of the tail
};

// The split point is the first ")", the first "+" or "-" after a "9" or
// "Z", the first "V" (which belongs to neither part), or the end.
SplitFormat splitFormat(const std::string& format) {
  SplitFormat split;
  std::size_t start = 0;
  if (!format.empty() && format[0] == '*') {
    split.fill = '*';
    start = 1;
  }
  std::size_t integerEnd = format.size();
  std::size_t tailStart = format.size();
  bool digitSeen = false;
  for (std::size_t i = start; i < format.size(); ++i) {
    const char c = format[i];
    bool splitHere = false;
    if (c == '(') {
      split.parentheses = true;
    } else if (c == ')') {
      split.parentheses = true;
      splitHere = true;
    } else if (c == '+') {
      split.plus = true;
      splitHere = digitSeen;
    } else if (c == '-') {
      splitHere = digitSeen;
    } else if (c == 'V') {
      integerEnd = i;
      tailStart = i + 1;
      break;
    } else if (c == '9' || c == 'Z') {
      digitSeen = true;
    }
    if (splitHere) {
      integerEnd = i;
      tailStart = i;
      break;
    }
  }
  split.integerPart = format.substr(start, integerEnd - start);
  split.tail = format.substr(tailStart);
  for (char c : split.integerPart) {
    if (c == '9') ++split.integerNines;
  }
  std::size_t others = 0;
  for (char c : split.tail) {
    if (c == '9') {
      ++split.tailNines;
    } else if (c == '+' || c == '-' || c == 'Z') {
      ++others;
      if (c == '+') split.plus = true;
    }
  }
  split.trailingSign = !format.empty() && isSign(format.back());
  // The trailing sign is the tail's last character and holds no digit.
  if (split.trailingSign && !split.tail.empty()) --others;
  split.tailPositions = split.tailNines + others;
  return split;
}

bool allZeros(const std::string& digits) {
  for (char c : digits) {
    if (c != '0') return false;
  }
  return true;
}

// Fills the tail from the left with the decimal digits. sign is the sign
// the tail starts with; on return it holds what is left of it.
std::string fillTail(const SplitFormat& split, const std::string& decimals, char& sign,
                     char decimalSeparator, char thousandsSeparator) {
  std::string output;
  output.reserve(split.tail.size());
  std::size_t next = 0;
  std::size_t ninesLeft = split.tailNines;
  // The sign goes here; the position gets it and later ones the fill.
  auto takeSign = [&]() {
    output += sign;
    sign = split.fill;
  };
  for (char c : split.tail) {
    if (sign == ' ' && split.fill == '*') sign = '*';
    const bool digitsLeft = next < decimals.size();
    switch (c) {
      case '9':
        output += digitsLeft ? decimals[next++] : '0';
        --ninesLeft;
        break;
      case '(':
      case ')':
      case '+':
      case '-':
      case 'Z':
        if (digitsLeft) {
          output += decimals[next++];
        } else if (c == 'Z' && !split.trailingSign && isSign(sign)) {
          // A leading sign is kept for the integer part.
          output += split.fill;
        } else {
          takeSign();
        }
        break;
      case 'D':
      case 'T':
        if (digitsLeft || ninesLeft > 0) {
          output += c == 'D' ? decimalSeparator : thousandsSeparator;
        } else if (split.trailingSign) {
          takeSign();
        } else {
          output += split.fill;
        }
        break;
      case '.':
      case ',':
        if (digitsLeft || ninesLeft > 0) {
          output += decimalSeparator;
        } else if (!split.trailingSign && sign == '-') {
          output += split.fill;
        } else {
          takeSign();
        }
        break;
      default:
        output += c;
        break;
    }
  }
  return output;
}

// Fills the integer part from the right with the integer digits. On return
// digitsLeft counts the digits that found no position.
std::string fillIntegerPart(const SplitFormat& split, const std::string& digits, char sign,
                            char decimalSeparator, char thousandsSeparator,
                            std::size_t& digitsLeft) {
  std::string output(split.integerPart.size(), ' ');
  digitsLeft = digits.size();
  std::size_t ninesLeft = split.integerNines;
  for (std::size_t k = split.integerPart.size(); k-- > 0;) {
    const char c = split.integerPart[k];
    if (sign == ' ' && split.fill == '*') sign = '*';
    switch (c) {
      case '9':
        output[k] = digitsLeft > 0 ? digits[--digitsLeft] : '0';
        --ninesLeft;
        break;
      case '(':
      case ')':
      case '+':
      case '-':
      case 'Z':
        if (digitsLeft > 0) {
          output[k] = digits[--digitsLeft];
        } else {
          output[k] = sign;
          sign = split.fill;
        }
        break;
      case 'D':
      case 'T':
      case '.':
      case ',':
        if (digitsLeft > 0 || ninesLeft > 0) {
          output[k] = c == 'D' ? decimalSeparator : thousandsSeparator;
        } else {
          output[k] = sign;
          sign = split.fill;
        }
        break;
      default:
        output[k] = c;
        break;
    }
  }
  return output;
}

}  // namespace

std::string DisplayFormat::companyMask(const std::string& companyNumber) {
  return companyNumber.size() == 4 ? "9999" : "999";
}

int DisplayFormat::countDecimals(std::string& format, const std::string& companyMask) {
  const bool hasCompany = format.find('C') != std::string::npos;
  std::string counted = substituteCompany(format, companyMask);
  trimTrailingWhiteSpace(counted);
  // Only decimals are returned: the leading-sign rule adjusts the integer
  // positions alone and so changes nothing here.
  std::size_t decimals = 0;
  bool pointSeen = false;
  for (char c : counted) {
    if (c == 'V') {
      pointSeen = true;
    } else if (pointSeen && (isSign(c) || c == '9' || c == 'Z')) {
      ++decimals;
    }
  }
  // A trailing sign after "V" was counted as a decimal but holds none.
  if (pointSeen && !counted.empty() && isSign(counted.back())) --decimals;
  if (!hasCompany) format = counted;
  return decimals > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(decimals);
}

std::string DisplayFormat::printAmount(double amount, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > kMaxPrintedDecimals) decimals = kMaxPrintedDecimals;
  char printed[kPrintedAmountSize];
  // to_chars writes the digits "%.*f" would, several times faster; only an
  // amount too long for the buffer takes snprintf, which cuts it there.
  const std::to_chars_result fast = std::to_chars(printed, printed + sizeof printed - 1, amount,
                                                  std::chars_format::fixed, decimals);
  if (fast.ec == std::errc()) return std::string(printed, fast.ptr);
  const int length = std::snprintf(printed, sizeof printed, "%.*f", decimals, amount);
  if (length < 0) return std::string();
  return std::string(printed);
}

DisplayFormat::Rendering DisplayFormat::render(const std::string& printedAmount,
                                               const std::string& format,
                                               const std::string& companyMask,
                                               char decimalSeparator, char thousandsSeparator) {
  Rendering rendering;
  const SplitFormat split = splitFormat(substituteCompany(format, companyMask));
  CleanAmount amount = cleanAmount(printedAmount);
  if (!amount.valid) {
    rendering.text = "!";
    return rendering;
  }
  std::string& decimals = amount.decimalDigits;
  if (decimals.size() > split.tailPositions) decimals.resize(split.tailPositions);
  // "-0.00" and the like: a zero shows no sign.
  if (amount.integerDigits.empty() && allZeros(decimals)) amount.negative = false;
  char sign = amount.negative ? '-' : (split.plus ? '+' : ' ');
  const bool inParentheses = amount.negative && split.parentheses;
  if (inParentheses) sign = ')';

  const std::string tail = fillTail(split, decimals, sign, decimalSeparator, thousandsSeparator);
  if (inParentheses) sign = '(';
  std::size_t digitsLeft = 0;
  rendering.text = fillIntegerPart(split, amount.integerDigits, sign, decimalSeparator,
                                   thousandsSeparator, digitsLeft);
  rendering.text += tail;

  bool fits = allZeros(amount.integerDigits.substr(0, digitsLeft));
  if (amount.negative) {
    const std::string& text = rendering.text;
    if (inParentheses) {
      fits = fits && text.find('(') != std::string::npos && text.find(')') != std::string::npos;
    } else {
      fits = fits && text.find('-') != std::string::npos;
    }
  }
  rendering.formatted = fits;
  if (!fits) rendering.text.assign(rendering.text.size(), '!');
  return rendering;
}

bool DisplayFormat::render(const std::string& printedAmount, const std::string& format,
                           const std::string& companyMask, char decimalSeparator,
                           char thousandsSeparator, char* result, int resultSize) {
  Rendering rendering =
      render(printedAmount, format, companyMask, decimalSeparator, thousandsSeparator);
  const bool fits = result != nullptr && resultSize >= 1 &&
                    rendering.text.size() <= static_cast<std::size_t>(resultSize) - 1;
  if (!fits && rendering.formatted) {
    rendering.formatted = false;
    rendering.text.assign(rendering.text.size(), '!');
  }
  ResultBuffer::write(result, resultSize, rendering.text);
  return rendering.formatted;
}

DisplayFormat::Outcome DisplayFormat::formatAmount(double amount, const std::string& format,
                                                   const std::string& companyNumber,
                                                   bool decimalPoint, char* result,
                                                   int resultSize) {
  ResultBuffer::clear(result, resultSize);
  const char decimalSeparator = decimalPoint ? '.' : ',';
  const char thousandsSeparator = decimalPoint ? ',' : '.';
  Outcome outcome;
  outcome.format = format;
  const int decimals = countDecimals(outcome.format, "999");
  outcome.success = render(printAmount(amount, decimals), outcome.format,
                           companyMask(companyNumber), decimalSeparator, thousandsSeparator,
                           result, resultSize);
  return outcome;
}

std::string DisplayFormat::fallback(double amount) {
  // The largest double prints with 309 digits; 400 bytes hold it with room.
  char text[400];
  if (std::snprintf(text, sizeof text, "** %.2f **", amount) < 0) return std::string();
  return std::string(text);
}

}  // namespace quilrun
