// The session-bus signal the host hears: the process id, the texts as strings, then each path again
// as a byte array holding exactly the name's bytes (a name need not be UTF-8; a D-Bus string must).
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QMetaType>
#include <QVariant>

#include "Ombrel/Classes/Application/PluginMode/QVDBusHostNotifier.h"

namespace {

TEST(QVDBusHostNotifier, SignalCarriesTextsThenExactPathBytes) {
  struct Case {
    const char* name;
    std::string member;
    std::vector<std::string> texts, paths;
  } cases[] = {
      {"an ending without arguments", kQVHostTerminationOK, {}, {}},
      {"a failure's reason", kQVHostTerminationFailed, {"1 of 1 image has no result: read-only"}, {}},
      {"UTF-8 names",
       kQVHostResultSaved,
       {"/h/café.jpg", "/h/café.tif", "/h/café.tif"},
       {"/h/café.jpg", "/h/café.tif", "/h/café.tif"}},
      {"Latin-1 names",
       kQVHostResultSaved,
       {"/h/caf\xe9.jpg", "/h/caf\xe9-out.jpg", "/h/caf\xe9-out.jpg"},
       {"/h/caf\xe9.jpg", "/h/caf\xe9-out.jpg", "/h/caf\xe9-out.jpg"}},
      {"a failure with a name of stray bytes",
       kQVHostResultFailed,
       {"/h/\xff\x80.jpg", "/h/\xff\x80.jpg", "why"},
       {"/h/\xff\x80.jpg", "/h/\xff\x80.jpg"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QDBusMessage message = QVDBusHostNotifier::message(c.member, c.texts, c.paths);
    EXPECT_EQ(message.type(), QDBusMessage::SignalMessage);
    EXPECT_EQ(message.member().toStdString(), c.member);
    EXPECT_EQ(message.interface().toStdString(), kQVHostNotifierInterface);
    EXPECT_EQ(message.path().toStdString(), kQVHostNotifierPath);
    const QList<QVariant> arguments = message.arguments();
    ASSERT_EQ(size_t(arguments.size()), 1 + c.texts.size() + c.paths.size());
    EXPECT_EQ(arguments[0].metaType().id(), QMetaType::UInt);
    EXPECT_EQ(arguments[0].toUInt(), uint32_t(QCoreApplication::applicationPid()));
    for (size_t i = 0; i < c.texts.size(); ++i) {
      const QVariant& text = arguments[qsizetype(1 + i)];
      EXPECT_EQ(text.metaType().id(), QMetaType::QString) << i;
      // Valid UTF-8 whatever the name; the same text when the name is UTF-8.
      const QByteArray utf8 = text.toString().toUtf8();
      if (QString::fromUtf8(c.texts[i]).toUtf8() == QByteArray::fromStdString(c.texts[i])) {
        EXPECT_EQ(utf8.toStdString(), c.texts[i]) << i;
      }
    }
    for (size_t i = 0; i < c.paths.size(); ++i) {
      const QVariant& path = arguments[qsizetype(1 + c.texts.size() + i)];
      EXPECT_EQ(path.metaType().id(), QMetaType::QByteArray) << i;
      EXPECT_EQ(path.toByteArray().toStdString(), c.paths[i]) << "exactly the name's bytes";
    }
  }
}

}  // namespace
