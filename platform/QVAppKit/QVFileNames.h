#pragma once
// File paths between our code and Qt. A Linux file name is bytes and need not be UTF-8 (an older
// "caf\xe9.jpg" in Latin-1); our paths (std::string) are those bytes, and Qt's text (QString)
// cannot hold every one of them. So a path crosses to Qt only where Qt must have it, and comes back
// from a file URL byte for byte.
#include <QString>
#include <QUrl>
#include <string>
#include <string_view>

// The path of a local file URL as the file system names it: its percent-encoded bytes decoded, not
// read as UTF-8. Empty for a URL that is not a local file.
std::string QVPathFromFileURL(const QUrl& url);
// A file URL for a path, its bytes percent-encoded as they are.
QUrl QVFileURLForPath(const std::string& path);
// A path as Qt names it (Qt hands it back to the system in the local 8-bit encoding); only for
// paths of our own making or that are known to be UTF-8.
QString QVQtPath(const std::string& path);
// A path Qt chose (a dialog's choice) as the system names it.
std::string QVPathFromQt(const QString& path);
// Text to show that may carry a file name's bytes: read as UTF-8, and each byte that is not part
// of a well-formed UTF-8 sequence read as Latin-1, so that "caf\xe9.jpg" shows as "café.jpg"
// in a message that is otherwise UTF-8 instead of with a replacement character.
QString QVDisplayText(std::string_view bytes);
