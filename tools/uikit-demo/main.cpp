// Shows every control of the UI kit with the real skin from the program folder: the toolbar,
// a gallery of the controls, and the two skinned popups. Options:
//   --quit-after <ms>   end by itself (for screenshots)
#include <QApplication>
#include <QPalette>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>

#include "demo_gallery.h"
#include "demo_live_list_dlg.h"
#include "demo_login_dlg.h"
#include "demo_toolbar.h"
#include "platform/folders.h"
#include "ui/ui_font.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setFont(vortane::ui::MakeUiFont(QStringLiteral("MS Shell Dlg"), 13));
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(43, 47, 54));
  palette.setColor(QPalette::WindowText, QColor(222, 226, 232));
  palette.setColor(QPalette::Base, QColor(250, 250, 250));
  palette.setColor(QPalette::Text, QColor(30, 30, 30));
  palette.setColor(QPalette::Button, QColor(206, 210, 216));
  palette.setColor(QPalette::ButtonText, QColor(20, 20, 20));
  palette.setColor(QPalette::Highlight, QColor(61, 139, 253));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  QApplication::setPalette(palette);

  const QString skin = vortane::GetProgramFolder() + QStringLiteral("skin/");
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

  vortane::demo::DemoToolbar toolbar(skin);
  toolbar.move(screen.center().x() - toolbar.width() / 2, screen.top());
  toolbar.show();
  toolbar.OnCommand(1001);  // show the recording state: stop picture, blinking LED
  toolbar.OnCommand(6);     // and a logged-in user

  vortane::demo::DemoGallery gallery(skin);
  gallery.resize(760, 900);
  gallery.move(screen.left() + 40, screen.top() + 110);
  gallery.show();

  vortane::demo::DemoLiveListDlg live(skin + QStringLiteral("maindlg.xml"));
  live.move(screen.left() + 840, screen.top() + 130);
  live.show();

  vortane::demo::DemoLoginDlg login(skin + QStringLiteral("maindlg.xml"));
  login.move(screen.left() + 840, screen.top() + 540);
  login.show();

  const QStringList args = app.arguments();
  const int quit = args.indexOf(QStringLiteral("--quit-after"));
  if (quit >= 0 && quit + 1 < args.size())
    QTimer::singleShot(args[quit + 1].toInt(), &app, &QApplication::quit);
  return app.exec();
}
