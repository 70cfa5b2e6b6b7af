#include "platform/wayland_session.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>

#include "platform/folders.h"

namespace vortane::platform {
namespace {

constexpr int kPortalTimeoutMs = 5000;

// The portal interface's "version" property answers only when the portal offers that interface.
bool PortalOffers(QDBusConnection& bus, const QString& interface) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"),
      QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  call << interface << QStringLiteral("version");
  const QDBusMessage reply = bus.call(call, QDBus::Block, kPortalTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
  return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt() > 0;
}

// The socket a PipeWire client connects to: PIPEWIRE_REMOTE, else "pipewire-0", in the runtime
// folder unless it is a path.
bool PipeWireAnswers() {
  QString name = qEnvironmentVariable("PIPEWIRE_REMOTE", QStringLiteral("pipewire-0"));
  if (!name.startsWith(QLatin1Char('/')))
    name = WithTrailingSeparator(qEnvironmentVariable("XDG_RUNTIME_DIR")) + name;
  const QByteArray path = QFile::encodeName(name);
  sockaddr_un address{};
  if (path.size() >= qsizetype(sizeof(address.sun_path))) return false;
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path, path.constData(), size_t(path.size()));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return connected;
}

}  // namespace

bool IsWaylandSession() {
  return !qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty() ||
         qEnvironmentVariable("XDG_SESSION_TYPE")
                 .compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
}

WaylandRecording QueryWaylandRecording() {
  WaylandRecording offered;
  offered.pipeWire = PipeWireAnswers();
  // A connection of its own: the check may run on any thread.
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                      QStringLiteral("vortane-wayland-check"));
  if (bus.isConnected()) {
    offered.screenCast = PortalOffers(bus, QStringLiteral("org.freedesktop.portal.ScreenCast"));
    offered.globalShortcuts =
        offered.screenCast &&
        PortalOffers(bus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"));
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("vortane-wayland-check"));
  return offered;
}

QString ScreenCastTokenFile() {
  return GetUserDataFolder() + QStringLiteral("screencast-restore-token");
}

}  // namespace vortane::platform
