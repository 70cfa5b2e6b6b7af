#include <QApplication>
#include <QLabel>

#include "app/folders.h"

int main(int argc, char* argv[]) {
  vortane::PutProgramFolderFirstOnPath();
  QApplication app(argc, argv);
  QLabel placeholder(QStringLiteral("Vortane"));
  placeholder.show();
  return app.exec();
}
