#pragma once

#include <QCoreApplication>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/vortane_dlg.h"
#include "encoder/encoder_job.h"
#include "platform/window_message.h"
#include "settings/region_windows.h"
#include "settings/shift_region_window.h"
#include "support/job_events.h"
#include "ui/label.h"

namespace vortane::test {

// A toolbar window for tests: its jobs are recorded instead of run, its message boxes are
// collected, and it grabs no keys, ends no encoder and recovers no earlier lesson. Tests adjust
// the services they care about before Open().
struct ToolbarHarness {
  CVortaneDlg::Services QuietServices() {
    CVortaneDlg::Services services;
    services.showMessage = [this](QWidget*, const QString& text) {
      messages.push_back(text);
      if (onMessage) onMessage(text);
    };
    services.runStartupCheck = [](QWidget*) { return true; };
    services.showAbout = [](QWidget*) {};
    services.programFolder = qEnvironmentVariable("VORTANE_PROGRAM_DIR");
    services.captureKeyboard = false;
    services.portalShortcuts = false;
    services.endLeftoverEncoder = false;
    services.recoverUnfinished = false;
    return services;
  }

  void Open(const CVortaneDlg::Services& services, Settings* settings) {
    window = std::make_unique<CVortaneDlg>(services, settings);
    window->controller().SetJobStarter(
        [this](const std::shared_ptr<ProcessJob>& job) { jobs.push_back(job); });
    QObject::connect(window.get(), &QDialog::finished, [this](int code) { finished = code; });
  }

  // A key of the key-grab library (WM_HOTKEY_EVENT with the key's code).
  void Post(std::uint32_t message, std::uintptr_t wParam) {
    platform::PostWindowMessage(window->MessageHandle(), {message, wParam, 0});
    QCoreApplication::processEvents();
  }
  // What the region selection reports: a dragged rectangle, or a cancel (nothing).
  void ChooseRegion(const std::optional<CaptureRegion>& region) {
    if (region) {
      emit RegionOverlay()->regionDragged(*region);
    } else {
      emit RegionOverlay()->selectionCancelled();
    }
    QCoreApplication::processEvents();
  }
  // A report of the newest job, as its worker would send it.
  void PostJob(int code, const char* text = "", double value = 0) {
    EmitJobStatus(*jobs.back(), code, text, value);
    QCoreApplication::processEvents();
  }
  QString Status() const { return window->Label(CVortaneDlg::ControlId::kIdStatus)->text(); }

  std::vector<QString> messages;
  std::function<void(const QString&)> onMessage;
  std::vector<std::shared_ptr<ProcessJob>> jobs;
  std::optional<int> finished;
  std::unique_ptr<CVortaneDlg> window;
};

}  // namespace vortane::test
