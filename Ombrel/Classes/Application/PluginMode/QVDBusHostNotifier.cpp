#include "Ombrel/Classes/Application/PluginMode/QVDBusHostNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include "QVPlatform/Log.h"

std::shared_ptr<QVHostNotifier> QVHostNotifier::makeDefault() { return std::make_shared<QVDBusHostNotifier>(); }

void QVDBusHostNotifier::post(const std::string& name) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    QVLogInfo("host notification \"%s\" not sent: no session bus (%s)", name.c_str(),
              bus.lastError().message().toUtf8().constData());
    return;
  }
  QDBusMessage signal =
      QDBusMessage::createSignal(QString::fromLatin1(kQVHostNotifierPath),
                                 QString::fromLatin1(kQVHostNotifierInterface), QString::fromStdString(name));
  signal << uint32_t(QCoreApplication::applicationPid());
  if (!bus.send(signal)) {
    QVLogWarning("host notification \"%s\" could not be sent: %s", name.c_str(),
                 bus.lastError().message().toUtf8().constData());
    return;
  }
  QVLogInfo("host notification \"%s\" sent", name.c_str());
}
