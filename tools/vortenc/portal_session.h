#pragma once

#include <gio/gio.h>

#include <string>

// A screencast session with the desktop portal (org.freedesktop.portal.ScreenCast): the teacher
// (or the desktop, without asking again once a restore token is known) chooses a monitor, and the
// portal hands over a PipeWire connection that sees only that monitor's stream. The session lasts
// as long as this object keeps its bus connection.
namespace vortenc {

struct PortalStream {
  unsigned nodeId = 0;
  int x = 0, y = 0;           // the monitor's place on the desktop, in desktop units
  int width = 0, height = 0;  // its size in the same units; 0 when the portal does not say
};

class PortalSession {
 public:
  enum class Outcome { kStarted, kCancelled, kFailed };

  PortalSession() = default;
  ~PortalSession();
  PortalSession(const PortalSession&) = delete;
  PortalSession& operator=(const PortalSession&) = delete;

  // Asks for one monitor with the cursor drawn in. `restoreToken` (may be empty) is handed back
  // from an earlier session, so the desktop need not ask again; the new one is `RestoreToken()`.
  Outcome Start(const std::string& restoreToken);
  // The PipeWire connection to the chosen stream (a new descriptor each call), -1 on failure.
  int OpenPipeWireRemote();

  const PortalStream& Stream() const { return stream_; }
  const std::string& RestoreToken() const { return restoreToken_; }
  // Why Start or OpenPipeWireRemote failed, in words for the teacher's log.
  const std::string& Error() const { return error_; }

 private:
  // Calls a portal method that answers through a Request object; `results` gets its answer.
  Outcome Request(const char* method, GVariant* parameters, GVariant** results);
  bool Fail(const std::string& what, GError* error);

  GDBusConnection* bus_ = nullptr;
  std::string session_;
  PortalStream stream_;
  std::string restoreToken_;
  std::string error_;
  unsigned requests_ = 0;
};

// A restore token as the portals make them (a UUID or similar): anything else read from the
// settings folder is ignored.
bool IsPlausibleRestoreToken(const std::string& token);

}  // namespace vortenc
