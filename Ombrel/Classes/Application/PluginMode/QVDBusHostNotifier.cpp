#include "Ombrel/Classes/Application/PluginMode/QVDBusHostNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include "QVPlatform/Log.h"

std::shared_ptr<QVHostNotifier> QVHostNotifier::makeDefault() { return std::make_shared<QVDBusHostNotifier>(); }

void QVDBusHostNotifier::post(const std::string& name, const std::vector<std::string>& details) {
  std::string text = name;
  for (const auto& detail : details) text += " \"" + detail + "\"";
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    QVLogInfo("host notification %s not sent: no session bus (%s)", text.c_str(),
              bus.lastError().message().toUtf8().constData());
    return;
  }
  QDBusMessage signal =
      QDBusMessage::createSignal(QString::fromLatin1(kQVHostNotifierPath),
                                 QString::fromLatin1(kQVHostNotifierInterface), QString::fromStdString(name));
  signal << uint32_t(QCoreApplication::applicationPid());
  for (const auto& detail : details) signal << QString::fromStdString(detail);
  if (!bus.send(signal)) {
    QVLogWarning("host notification %s could not be sent: %s", text.c_str(),
                 bus.lastError().message().toUtf8().constData());
    return;
  }
  QVLogInfo("host notification %s sent", text.c_str());
}
