#include "platform/keyboard_capture.h"

#include <dlfcn.h>

#include <QFile>
#include <cstdint>

#include "platform/folders.h"

namespace vortane::platform {
namespace {

// (target window, the library's own module handle) → non-zero when capture is on.
using EnableKeyboardCaptureFunction = unsigned char (*)(std::uint64_t window, void* module);

QString LoaderError() {
  const char* error = dlerror();
  return error != nullptr ? QString::fromLocal8Bit(error) : QString();
}

}  // namespace

KeyboardCapture::KeyboardCapture(WindowHandle window, const QString& programFolder) {
  const QString besideProgram = WithTrailingSeparator(programFolder) + kKeyboardCaptureLibrary;
  library_ = dlopen(QFile::encodeName(besideProgram).constData(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    detail_ = LoaderError();
    library_ = dlopen(kKeyboardCaptureLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
      detail_ += QStringLiteral("; ") + LoaderError();
      status_ = KeyboardCaptureStatus::kLibraryMissing;
      return;
    }
    detail_.clear();
  }

  auto enable =
      reinterpret_cast<EnableKeyboardCaptureFunction>(dlsym(library_, kKeyboardCaptureExport));
  if (enable == nullptr) {
    detail_ = LoaderError();
    status_ = KeyboardCaptureStatus::kExportMissing;
    Release();
    return;
  }
  if (enable(window, library_) == 0) {
    detail_ = QStringLiteral(
                  "%1 could not take F8 and F9 (no X display, or another program "
                  "holds one of the keys)")
                  .arg(QLatin1String(kKeyboardCaptureLibrary));
    status_ = KeyboardCaptureStatus::kRefused;
    return;
  }
  status_ = KeyboardCaptureStatus::kOn;
}

KeyboardCapture::KeyboardCapture(WindowHandle window)
    : KeyboardCapture(window, GetProgramFolder()) {}

KeyboardCapture::~KeyboardCapture() {
  Release();
}

QString KeyboardCapture::message() const {
  if (status_ == KeyboardCaptureStatus::kOn) return {};
  return QStringLiteral("注册系统热键失败，您无法使用热键操作！");
}

void KeyboardCapture::Release() {
  if (library_ == nullptr) return;
  dlclose(library_);
  library_ = nullptr;
}

}  // namespace vortane::platform
