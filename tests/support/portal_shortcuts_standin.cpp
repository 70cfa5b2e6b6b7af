// A stand-in desktop portal for the tests of the global keys: it owns
// org.freedesktop.portal.Desktop on the session bus it is given (a private one the test starts),
// says it offers ScreenCast (its version only, for the start-up check), offers GlobalShortcuts
// (CreateSession, BindShortcuts, each answered through a Request's Response signal, and sessions
// that can be closed), and records what it was asked. A test drives it through
// com.vortane.test.PortalStandIn: Log() returns the record, Activate(id) emits Activated for the
// last session, RefuseBinding() answers later BindShortcuts with code 1 (cancelled). It prints
// "ready" once it owns the name.
#include <gio/gio.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kPath[] = "/org/freedesktop/portal/desktop";

constexpr char kIntrospection[] = R"xml(<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a(sa{sv})" name="shortcuts" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <signal name="Activated">
      <arg type="o" name="session_handle"/>
      <arg type="s" name="shortcut_id"/>
      <arg type="t" name="timestamp"/>
      <arg type="a{sv}" name="options"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.ScreenCast">
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="com.vortane.test.PortalStandIn">
    <method name="Log"><arg type="as" name="lines" direction="out"/></method>
    <method name="Activate"><arg type="s" name="id" direction="in"/></method>
    <method name="RefuseBinding"/>
  </interface>
</node>)xml";

constexpr char kSessionIntrospection[] = R"xml(<node>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
  </interface>
</node>)xml";

struct StandIn {
  GDBusConnection* bus = nullptr;
  GDBusNodeInfo* session = nullptr;
  std::vector<std::string> log;
  std::string client;       // the unique name of the session's owner
  std::string sessionPath;  // the last session made
  bool refuse = false;
};
StandIn standIn;

std::string PathElement(const char* sender) {
  std::string name = sender + (sender[0] == ':' ? 1 : 0);
  for (char& c : name)
    if (c == '.') c = '_';
  return name;
}

// The token from the options, or empty when the caller sent none.
std::string Token(GVariant* options, const char* key) {
  const gchar* token = nullptr;
  return g_variant_lookup(options, key, "&s", &token) ? token : std::string();
}

struct PendingResponse {
  std::string sender, path;
  guint32 code;
  GVariant* results;
};

// Answers after the method's reply, as a portal does once its dialog has closed.
void RespondLater(const char* sender, const std::string& path, guint32 code, GVariant* results) {
  auto* response = new PendingResponse{sender, path, code, g_variant_ref_sink(results)};
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* r = static_cast<PendingResponse*>(data);
        g_dbus_connection_emit_signal(standIn.bus, r->sender.c_str(), r->path.c_str(),
                                      "org.freedesktop.portal.Request", "Response",
                                      g_variant_new("(u@a{sv})", r->code, r->results), nullptr);
        g_variant_unref(r->results);
        delete r;
        return G_SOURCE_REMOVE;
      },
      response);
}

