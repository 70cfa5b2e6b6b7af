#include "platform/portal_shortcuts.h"

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QMetaObject>
#include <QObject>
#include <map>
#include <string>

#include "platform/portal_version.h"
#include "platform/window_messages.h"

namespace vortane::platform {
namespace {

constexpr char kPortalName[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kShortcutsInterface[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr char kRequestInterface[] = "org.freedesktop.portal.Request";
// A method call only hands back a request; the answer that may wait for the teacher comes in the
// request's Response signal, which has no time limit.
constexpr int kCallTimeoutMs = 10000;

// The portal names a request or session after the caller's unique name: ":1.42" is "1_42".
std::string SenderPathElement(GDBusConnection* bus) {
  std::string name = g_dbus_connection_get_unique_name(bus);
  if (!name.empty() && name.front() == ':') name.erase(0, 1);
  for (char& c : name)
    if (c == '.') c = '_';
  return name;
}

}  // namespace

class PortalShortcuts::Worker {
 public:
  Worker(WindowHandle window, std::vector<PortalShortcut> shortcuts,
         std::atomic<PortalShortcutsState>& state, QObject* context, ResultHandler onResult)
      : window_(window),
        shortcuts_(std::move(shortcuts)),
        state_(state),
        resultContext_(context),
        onResult_(std::move(onResult)),
        context_(g_main_context_new()),
        cancellable_(g_cancellable_new()) {}

  ~Worker() {
    for (auto& [path, response] : responses_)
      g_variant_unref(response.results);
    g_object_unref(cancellable_);
    g_main_context_unref(context_);
  }

  // Any thread: ends what the worker waits for.
  void Stop() {
    stopping_ = true;
    g_cancellable_cancel(cancellable_);
    g_main_context_wakeup(context_);
  }

  void Run() {
    g_main_context_push_thread_default(context_);
    bus_ = Connect();
    if (bus_ == nullptr || !Offered()) {
      Report(PortalShortcutsState::kUnavailable);
    } else {
      const guint responses = g_dbus_connection_signal_subscribe(
          bus_, nullptr, kRequestInterface, "Response", nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
          &Worker::OnResponse, this, nullptr);
      const guint activations = g_dbus_connection_signal_subscribe(
          bus_, nullptr, kShortcutsInterface, "Activated", kPortalPath, nullptr,
          G_DBUS_SIGNAL_FLAGS_NONE, &Worker::OnActivated, this, nullptr);
      const bool bound = CreateSession() && Bind();
      if (!stopping_)
        Report(bound ? PortalShortcutsState::kBound : PortalShortcutsState::kNotBound);
      // Activations arrive until the toolbar closes.
      while (!stopping_)
        g_main_context_iteration(context_, TRUE);
      g_dbus_connection_signal_unsubscribe(bus_, activations);
      g_dbus_connection_signal_unsubscribe(bus_, responses);
      CloseSession();
    }
    if (bus_ != nullptr) {
      // Dropping the connection also ends a session whose creation was still under way.
      g_dbus_connection_close_sync(bus_, nullptr, nullptr);
      g_object_unref(bus_);
    }
    // Signals already queued for this context hold nothing of ours past here.
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_pop_thread_default(context_);
  }

 private:
  struct Response {
    guint32 code = 2;
    GVariant* results = nullptr;
  };

  // A connection of its own, so its signals are dispatched on this worker's context.
  GDBusConnection* Connect() {
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (address == nullptr) return nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable_, nullptr);
    g_free(address);
    return bus;
  }

  // Waits on this worker's context for a reply; null on an error, a time-out or Stop().
  GVariant* Call(const char* path, const char* interface, const char* method, GVariant* params,
                 const char* replyType) {
    struct Pending {
      GVariant* reply = nullptr;
      bool done = false;
    } pending;
    g_dbus_connection_call(
        bus_, kPortalName, path, interface, method, params, G_VARIANT_TYPE(replyType),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* p = static_cast<Pending*>(data);
          p->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
          p->done = true;
        },
        &pending);
    while (!pending.done)
      g_main_context_iteration(context_, TRUE);
    return pending.reply;
  }

