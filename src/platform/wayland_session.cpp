#include "platform/wayland_session.h"

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>

#include "platform/folders.h"
#include "platform/portal_version.h"

namespace vortane::platform {
namespace {

constexpr int kPortalTimeoutMs = 5000;

// Whether the portal offers `interface`.
bool PortalOffers(GDBusConnection* bus, const char* interface) {
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
      "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, "version"),
      G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, kPortalTimeoutMs, nullptr, nullptr);
  return PortalVersionOffered(reply);
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
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  GDBusConnection* bus =
      address == nullptr ? nullptr
                         : g_dbus_connection_new_for_address_sync(
                               address,
                               GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                               nullptr, nullptr, nullptr);
  g_free(address);
  if (bus != nullptr) {
    offered.screenCast = PortalOffers(bus, "org.freedesktop.portal.ScreenCast");
    offered.globalShortcuts =
        offered.screenCast && PortalOffers(bus, "org.freedesktop.portal.GlobalShortcuts");
    g_object_unref(bus);
  }
  return offered;
}

QString ScreenCastTokenFile() {
  return GetUserDataFolder() + QStringLiteral("screencast-restore-token");
}

}  // namespace vortane::platform
