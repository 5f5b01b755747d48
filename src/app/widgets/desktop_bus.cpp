// The desktop services that go over D-Bus: logind for powering off and for
// the sleep lock, the notification service. None of them waits long, and
// without a bus each one does nothing but say so.
#include <QFileInfo>
#include <QProcess>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusInterface>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusPendingReply>
#include <QtDBus/QDBusUnixFileDescriptor>
#include <optional>

#include "app/widgets/ui_services.h"

namespace moskvid {

namespace {

constexpr int kCallTimeoutMs = 5000;

// Only a session that names its bus has one: asked without, Qt would try to
// start a bus of its own.
bool SessionBusNamed() {
  if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + "/bus");
}

// logind's inhibitor lock: the descriptor Inhibit returns is the lock, and
// closing it (with this object) ends it. The call is not waited for: the
// descriptor is kept when the reply comes, or closed with the reply when
// this object is gone by then.
class TLogindSleepLock : public QObject, public TSleepLock {
 public:
  explicit TLogindSleepLock(const QDBusPendingCall& call) {
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* answered) {
              const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *answered;
              if (reply.isValid()) descriptor_ = reply.value();
              answered->deleteLater();
            });
  }

 private:
  std::optional<QDBusUnixFileDescriptor> descriptor_;
};

}  // namespace

bool TDesktopServices::PowerOff(QString& error) {
  // logind powers off without a password for the user at the seat; false
  // means "do not ask interactively".
  QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", QDBusConnection::systemBus());
  if (manager.isValid()) {
    const QDBusMessage reply = manager.call("PowerOff", false);
    if (reply.type() != QDBusMessage::ErrorMessage) return true;
    error = reply.errorMessage();
  } else {
    error = manager.lastError().message();
  }
  if (QProcess::startDetached("systemctl", {"poweroff"})) return true;
  if (error.isEmpty()) error = "The system refused to power off.";
  return false;
}

std::unique_ptr<TSleepLock> TDesktopServices::InhibitSleep(const QString& why) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return nullptr;
  QDBusMessage call =
      QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "Inhibit");
  call << QString("sleep:idle") << QString("Moskvid") << why << QString("block");
  return std::make_unique<TLogindSleepLock>(bus.asyncCall(call, kCallTimeoutMs));
}

void TDesktopServices::Notify(const QString& title, const QString& text) {
  if (!SessionBusNamed()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                     "/org/freedesktop/Notifications",
                                                     "org.freedesktop.Notifications", "Notify");
  call << QString("Moskvid") << 0u << QString("io.github.moskvid.Moskvid") << title << text
       << QStringList() << QVariantMap() << -1;
  // The reply (the notification's number) is of no use here.
  bus.send(call);
}

}  // namespace moskvid