  bool Offered() {
    GVariant* reply = Call(kPortalPath, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", kShortcutsInterface, "version"), "(v)");
    return PortalVersionOffered(reply);
  }

  std::string NewToken() {
    return "vortane" + std::to_string(++tokens_) + "_" + std::to_string(g_random_int());
  }

  // The Request pattern: the answer comes as the Response signal on the request's path, which is
  // known before the call from the handle token (and may be sent before the call's reply).
  bool Ask(const char* method, GVariant* params, const std::string& token, Response& response) {
    const std::string expected =
        std::string(kPortalPath) + "/request/" + SenderPathElement(bus_) + "/" + token;
    GVariant* reply = Call(kPortalPath, kShortcutsInterface, method, params, "(o)");
    if (reply == nullptr) return false;
    const gchar* handle = nullptr;
    g_variant_get(reply, "(&o)", &handle);
    const std::string returned = handle;
    g_variant_unref(reply);
    while (!stopping_) {
      for (const std::string& path : {expected, returned}) {
        auto found = responses_.find(path);
        if (found == responses_.end()) continue;
        response = found->second;
        responses_.erase(found);
        return true;
      }
      g_main_context_iteration(context_, TRUE);
    }
    return false;
  }

  bool CreateSession() {
    const std::string token = NewToken();
    const std::string sessionToken = NewToken();
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "session_handle_token",
                          g_variant_new_string(sessionToken.c_str()));
    Response response;
    if (!Ask("CreateSession", g_variant_new("(a{sv})", &options), token, response)) return false;
    // The portal documents it as a string; some send an object path.
    GVariant* session = response.code == 0
                            ? g_variant_lookup_value(response.results, "session_handle", nullptr)
                            : nullptr;
    if (session != nullptr) {
      if ((g_variant_is_of_type(session, G_VARIANT_TYPE_STRING) ||
           g_variant_is_of_type(session, G_VARIANT_TYPE_OBJECT_PATH)) &&
          g_variant_is_object_path(g_variant_get_string(session, nullptr)))
        session_ = g_variant_get_string(session, nullptr);
      g_variant_unref(session);
    }
    g_variant_unref(response.results);
    return !session_.empty();
  }

  bool Bind() {
    const std::string token = NewToken();
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
    for (const PortalShortcut& shortcut : shortcuts_) {
      GVariantBuilder properties;
      g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&properties, "{sv}", "description",
                            g_variant_new_string(shortcut.description.toUtf8().constData()));
      g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                            g_variant_new_string(shortcut.preferredTrigger.toUtf8().constData()));
      g_variant_builder_add(&list, "(sa{sv})", shortcut.id.toUtf8().constData(), &properties);
    }
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    Response response;
    if (!Ask("BindShortcuts",
             g_variant_new("(oa(sa{sv})sa{sv})", session_.c_str(), &list, "", &options), token,
             response))
      return false;
    g_variant_unref(response.results);
    return response.code == 0;
  }

  // Fire and forget: the toolbar is closing and waits for nobody's answer.
  void CloseSession() {
    if (session_.empty()) return;
    g_dbus_connection_call(bus_, kPortalName, session_.c_str(), "org.freedesktop.portal.Session",
                           "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr,
                           nullptr);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
  }

  void Report(PortalShortcutsState state) {
    state_ = state;
    if (resultContext_ == nullptr || !onResult_) return;
    QMetaObject::invokeMethod(
        resultContext_, [handler = onResult_, state] { handler(state); }, Qt::QueuedConnection);
  }

  static void OnResponse(GDBusConnection*, const gchar*, const gchar* path, const gchar*,
                         const gchar*, GVariant* parameters, gpointer data) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
    auto* self = static_cast<Worker*>(data);
    Response response;
    g_variant_get(parameters, "(u@a{sv})", &response.code, &response.results);
    auto [at, added] = self->responses_.emplace(path, response);
    if (!added) g_variant_unref(response.results);
  }

  static void OnActivated(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer data) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;
    auto* self = static_cast<Worker*>(data);
    const gchar* session = nullptr;
    const gchar* id = nullptr;
    g_variant_get(parameters, "(&o&st@a{sv})", &session, &id, nullptr, nullptr);
    if (self->session_.empty() || self->session_ != session) return;
    const QString name = QString::fromUtf8(id);
    for (const PortalShortcut& shortcut : self->shortcuts_)
      if (shortcut.id == name)
        PostWindowMessage(self->window_, {WM_HOTKEY_EVENT, shortcut.keyCode, 0});
  }

  const WindowHandle window_;
  const std::vector<PortalShortcut> shortcuts_;
  std::atomic<PortalShortcutsState>& state_;
  QObject* const resultContext_;
  const ResultHandler onResult_;
  GMainContext* const context_;
  GCancellable* const cancellable_;
  std::atomic<bool> stopping_{false};
  GDBusConnection* bus_ = nullptr;
  std::string session_;
  std::map<std::string, Response> responses_;
  unsigned tokens_ = 0;
};

PortalShortcuts::PortalShortcuts(WindowHandle window, std::vector<PortalShortcut> shortcuts,
                                 QObject* context, ResultHandler onResult)
    : worker_(std::make_unique<Worker>(window, std::move(shortcuts), state_, context,
                                       std::move(onResult))),
      thread_([worker = worker_.get()] { worker->Run(); }) {}

PortalShortcuts::~PortalShortcuts() {
  Close();
}

void PortalShortcuts::Close() {
  if (!thread_.joinable()) return;
  worker_->Stop();
  thread_.join();
  state_ = PortalShortcutsState::kClosed;
}

}  // namespace vortane::platform
