#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

TEST(QVBatchTextHelpers, NumbersReadTheSameInEveryLocale) {
  // A locale with a decimal comma, when the machine has one, must not change what is read.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  struct Case {
    const char* text;
    std::optional<double> number;
  } cases[] = {
      {"2048", 2048}, {" 12.5\t", 12.5}, {"+3", 3},     {"-7", -7},  {"1e3", 1000},
      {"12,5", {}},   {"", {}},          {"  ", {}},    {"abc", {}}, {"12px", {}},
      {"inf", {}},    {"nan", {}},       {"1e999", {}}, {"+-1", {}}, {"0x10", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(QVBatchTextHelpers::numberFromString(c.text), c.number) << c.text;
  std::setlocale(LC_NUMERIC, saved.c_str());

  EXPECT_EQ(QVBatchTextHelpers::integerFromString("12.9"), 12);
  EXPECT_EQ(QVBatchTextHelpers::integerFromString("-12.9"), -12);
  EXPECT_EQ(QVBatchTextHelpers::integerFromString("1e30"), INT64_MAX);
  EXPECT_EQ(QVBatchTextHelpers::integerFromString("x"), std::nullopt);
}

TEST(QVBatchTextHelpers, UnicodeCaseMappingAndComparison) {
  EXPECT_EQ(QVBatchTextHelpers::uppercaseString("straße ﬁx é"), "STRASSE FIX É");
  EXPECT_EQ(QVBatchTextHelpers::lowercaseString("ÀÉÎ İ"), "àéî i̇");
  EXPECT_TRUE(QVBatchTextHelpers::caseInsensitiveEquals("jpeg", "JPEG"));
  EXPECT_TRUE(QVBatchTextHelpers::caseInsensitiveEquals("Straße", "STRASSE"));
  EXPECT_FALSE(QVBatchTextHelpers::caseInsensitiveEquals("jpeg", "jpe"));
  EXPECT_TRUE(QVBatchTextHelpers::caseInsensitiveLess("apple", "Banana"));
  EXPECT_TRUE(QVBatchTextHelpers::caseInsensitiveLess("A", "a"));  // ties decided by bytes
  EXPECT_FALSE(QVBatchTextHelpers::caseInsensitiveLess("a", "A"));
}

TEST(QVBatchTextHelpers, DatesAndSafeNames) {
  using namespace std::chrono;
  auto date = sys_days{year{2021} / 3 / 5} + hours{23} + minutes{30};
  EXPECT_EQ(QVBatchTextHelpers::stringFromDate(date, "dd_MM_yyyy", "UTC"), "05_03_2021");
  EXPECT_EQ(QVBatchTextHelpers::stringFromDate(date, "dd_MM_yyyy", "Europe/Berlin"), "06_03_2021");
  EXPECT_EQ(QVBatchTextHelpers::stringFromDate(date, "", "UTC"), "");

  EXPECT_EQ(QVBatchTextHelpers::sanitizedFileName("a/b\\c:d*e?f\"g<h>i|j\nk", 100), "a_b_c_d_e_f_g_h_i_j_k");
  EXPECT_EQ(QVBatchTextHelpers::sanitizedFileName("...x.y", 100), "x.y");
  EXPECT_EQ(QVBatchTextHelpers::sanitizedFileName("..", 100), "");
  EXPECT_EQ(QVBatchTextHelpers::sanitizedFileName("ééé", 5), "éé");
  EXPECT_EQ(QVBatchTextHelpers::truncatedUTF8("a€", 3), "a");
}

}  // namespace
