#include "Ombrel/Classes/Application/PluginMode/QVDBusHostNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include "QVPlatform/Log.h"

std::shared_ptr<QVHostNotifier> QVHostNotifier::makeDefault() { return std::make_shared<QVDBusHostNotifier>(); }

QDBusMessage QVDBusHostNotifier::message(const std::string& name, const std::vector<std::string>& texts,
                                         const std::vector<std::string>& paths) {
  QDBusMessage signal =
      QDBusMessage::createSignal(QString::fromLatin1(kQVHostNotifierPath),
                                 QString::fromLatin1(kQVHostNotifierInterface), QString::fromStdString(name));
  signal << uint32_t(QCoreApplication::applicationPid());
  for (const auto& text : texts) signal << QString::fromStdString(text);
  // A byte array ("ay") carries a name that is not UTF-8 as it is.
  for (const auto& path : paths) signal << QByteArray::fromStdString(path);
  return signal;
}

void QVDBusHostNotifier::post(const std::string& name, const std::vector<std::string>& texts,
                              const std::vector<std::string>& paths) {
  std::string text = name;
  for (const auto& detail : texts) text += " \"" + detail + "\"";
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    QVLogInfo("host notification %s not sent: no session bus (%s)", text.c_str(),
              bus.lastError().message().toUtf8().constData());
    return;
  }
  if (!bus.send(message(name, texts, paths))) {
    QVLogWarning("host notification %s could not be sent: %s", text.c_str(),
                 bus.lastError().message().toUtf8().constData());
    return;
  }
  QVLogInfo("host notification %s sent", text.c_str());
}
