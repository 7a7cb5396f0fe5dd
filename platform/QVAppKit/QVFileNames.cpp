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
