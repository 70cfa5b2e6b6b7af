#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>
#include <thread>

#include "app/startup_check.h"

class QLabel;
class QPushButton;

namespace vortane {

// The start-up check ("初始化..."): a short log of steps on a grey dialog, green while all is
// well. Step 1 (100 ms after opening) greets, step 2 (500 ms later) reports the installation,
// step 3 (500 ms later) announces the start, and 1000 ms after that the dialog closes with
// Accepted. A failed step turns the log red and shows OK, which closes with Rejected. Esc and the
// window's close button do nothing.
//
// The installation is tested on a worker thread from the moment the dialog opens; step 2 waits
// for the answer when it is not there yet (the sound server is given up to two seconds).
class CInitDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kIdLog = 1024;
  static constexpr int kIdOk = 1;
  static constexpr int kIdCancel = 2;

  using Probe = std::function<InstallationReport()>;

  // `probe` tests the installation (run off the UI thread); by default CheckInstallation of the
  // program folder.
  explicit CInitDlg(QWidget* parent = nullptr, Probe probe = {});
  ~CInitDlg() override;

  bool checkDone() const { return checkDone_; }
  bool checkFailed() const { return checkFailed_; }
  // The log as written, with "\r\n" line breaks.
  const QString& LogText() const { return log_; }
  const InstallationReport& report() const { return report_; }
  QLabel* LogLabel() const { return logLabel_; }
  QPushButton* OkButton() const { return ok_; }

  // The steps are counted once per process: a second check dialog closes at its first tick.
  static int StepCounter();
  static void ResetStepCounter();

  // The Cancel command and Esc do nothing.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnTick();
  void OnProbeDone(const InstallationReport& report);
  void ReportInstallation();
  void Append(const QString& text);
  void ApplyColours();
  void OnOk();

  Probe probe_;
  bool checkDone_ = false;
  bool checkFailed_ = false;
  bool opened_ = false;
  bool probeDone_ = false;
  bool waitingForProbe_ = false;
  InstallationReport report_;
  QString log_;
  QLabel* logLabel_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  // One-shot: the time to the next step.
  QTimer stepTimer_;
  // Runs the probe; joined when the dialog goes.
  std::thread prober_;
};

}  // namespace vortane
