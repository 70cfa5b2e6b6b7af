#include "vortenc/portal_session.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <algorithm>

namespace vortenc {
namespace {

constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kScreenCast[] = "org.freedesktop.portal.ScreenCast";
constexpr unsigned kMonitor = 1;
constexpr unsigned kCursorEmbedded = 2;
constexpr unsigned kCursorHidden = 1;
constexpr unsigned kPersistUntilRevoked = 2;
// A call that shows no dialog answers in milliseconds; this only bounds a portal that hangs.
constexpr int kCallTimeoutMs = 30'000;

struct Answer {
  bool done = false;
  unsigned code = 2;
  GVariant* results = nullptr;
};

void OnResponse(GDBusConnection*, const char*, const char*, const char*, const char*,
                GVariant* parameters, gpointer data) {
  auto* answer = static_cast<Answer*>(data);
  g_variant_get(parameters, "(u@a{sv})", &answer->code, &answer->results);
  answer->done = true;
}

// The request object's path: the caller's unique name without ':' and with '.' → '_'.
std::string RequestPath(GDBusConnection* bus, const std::string& token) {
  std::string sender = g_dbus_connection_get_unique_name(bus) + 1;
  std::replace(sender.begin(), sender.end(), '.', '_');
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

}  // namespace

bool IsPlausibleRestoreToken(const std::string& token) {
  if (token.empty() || token.size() > 128) return false;
  return std::all_of(token.begin(), token.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
}

PortalSession::~PortalSession() {
  if (bus_ != nullptr) g_object_unref(bus_);
}

bool PortalSession::Fail(const std::string& what, GError* error) {
  error_ = what + (error != nullptr ? std::string(": ") + error->message : std::string());
  if (error != nullptr) g_error_free(error);
  return false;
}

PortalSession::Outcome PortalSession::Request(const char* method, GVariant* parameters,
                                              GVariant** results) {
  // The token is also in `parameters` (handle_token), built by the caller with this number.
  const std::string token = "vortane" + std::to_string(requests_);
  Answer answer;
  // Subscribed before the call: the answer may come before the call returns.
  const unsigned subscription = g_dbus_connection_signal_subscribe(
      bus_, kPortal, "org.freedesktop.portal.Request", "Response", RequestPath(bus_, token).c_str(),
      nullptr, G_DBUS_SIGNAL_FLAGS_NONE, OnResponse, &answer, nullptr);
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      bus_, kPortal, kPortalPath, kScreenCast, method, parameters, G_VARIANT_TYPE("(o)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
  if (reply == nullptr) {
    g_dbus_connection_signal_unsubscribe(bus_, subscription);
    Fail(std::string("the desktop portal refused ") + method, error);
    return Outcome::kFailed;
  }
  g_variant_unref(reply);
  // No time limit: Start may wait for the teacher's choice in a dialog.
  while (!answer.done)
    g_main_context_iteration(nullptr, TRUE);
  g_dbus_connection_signal_unsubscribe(bus_, subscription);
  if (answer.code == 1) {
    if (answer.results != nullptr) g_variant_unref(answer.results);
    error_ = "the screen share was cancelled";
    return Outcome::kCancelled;
  }
  if (answer.code != 0) {
    if (answer.results != nullptr) g_variant_unref(answer.results);
    error_ = std::string("the desktop portal could not complete ") + method;
    return Outcome::kFailed;
  }
  *results = answer.results;
  return Outcome::kStarted;
}

PortalSession::Outcome PortalSession::Start(const std::string& restoreToken) {
  GError* error = nullptr;
  bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus_ == nullptr) {
    Fail("no session bus", error);
    return Outcome::kFailed;
  }

  // Cursor modes the portal offers; an old portal without the property gets the cursor hidden.
  unsigned cursorMode = kCursorHidden;
  GVariant* modes = g_dbus_connection_call_sync(
      bus_, kPortal, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
      g_variant_new("(ss)", kScreenCast, "AvailableCursorModes"), G_VARIANT_TYPE("(v)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
  if (modes == nullptr) {
    Fail("the desktop portal has no screen cast", error);
    return Outcome::kFailed;
  }
  GVariant* value = nullptr;
  g_variant_get(modes, "(v)", &value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32) &&
      (g_variant_get_uint32(value) & kCursorEmbedded) != 0)
    cursorMode = kCursorEmbedded;
  g_variant_unref(value);
  g_variant_unref(modes);

  GVariantBuilder options;
  GVariant* results = nullptr;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token",
                        g_variant_new_string(("vortane" + std::to_string(requests_)).c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token",
                        g_variant_new_string("vortane_session"));
  Outcome outcome = Request("CreateSession", g_variant_new("(a{sv})", &options), &results);
  if (outcome != Outcome::kStarted) return outcome;
  const char* session = nullptr;
  if (!g_variant_lookup(results, "session_handle", "&s", &session) &&
      !g_variant_lookup(results, "session_handle", "&o", &session)) {
    g_variant_unref(results);
    error_ = "the desktop portal made no screen cast session";
    return Outcome::kFailed;
  }
  session_ = session;
  g_variant_unref(results);

  ++requests_;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token",
                        g_variant_new_string(("vortane" + std::to_string(requests_)).c_str()));
  g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kMonitor));
  g_variant_builder_add(&options, "{sv}", "multiple", g_variant_new_boolean(FALSE));
  g_variant_builder_add(&options, "{sv}", "cursor_mode", g_variant_new_uint32(cursorMode));
  g_variant_builder_add(&options, "{sv}", "persist_mode",
                        g_variant_new_uint32(kPersistUntilRevoked));
  if (IsPlausibleRestoreToken(restoreToken))
    g_variant_builder_add(&options, "{sv}", "restore_token",
                          g_variant_new_string(restoreToken.c_str()));
  outcome =
      Request("SelectSources", g_variant_new("(oa{sv})", session_.c_str(), &options), &results);
  if (outcome != Outcome::kStarted) return outcome;
  g_variant_unref(results);

