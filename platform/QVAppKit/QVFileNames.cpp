#include "QVAppKit/QVFileNames.h"

#include <QFile>

std::string QVPathFromFileURL(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  // toLocalFile() reads the bytes as UTF-8 and puts U+FFFD in place of those that are not.
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QUrl QVFileURLForPath(const std::string& path) {
  // '/' stays as it is; every other byte outside the unreserved set is percent-encoded.
  const QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
  return QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode);
}

QString QVQtPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string QVPathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

namespace {

// The length of the well-formed UTF-8 sequence starting at `at`, or 0 when there is none.
size_t utf8SequenceLength(std::string_view b, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (at + length > b.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

QString QVDisplayText(std::string_view bytes) {
  QString text;
  text.reserve(qsizetype(bytes.size()));
  size_t at = 0;
  while (at < bytes.size()) {
    size_t run = at;
    size_t length = 0;
    while (run < bytes.size() && (length = utf8SequenceLength(bytes, run)) > 0) run += length;
    if (run > at) text += QString::fromUtf8(bytes.data() + at, qsizetype(run - at));
    if (run < bytes.size()) text += QChar(static_cast<unsigned char>(bytes[run++]));
    at = run;
  }
  return text;
}
