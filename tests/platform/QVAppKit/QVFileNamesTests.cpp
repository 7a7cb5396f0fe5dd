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

}  // namespace
