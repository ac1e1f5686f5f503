#include "functions/DisplayFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace quilrun {
namespace {

const double kInfinity = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Expected texts write a blank as "_" so that they can be counted.
std::string blanks(const char* text) {
  std::string value(text);
  std::replace(value.begin(), value.end(), '_', ' ');
  return value;
}

struct AmountCase {
  const char* format;
  double amount;
  const char* expected;  // "_" for a blank; all "!" for a failure
  const char* companyNumber;  // "" when the property is missing
  bool decimalPoint;
};

// Runs formatAmount into a roomy buffer; a failure must show only marks.
void expectFormatted(const AmountCase& c) {
  SCOPED_TRACE(std::string("format \"") + c.format + "\", amount " + std::to_string(c.amount) +
               ", company \"" + c.companyNumber + "\"" +
               (c.decimalPoint ? ", decimal point" : ", decimal comma"));
  std::vector<char> result(4096, '#');
  const bool formatted = DisplayFormat::formatAmount(c.amount, c.format, c.companyNumber,
                                                     c.decimalPoint, result.data(),
                                                     static_cast<int>(result.size()))
                             .success;
  const std::string expected = blanks(c.expected);
  EXPECT_EQ(std::string(result.data()), expected);
  const bool marks = !expected.empty() && expected.find_first_not_of('!') == std::string::npos;
  EXPECT_EQ(formatted, !marks);
}

TEST(DisplayFormatTest, EdgeCaseTable) {
  const AmountCase cases[] = {
      {"ZZZTZZ9VD99", 1234.5, "__1.234,50", "100", false},
      {"ZZZTZZ9VD99", -5, "_____-5,00", "100", false},
      {"ZZ9VD99", -123, "!!!!!!", "100", false},
      {"ZZ9VD99", 0, "__0,00", "100", false},
      {"ZZ9VD99-", -12.3, "_12,30-", "100", false},
      {"ZZ9VD99-", 12.3, "_12,30_", "100", false},
      {"*ZZ9VD99", 5, "**5,00", "100", false},
      {"(ZZ9VD99)", -5, "__(5,00)", "100", false},
      {"ZZ9", 1234, "!!!", "100", false},
      {"ZZ9VD99   ", 5, "__5,00", "100", false},
  };
  for (const AmountCase& c : cases) expectFormatted(c);
}

TEST(DisplayFormatTest, CompanyMaskFollowsTheCompanyNumber) {
  const AmountCase cases[] = {
      {"ZC", 12, "_012", "100", false},
      {"ZC", 12, "_0012", "1000", false},
      {"ZC", 12345, "!!!!", "100", false},
      {"ZC", 12345, "12345", "1000", false},
      // Other lengths and a missing number fall back to three digits.
      {"ZC", 12, "_012", "12", false},
      {"ZC", 12, "_012", "12345", false},
      {"ZC", 12, "_012", "", false},
      // Decimals are counted with "999" whatever the company: a fourth
      // decimal position of a four-digit company shows 0.
      {"Z9VDC", 1.5, "_1,500", "100", false},
      {"Z9VDC", 1.5, "_1,5000", "1000", false},
      // Trailing blanks of a format with "C" reach the output.
      {"ZZC  ", 5, "__005__", "100", false},
  };
  for (const AmountCase& c : cases) expectFormatted(c);
}

TEST(DisplayFormatTest, Separators) {
  const AmountCase cases[] = {
      {"ZZZTZZ9VD99", 1234.5, "__1,234.50", "100", true},
      // T and D without V: every digit is an integer digit, D is just a
      // separator between them.
      {"ZZZTZZ9", 1234, "__1.234", "100", false},
      {"ZZZTZZ9", 123456, "123.456", "100", false},
      {"ZZZTZZ9", 12, "_____12", "100", false},
      {"ZZ9D99", 1234, "_12,34", "100", false},
      {"ZZ9D99", 12, "__0,12", "100", false},
      // "." and ",": thousands before V, decimal after it, whichever is written.
      {"ZZZ,ZZ9V.99", 1234.5, "__1.234,50", "100", false},
      {"ZZZ,ZZ9V.99", 1234.5, "__1,234.50", "100", true},
      {"ZZZ.ZZ9V,99", 1234.5, "__1,234.50", "100", true},
      {"ZZZ.ZZ9", 1234, "__1,234", "100", true},
      // A thousands separator with no digit left of it is blank or fill.
      {"*ZZZTZZ9VD99", 1234.5, "**1.234,50", "100", false},
      {"*ZZZTZZ9VD99", 12, "*****12,00", "100", false},
  };
  for (const AmountCase& c : cases) expectFormatted(c);
}

TEST(DisplayFormatTest, Signs) {
  const AmountCase cases[] = {
      // Leading sign.
      {"-ZZ9VD99", -5, "__-5,00", "100", false},
      {"-ZZ9VD99", 5, "___5,00", "100", false},
      {"-ZZ9VD99", -123, "-123,00", "100", false},
      {"-ZZ9VD99", -1234, "!!!!!!!", "100", false},
      {"+ZZ9VD99", 5, "__+5,00", "100", false},
      {"+ZZ9VD99", -5, "__-5,00", "100", false},
      // Trailing sign; "+" also marks a non-negative amount.
      {"ZZ9VD99+", 12.3, "_12,30+", "100", false},
      {"ZZ9VD99+", -12.3, "_12,30-", "100", false},
      {"ZZ9+", 0, "__0+", "100", false},
      {"ZZ9-", -7, "__7-", "100", false},
      // Blanked decimals: a leading sign stays left of the digits, a
      // trailing one follows the last digit.
      {"ZZ9VDZZ", -5, "_-5___", "100", false},
      {"ZZ9VDZZ", -5.5, "_-5,5_", "100", false},
      {"ZZ9V.ZZ", -5, "_-5___", "100", false},
      {"ZZ9VDZZ-", -5, "__5-___", "100", false},
      {"ZZ9VDZZ-", -5.5, "__5,5-_", "100", false},
      // Fill with a sign.
      {"*ZZ9VD99", -5, "*-5,00", "100", false},
      {"*ZZ9VD99-", -5, "**5,00-", "100", false},
      {"*ZZ9VD99-", 5, "**5,00*", "100", false},
      // Parentheses.
      {"(ZZ9VD99)", 5, "___5,00_", "100", false},
      {"(ZZ9VD99)", -123, "(123,00)", "100", false},
      {"(ZZ9VD99)", -1234, "!!!!!!!!", "100", false},
      {"(ZZ9)", -5, "__(5)", "100", false},
      // Without room for the sign a negative amount cannot be shown.
      {"99VD99", -5, "!!!!!", "100", false},
      {"ZZZTZZ9VD99", 12345678, "!!!!!!!!!!", "100", false},
  };
  for (const AmountCase& c : cases) expectFormatted(c);
}

TEST(DisplayFormatTest, ZeroShowsNoSign) {
  const AmountCase cases[] = {
      {"ZZ9VD99", -0.0, "__0,00", "100", false},
      {"ZZ9VD99", -0.004, "__0,00", "100", false},
      {"99VD99", -0.0, "00,00", "100", false},
      {"+ZZ9VD99", -0.001, "__+0,00", "100", false},
      {"(ZZ9VD99)", -0.0, "___0,00_", "100", false},
      {"ZZ9VD99", -0.005001, "_-0,01", "100", false},
  };
  for (const AmountCase& c : cases) expectFormatted(c);
}

TEST(DisplayFormatTest, UnprintableAmountsGiveOneMark) {
  const AmountCase cases[] = {
      {"ZZ9VD99", kInfinity, "!", "100", false},
      {"ZZ9VD99", -kInfinity, "!", "100", false},
      {"ZZ9VD99", kNaN, "!", "100", false},
      {"(ZZ9VD99)", -kNaN, "!", "100", false},
      {"", kInfinity, "!", "100", false},
  };
  for (const AmountCase& c : cases) expectFormatted(c);
}

TEST(DisplayFormatTest, DegenerateFormats) {
  const AmountCase cases[] = {
      {"", 0, "", "100", false},
      {"*", 0, "", "100", false},
      {"V", 0, "", "100", false},
      {"   ", 0, "", "100", false},
      {"Z", 5, "5", "100", false},
      {"Z", -5, "!", "100", false},
      {"-", -5, "!", "100", false},
      {"-", 0, "_", "100", false},
      {"ZZ9 EUR", 5, "__5_EUR", "100", false},
  };
  for (const AmountCase& c : cases) expectFormatted(c);

  // No position for the digit: failed, with no position to mark either.
  char result[8];
  EXPECT_FALSE(DisplayFormat::formatAmount(5, "", "100", false, result, sizeof result).success);
  EXPECT_STREQ(result, "");
}

TEST(DisplayFormatTest, HugeAmountsAndFormats) {
  expectFormatted({"ZZ9VD99", 1e308, "!!!!!!", "100", false});

  char result[2048];
  // 309 digits and the sign.
  const std::string wide = std::string(310, 'Z') + "VD99";
  ASSERT_TRUE(
      DisplayFormat::formatAmount(-1e308, wide, "100", true, result, sizeof result).success);
  EXPECT_EQ(std::strlen(result), 313u);
  EXPECT_EQ(std::string(result, 23), "-1000000000000000010979");
  EXPECT_EQ(std::string(result + 310), ".00");
  const std::string narrow = std::string(309, 'Z') + "VD99";
  EXPECT_FALSE(
      DisplayFormat::formatAmount(-1e308, narrow, "100", true, result, sizeof result).success);

  // More decimals than the working buffer holds: the missing ones show 0.
  const std::string manyDecimals = "Z9VD" + std::string(2000, '9');
  std::vector<char> big(4096);
  ASSERT_TRUE(DisplayFormat::formatAmount(1.5, manyDecimals, "100", false, big.data(),
                                          static_cast<int>(big.size()))
                  .success);
  EXPECT_EQ(std::string(big.data()), " 1,5" + std::string(1999, '0'));

  const std::string hugeBoth = std::string(309, 'Z') + "VD" + std::string(800, '9');
  ASSERT_TRUE(DisplayFormat::formatAmount(1e308, hugeBoth, "100", false, big.data(),
                                          static_cast<int>(big.size()))
                  .success);
  EXPECT_EQ(std::strlen(big.data()), 309u + 1 + 800);

  EXPECT_EQ(DisplayFormat::printAmount(1e308, 999).size(), 999u);
  EXPECT_EQ(DisplayFormat::printAmount(-1e308, std::numeric_limits<int>::max()).size(), 999u);
  EXPECT_EQ(DisplayFormat::printAmount(2.5, -3), "2");
}

struct CountCase {
  const char* format;
  const char* mask;
  int decimals;
  const char* formatAfter;
};

TEST(DisplayFormatTest, CountDecimals) {
  const CountCase cases[] = {
      {"ZZZTZZ9VD99", "999", 2, "ZZZTZZ9VD99"},
      {"ZZ9VD99-", "999", 2, "ZZ9VD99-"},
      {"ZZ9VD99+ \t\r\n", "999", 2, "ZZ9VD99+"},
      {"-ZZ9VD99", "999", 2, "-ZZ9VD99"},
      {"(ZZ9VD99)", "999", 2, "(ZZ9VD99)"},
      {"*ZZ9VD99-", "999", 2, "*ZZ9VD99-"},
      {"VZZ+-", "999", 3, "VZZ+-"},
      {"V9V9", "999", 2, "V9V9"},
      {"V-", "999", 0, "V-"},
      {"ZZ9-", "999", 0, "ZZ9-"},
      {"ZZZTZZ9", "999", 0, "ZZZTZZ9"},
      {"ZZVC", "999", 3, "ZZVC"},
      {"ZZVC", "9999", 4, "ZZVC"},
      {"ZZVC-  ", "999", 3, "ZZVC-  "},
      {"  ", "999", 0, ""},
      {"", "999", 0, ""},
  };
  for (const CountCase& c : cases) {
    SCOPED_TRACE(c.format);
    std::string format = c.format;
    EXPECT_EQ(DisplayFormat::countDecimals(format, c.mask), c.decimals);
    EXPECT_EQ(format, c.formatAfter);
  }

  // formatAmount names the format it rendered with.
  char result[32];
  EXPECT_EQ(DisplayFormat::formatAmount(5, "ZZ9VD99   ", "100", true, result, sizeof result).format,
            "ZZ9VD99");
  EXPECT_EQ(DisplayFormat::formatAmount(5, "ZZC   ", "100", true, result, sizeof result).format,
            "ZZC   ");
  EXPECT_EQ(
      DisplayFormat::formatAmount(-5, "ZZ9VD99  ", "100", true, result, sizeof result).format,
      "ZZ9VD99");
}

TEST(DisplayFormatTest, CompanyMask) {
  EXPECT_EQ(DisplayFormat::companyMask("100"), "999");
  EXPECT_EQ(DisplayFormat::companyMask("1000"), "9999");
  EXPECT_EQ(DisplayFormat::companyMask("abcd"), "9999");  // only the length counts
  for (const char* other : {"", "1", "12", "12345", "12345678"}) {
    EXPECT_EQ(DisplayFormat::companyMask(other), "999") << other;
  }
}

TEST(DisplayFormatTest, CleansThePrintedAmount) {
  struct Case {
    std::string printed;
    const char* expected;
  };
  const Case cases[] = {
      {"  -0012.50", "__-12,50"},
      {"12.5 and more", "___12,50"},
      {"12,5", "___12,50"},
      {"5.00-", "___-5,00"},
      {"12.345", "___12,34"},  // decimals beyond the positions are cut
      {"", "____0,00"},
      {"000", "____0,00"},
      {"-", "____0,00"},
      {"1.2.3", "!"},
      {"12a", "!"},
      {"1\t2", "!"},
      {std::string("1\0" "2", 3), "!"},
      {"nan", "!"},
      {"-nan", "!"},
      {"inf", "!"},
      {"-inf", "!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printed);
    const DisplayFormat::Rendering r =
        DisplayFormat::render(c.printed, "ZZZZ9VD99", "999", ',', '.');
    EXPECT_EQ(r.text, blanks(c.expected));
    EXPECT_EQ(r.formatted, std::string(c.expected) != "!");
  }
  // A trailing sign holds no decimal.
  EXPECT_EQ(DisplayFormat::render("-12.345", "ZZ9VD99-", "999", ',', '.').text, " 12,34-");
}

// Renders into area[0, size) of a larger guarded area and checks that the
// guard is untouched and the result is terminated. Returns the result.
std::string renderGuarded(const std::string& printed, const std::string& format, int size,
                          bool& formatted) {
  const int guard = 16;
  std::vector<char> area(static_cast<std::size_t>(std::max(size, 0) + guard), '#');
  formatted = DisplayFormat::render(printed, format, "999", ',', '.', area.data(), size);
  for (std::size_t i = static_cast<std::size_t>(std::max(size, 0)); i < area.size(); ++i) {
    EXPECT_EQ(area[i], '#') << "byte " << i << " written, size " << size;
  }
  if (size < 1) return std::string();
  const void* end = std::memchr(area.data(), '\0', static_cast<std::size_t>(size));
  EXPECT_NE(end, nullptr) << "not terminated, size " << size;
  return end == nullptr ? std::string() : std::string(area.data());
}

TEST(DisplayFormatTest, BufferSizeSweep) {
  struct Case {
    const char* printed;
    const char* format;
    const char* full;  // the result in a roomy buffer
  };
  const Case cases[] = {
      {"1234.50", "ZZZTZZ9VD99", "  1.234,50"},
      {"-123.00", "ZZ9VD99", "!!!!!!"},
      {"-12.30", "ZZ9VD99-", " 12,30-"},
      {"inf", "ZZ9VD99", "!"},
      {"0", "", ""},
  };
  for (const Case& c : cases) {
    const std::string full = c.full;
    const bool fullFormatted = full.find('!') == std::string::npos;
    for (int size = 0; size <= static_cast<int>(full.size()) + 2; ++size) {
      SCOPED_TRACE(std::string(c.format) + " size " + std::to_string(size));
      bool formatted = true;
      const std::string text = renderGuarded(c.printed, c.format, size, formatted);
      if (size >= 1 && static_cast<std::size_t>(size) > full.size()) {
        EXPECT_EQ(text, full);
        EXPECT_EQ(formatted, fullFormatted);
      } else {
        // Too small: marks cut to the buffer, never a cut amount.
        EXPECT_EQ(text, std::string(size >= 1 ? static_cast<std::size_t>(size) - 1 : 0, '!'));
        EXPECT_FALSE(formatted);
      }
    }
  }
  EXPECT_FALSE(DisplayFormat::render("5", "ZZ9", "999", ',', '.', nullptr, 10));
  bool formatted = true;
  renderGuarded("5", "ZZ9", -4, formatted);
  EXPECT_FALSE(formatted);
}

TEST(DisplayFormatTest, Fallback) {
  EXPECT_EQ(DisplayFormat::fallback(1234.5), "** 1234.50 **");
  EXPECT_EQ(DisplayFormat::fallback(-0.125), "** -0.12 **");
  EXPECT_EQ(DisplayFormat::fallback(-1e308).size(), 3u + 1 + 309 + 3 + 3);
}

bool hasNonZeroDigit(const std::string& text) {
  return text.find_first_of("123456789") != std::string::npos;
}

// Random formats and amounts; checks only what must hold for every input.
TEST(DisplayFormatTest, RandomizedSafety) {
  std::mt19937 random(20240611);
  auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const std::string alphabet = "9ZVDT.,+-()*C x";
  const char* const companies[] = {"100", "1000", "12", ""};
  const double unusual[] = {0.0, -0.0, kInfinity, -kInfinity, kNaN, 1e308, -1e308,
                             5e-324, -0.004, 0.995, -999.995};
  const int guard = 16;
  for (int round = 0; round < 5000; ++round) {
    std::string format;
    const int length = below(24);
    for (int i = 0; i < length; ++i) format += alphabet[static_cast<std::size_t>(below(15))];
    double amount;
    switch (below(4)) {
      case 0:
        amount = unusual[below(11)];
        break;
      case 1:
        amount = below(2000001) - 1000000;
        break;
      case 2:
        amount = (below(2000001) - 1000000) / 100.0;
        break;
      default:
        amount = std::ldexp(static_cast<double>(below(1 << 20)) - (1 << 19), below(80) - 40);
        break;
    }
    const int size = below(40);
    std::vector<char> area(static_cast<std::size_t>(size + guard), '#');
    const DisplayFormat::Outcome outcome = DisplayFormat::formatAmount(
        amount, format, companies[below(4)], below(2) == 0, area.data(), size);
    const bool formatted = outcome.success;
    SCOPED_TRACE("format \"" + format + "\", amount " + std::to_string(amount) + ", size " +
                 std::to_string(size));
    for (std::size_t i = static_cast<std::size_t>(size); i < area.size(); ++i) {
      ASSERT_EQ(area[i], '#');
    }
    if (size == 0) {
      ASSERT_FALSE(formatted);
      continue;
    }
    ASSERT_NE(std::memchr(area.data(), '\0', static_cast<std::size_t>(size)), nullptr);
    const std::string text(area.data());
    const bool marks = text.find_first_not_of('!') == std::string::npos;
    const bool noMark = text.find('!') == std::string::npos;
    ASSERT_TRUE(formatted ? noMark : marks) << "\"" << text << "\"";
    if (formatted && std::isnan(amount)) FAIL() << "NaN formatted as \"" << text << "\"";
    if (formatted && amount < 0 && format.find_first_of("+-()") == std::string::npos) {
      std::string counted = format;
      const std::string printed =
          DisplayFormat::printAmount(amount, DisplayFormat::countDecimals(counted, "999"));
      ASSERT_TRUE(text.find('-') != std::string::npos || !hasNonZeroDigit(printed))
          << "negative " << printed << " shown as \"" << text << "\"";
    }
  }

  // Any bytes at all, in the format and in the printed amount.
  for (int round = 0; round < 3000; ++round) {
    std::string format;
    std::string printed;
    for (int i = below(40); i > 0; --i) format += static_cast<char>(below(256));
    for (int i = below(20); i > 0; --i) printed += static_cast<char>(below(256));
    if (below(2) == 0) printed = std::to_string(below(100000) - 50000) + printed;
    const int size = below(48);
    std::vector<char> area(static_cast<std::size_t>(size + guard), '#');
    DisplayFormat::render(printed, format, "9999", ',', '.', area.data(), size);
    for (std::size_t i = static_cast<std::size_t>(size); i < area.size(); ++i) {
      ASSERT_EQ(area[i], '#');
    }
    if (size > 0) {
      ASSERT_NE(std::memchr(area.data(), '\0', static_cast<std::size_t>(size)), nullptr);
    }
    std::string counted = format;
    ASSERT_GE(DisplayFormat::countDecimals(counted, "999"), 0);
  }
}

}  // namespace
}  // namespace quilrun
