#include "app/toolbar_services.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/about_dlg.h"
#include "app/init_dlg.h"
#include "platform/folders.h"
#include "platform/program_info.h"

namespace vortane {
namespace {

QString WithLineFeeds(const QString& text) {
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return shown;
}

void ShowBox(QMessageBox::Icon icon, QWidget* owner, const QString& text) {
  QMessageBox box(icon, ProgramTitle(), WithLineFeeds(text), QMessageBox::Ok, owner);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

bool AskYesNo(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Question, ProgramTitle(), WithLineFeeds(text), QMessageBox::NoButton,
                  owner);
  QPushButton* yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
  box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
  return box.clickedButton() == yes;
}

}  // namespace

ToolbarServices WithDefaults(ToolbarServices services) {
  auto box = [](QMessageBox::Icon icon) {
    return [icon](QWidget* owner, const QString& text) { ShowBox(icon, owner, text); };
  };
  if (!services.showWarning)
    services.showWarning = services.showMessage ? services.showMessage : box(QMessageBox::Warning);
  if (!services.showInformation)
    services.showInformation =
        services.showMessage ? services.showMessage : box(QMessageBox::Information);
  if (!services.showMessage) services.showMessage = box(QMessageBox::NoIcon);
  if (!services.runStartupCheck) {
    services.runStartupCheck = [](QWidget* owner) {
      CInitDlg check(owner);
      return check.exec() == QDialog::Accepted;
    };
  }
  if (!services.showAbout) {
    services.showAbout = [](QWidget* owner) {
      AboutDlg about(owner);
      about.exec();
    };
  }
  if (!services.askQuestion) services.askQuestion = AskYesNo;
  services.programFolder = services.programFolder.isEmpty()
                               ? GetProgramFolder()
                               : WithTrailingSeparator(services.programFolder);
  return services;
}

}  // namespace vortane
