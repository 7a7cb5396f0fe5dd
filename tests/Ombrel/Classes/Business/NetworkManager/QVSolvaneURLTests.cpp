#include "Ombrel/Classes/Business/NetworkManager/QVSolvaneURL.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "Ombrel/Classes/Helpers/QVAppVersion.h"

namespace {

// Fixes the language and the service address for the table below, and puts both back.
class QVSolvaneURLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* v = std::getenv("LC_ALL")) savedLocale_ = v;
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    QVSolvaneURL::setServiceAddress("https", "api.example.test");
  }
  void TearDown() override {
    if (savedLocale_)
      ::setenv("LC_ALL", savedLocale_->c_str(), 1);
    else
      ::unsetenv("LC_ALL");
    QVSolvaneURL::setServiceAddress("", "");
  }
  std::optional<std::string> savedLocale_;
};

}  // namespace

TEST_F(QVSolvaneURLTest, AddressesAndQueryStrings) {
  const std::string base = "https://api.example.test/";
  const std::string fixed = "locale=de&os=mac&version=2.0";
  struct Case {
    const char* name;
    std::string url, expected;
  } cases[] = {
      {"request attributes first, fixed ones merged in key order",
       QVSolvaneURL::URLWithPath("stats", {{"b", "x y"}, {"a", 1}}), base + "stats?a=1&b=x%20y&" + fixed},
      {"a fixed attribute replaces the request's", QVSolvaneURL::URLWithPath("p", {{"os", "linux"}}),
       base + "p?" + fixed},
      {"ignoring the fixed attributes keeps the request's", QVSolvaneURL::URLWithPath("p", {{"os", "linux"}}, true),
       base + "p?os=linux"},
      {"no attributes at all: no query", QVSolvaneURL::URLWithPath("p", {}, true), base + "p"},
      {"nested dictionary", QVSolvaneURL::URLWithPath("p", {{"p", qv::Dictionary{{"q", 1}}}}, true),
       base + "p?p%5Bq%5D=1"},
      {"array in order", QVSolvaneURL::URLWithPath("p", {{"p", qv::Array{1, 2}}}, true),
       base + "p?p%5B%5D=1&p%5B%5D=2"},
      {"null value: the bare key", QVSolvaneURL::URLWithPath("p", {{"k", qv::Value()}}, true), base + "p?k"},
      {"reserved characters in a value", QVSolvaneURL::URLWithPath("p", {{"v", "a&b=c+d/e?f"}}, true),
       base + "p?v=a%26b%3Dc%2Bd/e?f"},
      {"non-ASCII text is escaped as UTF-8", QVSolvaneURL::URLWithPath("p", {{"v", "\xC3\xA9"}}, true),
       base + "p?v=%C3%A9"},
      {"feedback view", QVSolvaneURL::feedback(), base + "views/feedback?" + fixed},
      {"errors", QVSolvaneURL::statsForEventType(0), base + "stats/errors?" + fixed},
      {"pc info", QVSolvaneURL::statsForEventType(1), base + "stats/pc-info?" + fixed},
      {"upload", QVSolvaneURL::statsForEventType(2), base + "stats/upload?" + fixed},
      {"download", QVSolvaneURL::statsForEventType(3), base + "stats/download?" + fixed},
  };
  for (const auto& c : cases) EXPECT_EQ(c.url, c.expected) << c.name;
}

TEST(QVURLSerializer, NoSchemeAndNoHostGivesNoAddress) {
  QVURLSerializer empty;
  EXPECT_FALSE(empty.URLString());
  QVURLSerializer hostOnly("", "h");
  EXPECT_EQ(hostOnly.URLString(), "://h");
  EXPECT_EQ(AFPercentEscapedStringFromString(""), "");
  EXPECT_EQ(AFPercentEscapedStringFromString(":#[]@!$&'()*+,;= ~-._"),
            "%3A%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D%20~-._");
}

TEST(QVSolvaneURLAddress, ConfiguredServiceAddressAndLanguageFallback) {
  QVSolvaneURL::setServiceAddress("http", "127.0.0.1:8123");
  EXPECT_EQ(QVSolvaneURL::URLWithPath("x", {}, true), "http://127.0.0.1:8123/x");
  QVSolvaneURL::setServiceAddress("", "");
  // Every test process points the service at a closed loopback port.
  EXPECT_EQ(QVSolvaneURL::serviceHost(), "127.0.0.1:9");
  std::optional<std::string> saved;
  if (const char* v = std::getenv("LC_ALL")) saved = v;
  for (auto [locale, code] : {std::pair{"C", "en"}, {"POSIX", "en"}, {"pt_BR.UTF-8", "pt"}, {"fr", "fr"}}) {
    ::setenv("LC_ALL", locale, 1);
    EXPECT_EQ(QVMultiversionedHelpers::localeLanguageCode(), code) << locale;
  }
  if (saved)
    ::setenv("LC_ALL", saved->c_str(), 1);
  else
    ::unsetenv("LC_ALL");
}

TEST(QVAppVersion, SplitsOnlyThreePartVersions) {
  struct Case {
    const char* version;
    int64_t major, middle, minor;
  } cases[] = {{"2.4.17", 2, 4, 17}, {"2.4", 0, 0, 0}, {"1.2.3.4", 0, 0, 0}, {"", 0, 0, 0}, {"3.x.1", 3, 0, 1}};
  for (const auto& c : cases) {
    QVAppVersion version(c.version, "b");
    EXPECT_EQ(version.major(), c.major) << c.version;
    EXPECT_EQ(version.middle(), c.middle) << c.version;
    EXPECT_EQ(version.minor(), c.minor) << c.version;
    EXPECT_EQ(version.version(), c.version);
  }
  // The shipped bundle's version.
  QVAppVersion shipped;
  EXPECT_EQ(shipped.version(), "2.0.0");
  EXPECT_EQ(shipped.major(), 2);
  EXPECT_EQ(shipped.build(), "200");
}
