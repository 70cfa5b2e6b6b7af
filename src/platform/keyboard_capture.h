#pragma once

#include <QString>

#include "platform/window_message.h"

namespace vortane::platform {

inline constexpr char kKeyboardCaptureLibrary[] = "libkeyvane.so";
inline constexpr char kKeyboardCaptureExport[] = "EnableKeyboardCapture";

enum class KeyboardCaptureStatus {
  kOn,              // F8 and F9 arrive as WM_HOTKEY_EVENT
  kLibraryMissing,  // the library could not be loaded
  kExportMissing,   // the library has no EnableKeyboardCapture
  kRefused,         // the library could not take the keys (no display, another program has them)
};

// The toolbar's global F8/F9 keys: loads the keyboard-capture library and asks it to send every
// press to one window. The library stays loaded while this object lives (also when it refused,
// as the toolbar always had it); destroying the object or Release() unloads it, which stops the
// capture and frees the keys for other programs.
class KeyboardCapture {
 public:
  // Looks for the library in `programFolder` first, then by bare name on the loader's path.
  KeyboardCapture(WindowHandle window, const QString& programFolder);
  // The same with the program's own folder, where the library is installed.
  explicit KeyboardCapture(WindowHandle window);
  ~KeyboardCapture();
  KeyboardCapture(const KeyboardCapture&) = delete;
  KeyboardCapture& operator=(const KeyboardCapture&) = delete;

  KeyboardCaptureStatus status() const { return status_; }
  bool IsOn() const { return status_ == KeyboardCaptureStatus::kOn && library_ != nullptr; }
  bool IsLoaded() const { return library_ != nullptr; }
  // What the toolbar shows once when the keys are not available; empty while capture is on.
  QString message() const;
  // Why, in the loader's words, for whoever installs the program; empty when nothing failed.
  const QString& detail() const { return detail_; }

  // Unloads the library now (the toolbar does this when it closes).
  void Release();

 private:
  void* library_ = nullptr;
  KeyboardCaptureStatus status_ = KeyboardCaptureStatus::kLibraryMissing;
  QString detail_;
};

}  // namespace vortane::platform
