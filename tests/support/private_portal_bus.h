#pragma once

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace vortane::test {

// A session bus of the test's own (dbus-daemon, activating nothing) with the stand-in portal of
// tests/support/portal_shortcuts_standin.cpp on it. Never the desktop's bus.
class PrivatePortalBus {
 public:
  PrivatePortalBus() {
    QFile config(folder_.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly)) return;
    config.write(
        "<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(folder_.path()) +
        "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
        "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
    config.close();
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                   QStringLiteral("--config-file=") + config.fileName()});
    address_ = ReadLine(daemon_);
    if (address_.isEmpty()) return;
    bus_ = g_dbus_connection_new_for_address_sync(
        address_.constData(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
  }
  ~PrivatePortalBus() {
    StopPortal();
    if (bus_ != nullptr) g_object_unref(bus_);
    daemon_.kill();
    daemon_.waitForFinished(10000);
  }

  // DBUS_SESSION_BUS_ADDRESS for the code under test; empty when the bus did not start.
  const QByteArray& address() const { return address_; }

  // Starts the stand-in portal; true once it owns org.freedesktop.portal.Desktop.
  bool StartPortal() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address_));
    portal_.setProcessEnvironment(environment);
    portal_.start(QCoreApplication::applicationDirPath() +
                  QStringLiteral("/portal_shortcuts_standin"));
    return ReadLine(portal_) == "ready";
  }
  void StopPortal() {
    if (portal_.state() == QProcess::NotRunning) return;
    portal_.kill();
    portal_.waitForFinished(10000);
  }

  // What the stand-in was asked, one line per call or bound shortcut.
  QStringList Log() {
    QStringList lines;
    GVariant* reply = Call("Log", nullptr, "(as)");
    if (reply == nullptr) return lines;
    GVariantIter* iter = nullptr;
    const gchar* line = nullptr;
    g_variant_get(reply, "(as)", &iter);
    while (g_variant_iter_next(iter, "&s", &line))
      lines << QString::fromUtf8(line);
    g_variant_iter_free(iter);
    g_variant_unref(reply);
    return lines;
  }
  // Emits Activated for the shortcut on the last session.
  void Activate(const char* id) { Unref(Call("Activate", g_variant_new("(s)", id), nullptr)); }
  // Later BindShortcuts are answered "cancelled" (code 1).
  void RefuseBinding() { Unref(Call("RefuseBinding", nullptr, nullptr)); }

 private:
  static QByteArray ReadLine(QProcess& process) {
    const QDeadlineTimer deadline(30000);
    while (!process.canReadLine() && !deadline.hasExpired() &&
           process.state() != QProcess::NotRunning)
      process.waitForReadyRead(100);
    return process.readLine().trimmed();
  }
  GVariant* Call(const char* method, GVariant* parameters, const char* replyType) {
    if (bus_ == nullptr) return nullptr;
    return g_dbus_connection_call_sync(bus_, "org.freedesktop.portal.Desktop",
                                       "/org/freedesktop/portal/desktop",
                                       "com.vortane.test.PortalStandIn", method, parameters,
                                       replyType != nullptr ? G_VARIANT_TYPE(replyType) : nullptr,
                                       G_DBUS_CALL_FLAGS_NONE, 30000, nullptr, nullptr);
  }
  static void Unref(GVariant* v) {
    if (v != nullptr) g_variant_unref(v);
  }

  QTemporaryDir folder_;
  QProcess daemon_;
  QProcess portal_;
  QByteArray address_;
  GDBusConnection* bus_ = nullptr;
};

}  // namespace vortane::test
