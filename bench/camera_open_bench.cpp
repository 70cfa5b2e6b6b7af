// How long opening a camera holds the UI thread, against a budget of 100 ms (a pause a teacher
// would not notice after pressing F9). The first open also starts Qt Multimedia's device
// monitor; later opens list the cameras and look them up again.
//
//   build/bench/camera_open_bench [fixture-camera-count]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/device_lookup.h"
#include "platform/fixture_camera_provider.h"
#include "platform/v4l2_camera_provider.h"
#include "settings/camera_graph.h"

namespace {

constexpr double kBudgetMs = 100.0;

double Milliseconds(const QElapsedTimer& clock) {
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Report(const char* what, double ms) {
  std::printf("%-44s %9.3f ms   %6.3f of the budget\n", what, ms, ms / kBudgetMs);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int cameras = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

  QTemporaryDir dir;
  QFile fixture(dir.filePath("cameras.txt"));
  if (!fixture.open(QIODevice::WriteOnly)) return 1;
  for (int i = 0; i < cameras; ++i) {
    fixture.write(QStringLiteral("camera Camera %1\npath /nonexistent/video%1\n").arg(i).toUtf8());
    for (int size = 0; size < 20; ++size)
      fixture.write("size 1280x720 YUYV\nsize 640x480 MJPG\n");
  }
  fixture.close();
  vortane::platform::InstallCameraProvider(
      std::make_unique<vortane::platform::FixtureCameraProvider>(fixture.fileName()));
  const QString last = QStringLiteral("Camera %1").arg(cameras - 1);

  std::printf("%d fixture cameras with 40 sizes each; budget %.0f ms\n", cameras, kBudgetMs);
  QElapsedTimer clock;
  clock.start();
  {
    vortane::CameraGraph graph;
    graph.Open(last);
  }
  Report("first Open (starts Qt Multimedia)", Milliseconds(clock));

  std::vector<double> opens;
  std::vector<double> previews;
  QWidget window;
  window.resize(280, 210);
  for (int i = 0; i < 30; ++i) {
    vortane::CameraGraph graph;
    clock.restart();
    graph.Open(last);
    opens.push_back(Milliseconds(clock));
    clock.restart();
    graph.SetFormat(1280, 720);
    graph.AttachPreview(&window);
    graph.RenderPreview();
    graph.Run();
    graph.Release();
    previews.push_back(Milliseconds(clock));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  Report("later Open (median of 30)", Median(opens));
  Report("format, preview, run, release (median)", Median(previews));

  std::vector<double> listings;
  for (int i = 0; i < 30; ++i) {
    clock.restart();
    vortane::platform::V4l2CameraProvider().ListCameras();
    listings.push_back(Milliseconds(clock));
  }
  Report("V4L2 listing of this machine (median)", Median(listings));
  return 0;
}
