// talvine: the interaction module. Shows a live lesson's chat page in a small window:
//   talvine --url=ADDRESS [--width=N] [--height=N] [--xpos=N] [--ypos=N] [--lock-view]
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <cstdio>

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
  PrepareWebEngine();
  // The engine's start-up report is noise on the toolbar's standard error, which this inherits.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("talvine"));
  const talvine::ModuleOptions options =
      talvine::ParseModuleOptions(QCoreApplication::arguments().mid(1));
  if (options.url.isEmpty()) {
    std::fprintf(stderr,
                 "usage: talvine --url=ADDRESS [--width=N] [--height=N] [--xpos=N] [--ypos=N] "
                 "[--lock-view]\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 720);
  talvine::TalvineWindow window(options, available);
  window.show();
  return app.exec();
}