  ++requests_;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token",
                        g_variant_new_string(("vortane" + std::to_string(requests_)).c_str()));
  outcome = Request("Start", g_variant_new("(osa{sv})", session_.c_str(), "", &options), &results);
  if (outcome != Outcome::kStarted) return outcome;
  const char* token = nullptr;
  if (g_variant_lookup(results, "restore_token", "&s", &token)) restoreToken_ = token;
  GVariant* streams = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
  if (streams == nullptr || g_variant_n_children(streams) == 0) {
    if (streams != nullptr) g_variant_unref(streams);
    g_variant_unref(results);
    error_ = "the desktop portal offered no screen";
    return Outcome::kFailed;
  }
  GVariant* properties = nullptr;
  g_variant_get_child(streams, 0, "(u@a{sv})", &stream_.nodeId, &properties);
  g_variant_lookup(properties, "position", "(ii)", &stream_.x, &stream_.y);
  g_variant_lookup(properties, "size", "(ii)", &stream_.width, &stream_.height);
  g_variant_unref(properties);
  g_variant_unref(streams);
  g_variant_unref(results);
  return Outcome::kStarted;
}

int PortalSession::OpenPipeWireRemote() {
  GUnixFDList* descriptors = nullptr;
  GError* error = nullptr;
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
      bus_, kPortal, kPortalPath, kScreenCast, "OpenPipeWireRemote",
      g_variant_new("(oa{sv})", session_.c_str(), &options), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &descriptors, nullptr, &error);
  if (reply == nullptr) {
    Fail("the desktop portal gave no PipeWire connection", error);
    return -1;
  }
  int handle = -1;
  g_variant_get(reply, "(h)", &handle);
  g_variant_unref(reply);
  const int fd = descriptors != nullptr ? g_unix_fd_list_get(descriptors, handle, &error) : -1;
  if (descriptors != nullptr) g_object_unref(descriptors);
  if (fd < 0) Fail("the desktop portal gave no PipeWire connection", error);
  return fd;
}

}  // namespace vortenc
