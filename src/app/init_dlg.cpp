#include "app/init_dlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <cstdio>

#include "app/toolbar_layout.h"
#include "platform/folders.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

// The worker's answer to the dialog (a message of its own, never seen elsewhere).

const char kSlashes[] = "///////////////////////////////////////////";
const char kLineBreak[] = "\r\n";

int stepCounter = 0;

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

}  // namespace

int CInitDlg::StepCounter() {
  return stepCounter;
}

void CInitDlg::ResetStepCounter() {
  stepCounter = 0;
}

CInitDlg::CInitDlg(QWidget* parent, Probe probe)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      probe_(std::move(probe)) {
  if (!probe_) {
    const QString folder = GetWindowsFolder();
    probe_ = [folder] { return CheckInstallation(folder); };
  }
  setWindowTitle(Text("初始化..."));
  setModal(true);
  setFont(ui::MakeUiFont(Text("微软雅黑"), 12));
  setFixedSize(DialogUnitsToPixels(QSize(223, 113)));

  logLabel_ = new QLabel(this);
  logLabel_->setObjectName(QStringLiteral("log"));
  logLabel_->setGeometry(DialogUnitsToPixels(QRect(7, 7, 209, 80)));
  logLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  logLabel_->setWordWrap(true);

  ok_ = new QPushButton(Text("确定"), this);
  ok_->setGeometry(DialogUnitsToPixels(QRect(166, 92, 50, 14)));
  ok_->setDefault(true);
  ok_->hide();
  connect(ok_, &QPushButton::clicked, this, &CInitDlg::OnOk);
  cancel_ = new QPushButton(Text("取消"), this);
  cancel_->setGeometry(DialogUnitsToPixels(QRect(109, 92, 50, 14)));
  cancel_->hide();

  ApplyColours();
  stepTimer_.setSingleShot(true);
  stepTimer_.setTimerType(Qt::PreciseTimer);
  connect(&stepTimer_, &QTimer::timeout, this, &CInitDlg::OnTick);

  // The toolbar waits above the screen during the check, so the dialog centres on the screen.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

CInitDlg::~CInitDlg() {
  if (prober_.joinable()) prober_.join();
}

void CInitDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (opened_) return;
  opened_ = true;
  checkDone_ = false;
  checkFailed_ = false;
  prober_ = std::thread([this, probe = probe_] {
    // Delivered on the dialog's thread; dropped when the dialog is gone by then.
    QMetaObject::invokeMethod(
        this, [this, report = probe()] { OnProbeDone(report); }, Qt::QueuedConnection);
  });
  stepTimer_.start(100);
}

void CInitDlg::reject() {}

void CInitDlg::OnTick() {
  switch (++stepCounter) {
    case 1:
      Append(Text("检查系统...") + kLineBreak);
      stepTimer_.start(500);
      break;
    case 2:
      Append(Text("验证安装文件..."));
      if (probeDone_) {
        ReportInstallation();
      } else {
        waitingForProbe_ = true;
      }
      break;
    case 3:
      Append(Text("系统检查完毕!") + kLineBreak);
      Append(Text("正在启动主程序...") + kLineBreak);
      checkDone_ = true;
      stepTimer_.start(1000);
      break;
    default:
      done(QDialog::Accepted);
      break;
  }
}

void CInitDlg::OnProbeDone(const InstallationReport& report) {
  report_ = report;
  probeDone_ = true;
  if (waitingForProbe_) {
    waitingForProbe_ = false;
    ReportInstallation();
  }
}

void CInitDlg::ReportInstallation() {
  if (!report_.encoderInstalled) {
    checkFailed_ = true;
    Append(kLineBreak);
    Append(Text("系统缺少关键的运行文件！") + kLineBreak);
    Append(Text("请按指导正确安装后再次运行！") + kLineBreak);
  } else if (!report_.virtualSourcesInstalled) {
    checkFailed_ = true;
    Append(QLatin1String(kSlashes) + kLineBreak);
    Append(Text("缺少关键的库文件！") + kLineBreak);
    Append(Text("请按指导正确安装后再次运行！") + kLineBreak);
    Append(QLatin1String(kSlashes) + kLineBreak);
  } else if (!report_.screenRecordable) {
    checkFailed_ = true;
    Append(kLineBreak);
    Append(report_.screenProblem + kLineBreak);
  } else {
    Append(Text("通过!") + kLineBreak);
    if (!report_.note.isEmpty()) {
      Append(report_.note + kLineBreak);
      std::fprintf(stderr, "vortane: start-up check: %s\n", report_.note.toUtf8().constData());
    }
    stepTimer_.start(500);
    return;
  }
  // Whoever installs the program sees what exactly is missing when starting it from a terminal.
  std::fprintf(stderr, "vortane: start-up check failed: %s\n", qPrintable(report_.detail));
  if (!report_.screenProblem.isEmpty())
    std::fprintf(stderr, "vortane: start-up check: %s\n",
                 report_.screenProblem.toUtf8().constData());
  ApplyColours();
  ok_->show();
  ok_->setFocus();
}

void CInitDlg::Append(const QString& text) {
  log_ += text;
  QString shown = log_;
  shown.replace(QLatin1String(kLineBreak), QLatin1String("\n"));
  logLabel_->setText(shown);
}

void CInitDlg::ApplyColours() {
  const QString text =
      checkFailed_ ? QStringLiteral("rgb(255,0,0)") : QStringLiteral("rgb(0,255,0)");
  setStyleSheet(QStringLiteral("QDialog, QLabel, QPushButton { background-color: rgb(88,88,88); "
                               "color: %1; }"
                               "QPushButton { border: 1px solid %1; padding: 2px; }")
                    .arg(text));
}

void CInitDlg::OnOk() {
  done(checkDone_ ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace vortane