void OnSessionCall(GDBusConnection*, const gchar* sender, const gchar* path, const gchar*,
                   const gchar* method, GVariant*, GDBusMethodInvocation* invocation, gpointer) {
  if (std::string(method) == "Close" && sender == standIn.client) {
    standIn.log.push_back(std::string("Close ") + (path == standIn.sessionPath ? "session" : path));
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

void OnPortalCall(GDBusConnection* bus, const gchar* sender, const gchar*, const gchar*,
                  const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                  gpointer) {
  const std::string name = method;
  const std::string requests = std::string(kPath) + "/request/" + PathElement(sender) + "/";
  if (name == "CreateSession") {
    GVariant* options = nullptr;
    g_variant_get(parameters, "(@a{sv})", &options);
    const std::string token = Token(options, "handle_token");
    const std::string sessionToken = Token(options, "session_handle_token");
    g_variant_unref(options);
    if (token.empty() || sessionToken.empty()) {
      g_dbus_method_invocation_return_dbus_error(invocation,
                                                 "org.freedesktop.DBus.Error.InvalidArgs",
                                                 "handle_token and session_handle_token wanted");
      return;
    }
    standIn.client = sender;
    standIn.sessionPath =
        std::string(kPath) + "/session/" + PathElement(sender) + "/" + sessionToken;
    static const GDBusInterfaceVTable sessionTable{OnSessionCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, standIn.sessionPath.c_str(),
                                      standIn.session->interfaces[0], &sessionTable, nullptr,
                                      nullptr, nullptr);
    standIn.log.push_back("CreateSession");
    g_dbus_method_invocation_return_value(invocation,
                                          g_variant_new("(o)", (requests + token).c_str()));
    GVariantBuilder results;
    g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&results, "{sv}", "session_handle",
                          g_variant_new_string(standIn.sessionPath.c_str()));
    RespondLater(sender, requests + token, 0, g_variant_builder_end(&results));
  } else if (name == "BindShortcuts") {
    const gchar* session = nullptr;
    GVariantIter* shortcuts = nullptr;
    GVariant* options = nullptr;
    g_variant_get(parameters, "(&oa(sa{sv})&s@a{sv})", &session, &shortcuts, nullptr, &options);
    const std::string token = Token(options, "handle_token");
    g_variant_unref(options);
    const gchar* id = nullptr;
    GVariant* properties = nullptr;
    while (g_variant_iter_next(shortcuts, "(&s@a{sv})", &id, &properties)) {
      const std::string description = Token(properties, "description");
      const std::string trigger = Token(properties, "preferred_trigger");
      standIn.log.push_back("BindShortcuts " + std::string(id) + " " + description + " " + trigger);
      g_variant_unref(properties);
    }
    g_variant_iter_free(shortcuts);
    if (token.empty() || session != standIn.sessionPath) {
      g_dbus_method_invocation_return_dbus_error(invocation,
                                                 "org.freedesktop.DBus.Error.InvalidArgs",
                                                 "unknown session or no handle_token");
      return;
    }
    g_dbus_method_invocation_return_value(invocation,
                                          g_variant_new("(o)", (requests + token).c_str()));
    RespondLater(sender, requests + token, standIn.refuse ? 1 : 0,
                 g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
  } else if (name == "Log") {
    GVariantBuilder lines;
    g_variant_builder_init(&lines, G_VARIANT_TYPE_STRING_ARRAY);
    for (const std::string& line : standIn.log)
      g_variant_builder_add(&lines, "s", line.c_str());
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &lines));
  } else if (name == "Activate") {
    const gchar* id = nullptr;
    g_variant_get(parameters, "(&s)", &id);
    if (!standIn.client.empty())
      g_dbus_connection_emit_signal(
          bus, standIn.client.c_str(), kPath, "org.freedesktop.portal.GlobalShortcuts", "Activated",
          g_variant_new("(ost@a{sv})", standIn.sessionPath.c_str(), id,
                        guint64(g_get_monotonic_time() / 1000),
                        g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
          nullptr);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  } else if (name == "RefuseBinding") {
    standIn.refuse = true;
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
}

GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                        const gchar* property, GError**, gpointer) {
  return std::string(property) == "version" ? g_variant_new_uint32(1) : nullptr;
}

}  // namespace

int main() {
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  standIn.session = g_dbus_node_info_new_for_xml(kSessionIntrospection, nullptr);
  standIn.bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (standIn.bus == nullptr || node == nullptr || standIn.session == nullptr) return 2;
  static const GDBusInterfaceVTable table{OnPortalCall, OnGetProperty, nullptr, {}};
  for (int i = 0; node->interfaces[i] != nullptr; ++i)
    g_dbus_connection_register_object(standIn.bus, kPath, node->interfaces[i], &table, nullptr,
                                      nullptr, nullptr);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_bus_own_name_on_connection(
      standIn.bus, "org.freedesktop.portal.Desktop", G_BUS_NAME_OWNER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, gpointer) {
        std::puts("ready");
        std::fflush(stdout);
      },
      [](GDBusConnection*, const gchar*, gpointer data) {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
      },
      loop, nullptr);
  // Runs until the test ends the bus (or kills it).
  g_main_loop_run(loop);
  return 0;
}
