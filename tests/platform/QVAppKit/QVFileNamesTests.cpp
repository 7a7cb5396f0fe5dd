#include <gtest/gtest.h>

#include <QMimeData>

#include "QVAppKit/QVFileNames.h"

namespace {

// File names are bytes: a URL carries them percent-encoded, and they come back as they were, UTF-8
// or not.
TEST(QVFileNames, PathsGoThroughFileURLsByteForByte) {
  const std::string paths[] = {"/p/a.jpg", "/p/caf\xe9.jpg", "/p/caf\xc3\xa9 2.jpg", "/p/%41#?.jpg",
                               "/\xff\xfe/\x80.png"};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const QUrl url = QVFileURLForPath(path);
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(QVPathFromFileURL(url), path);
    // As a drop or a portal hands it over: the URL's text, read again.
    EXPECT_EQ(QVPathFromFileURL(QUrl::fromEncoded(url.toEncoded())), path);
  }
  EXPECT_EQ(QVFileURLForPath("/p/caf\xe9.jpg").toString(QUrl::FullyEncoded), "file:///p/caf%E9.jpg");
  EXPECT_EQ(QVPathFromFileURL(QUrl::fromEncoded("file:///tmp/caf%E9.jpg")), "/tmp/caf\xe9.jpg");
  EXPECT_EQ(QVPathFromFileURL(QUrl("https://example.org/a.jpg")), "");
  // Text Qt made (a dialog's choice) goes back to the system's bytes.
  EXPECT_EQ(QVPathFromQt(QStringLiteral("/p/caf\u00e9.jpg")), "/p/caf\xc3\xa9.jpg");
  EXPECT_EQ(QVQtPath("/p/caf\xc3\xa9.jpg"), QStringLiteral("/p/caf\u00e9.jpg"));
}

// A message shows the name a user knows: UTF-8 where the bytes are, Latin-1 for each byte that is
// not part of a well-formed UTF-8 sequence, even in the middle of UTF-8 text.
TEST(QVFileNames, DisplayTextReadsStrayBytesAsLatin1) {
  const struct {
    std::string bytes;
    QString shown;
  } cases[] = {
      {"caf\xc3\xa9.jpg", QStringLiteral("caf\u00e9.jpg")},
      {"\xe2\x80\x9c" "caf\xe9.jpg\xe2\x80\x9d could not be exported.",
       QStringLiteral("\u201ccaf\u00e9.jpg\u201d could not be exported.")},
      {"\xc3", QStringLiteral("\u00c3")},                          // a sequence cut short
      {"\xc0\xaf", QStringLiteral("\u00c0\u00af")},               // an overlong '/'
      {"\xed\xa0\x80", QStringLiteral("\u00ed\u00a0\u0080")},  // a surrogate
      {"\xf0\x9f\x93\xb7 x", QStringLiteral("\U0001F4F7 x")},
      {"", QString()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(QVDisplayText(c.bytes), c.shown);
  }
}

}  // namespace
