#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace vortane {
namespace platform {
enum class DeviceCategory;
}

// What the toolbar reaches outside itself. Empty members take the program's own behaviour
// (WithDefaults); tests replace what would block them or reach beyond them.
struct ToolbarServices {
  // A modal OK box with the program's title.
  std::function<void(QWidget* owner, const QString& text)> showMessage;
  // The same with a warning sign: the settings dialog's and the camera window's messages.
  // When only showMessage is given, these go there too.
  std::function<void(QWidget* owner, const QString& text)> showWarning;
  // The same with an information sign (the interaction buttons' notes); showMessage when only
  // that is given.
  std::function<void(QWidget* owner, const QString& text)> showInformation;
  // The capture devices the settings dialog offers (default: the machine's). Called on a
  // worker thread.
  std::function<QStringList(platform::DeviceCategory)> listDevices;
  // The start-up check dialog; true when it passed.
  std::function<bool(QWidget* owner)> runStartupCheck;
  // The About box.
  std::function<void(QWidget* owner)> showAbout;
  // A question with Yes and No; true for Yes.
  std::function<bool(QWidget* owner, const QString& text)> askQuestion;
  // Where skin/ and the keyboard-capture library are (default: the program folder).
  QString programFolder;
  // Take F8/F9 through the keyboard-capture library.
  bool captureKeyboard = true;
  // On a Wayland session, also bind F8/F9 through the desktop portal's GlobalShortcuts (the
  // session bus of DBUS_SESSION_BUS_ADDRESS).
  bool portalShortcuts = true;
  // End an encoder an earlier run left behind.
  bool endLeftoverEncoder = true;
  // Copy the lessons an earlier run left unfinished into their final files.
  bool recoverUnfinished = true;
  // A close that waits for the encoder waits this long for a capture to stop; a copy into the
  // final file (a remux) is always waited for, since cutting it short would break the file.
  int closeTimeoutMs = 60000;
  // Trace status texts and messages on standard error (VORTANE_TRACE=1 turns it on).
  bool trace = false;
};

// Fills what was left empty with the program's own message boxes, check dialog, About box and
// program folder (ending in '/').
ToolbarServices WithDefaults(ToolbarServices services);

}  // namespace vortane
