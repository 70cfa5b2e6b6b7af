// talvine: the interaction module. Shows a live lesson's chat page in a small window:
//   talvine --url=ADDRESS [--width=N] [--height=N] [--xpos=N] [--ypos=N] [--lock-view]
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <cstdio>
#include <optional>

#include "module_options.h"
#include "talvine_window.h"

namespace {

// The page engine's sandbox refuses to run for root (CI, containers), and a machine without a
// render node has no GPU for it to use: both are switched off there, unless already decided.
void PrepareWebEngine() {
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  const bool renderNode = !QDir(QStringLiteral("/dev/dri"))
                               .entryList({QStringLiteral("renderD*")}, QDir::System)
                               .isEmpty();
  if (!renderNode) {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--disable-gpu"))
      flags += flags.isEmpty() ? "--disable-gpu" : " --disable-gpu";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  // The options are read before Qt sees the command line: Qt and the page engine take options of
  // their own from it (-platformpluginpath, --webEngineArgs ...), and none of those is for the
  // program that starts this one to give. Qt gets the program name alone.
  QStringList arguments;
  for (int i = 1; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  const std::optional<talvine::ModuleOptions> options = talvine::ParseModuleOptions(arguments);
  if (!options) {
    // The address is not repeated here: it can carry the teacher's account.
    std::fprintf(stderr,
                 "usage: talvine --url=ADDRESS [--width=N] [--height=N] [--xpos=N] [--ypos=N] "
                 "[--lock-view]\n"
                 "  ADDRESS: one http:// or https:// address\n");
    return 2;
  }
  PrepareWebEngine();
  // The engine's start-up report is noise on the toolbar's standard error, which this inherits.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  QApplication::setApplicationName(QStringLiteral("talvine"));
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 720);
  talvine::TalvineWindow window(*options, available);
  window.show();
  return app.exec();
}
