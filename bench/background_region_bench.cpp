// How long the toolbar's window shape takes to build from its background picture: the merged
// bands we use against uniting one rectangle per run of opaque pixels (what a naive port of
// the batched-rectangles approach costs with QRegion). Prints the times and their ratio.
#include <QElapsedTimer>
#include <QImage>
#include <QRegion>
#include <cstdio>
#include <random>

#include "ui/skin_drawing.h"

namespace {

QRegion RunByRun(const QImage& picture, QRgb key) {
  QRegion region;
  for (int y = 0; y < picture.height(); ++y) {
    int x = 0;
    while (x < picture.width()) {
      while (x < picture.width() && (picture.pixel(x, y) & 0xFFFFFF) == (key & 0xFFFFFF))
        ++x;
      const int start = x;
      while (x < picture.width() && (picture.pixel(x, y) & 0xFFFFFF) != (key & 0xFFFFFF))
        ++x;
      if (x > start) region += QRect(start, y, x - start, 1);
    }
  }
  return region;
}

template <typename F>
double MillisecondsPerCall(F&& f, int repeats) {
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < repeats; ++i)
    f();
  return timer.nsecsElapsed() / 1e6 / repeats;
}

void Measure(const char* name, const QImage& picture, int repeats) {
  const QRgb key = vortane::ui::kShapeKeyColour;
  QRegion banded, naive;
  const double fast =
      MillisecondsPerCall([&] { banded = vortane::ui::OpaqueRegion(picture, key); }, repeats);
  const double slow = MillisecondsPerCall([&] { naive = RunByRun(picture, key); }, repeats);
  std::printf("%-34s banded %8.3f ms  run-by-run %9.3f ms  ratio %6.1fx  same shape: %s\n", name,
              fast, slow, slow / fast, banded == naive ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
  const QString skin =
      argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/bin/skin/main.bmp");
  const QImage toolbar = vortane::ui::LoadSkinPicture(skin);
  if (!toolbar.isNull()) Measure("toolbar main.bmp", toolbar, 50);

  // A large picture with ragged edges: every row different, thousands of runs.
  QImage ragged(1920, 400, QImage::Format_RGB32);
  std::mt19937 random(7);
  for (int y = 0; y < ragged.height(); ++y)
    for (int x = 0; x < ragged.width(); ++x)
      ragged.setPixel(x, y, random() % 7 == 0 ? vortane::ui::kShapeKeyColour : qRgb(30, 34, 40));
  Measure("1920x400 ragged (noise)", ragged, 3);

  QImage rounded(1920, 1080, QImage::Format_RGB32);
  rounded.fill(qRgb(30, 34, 40));
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40 - y; ++x) {
      rounded.setPixel(x, y, vortane::ui::kShapeKeyColour);
      rounded.setPixel(1919 - x, y, vortane::ui::kShapeKeyColour);
    }
  Measure("1920x1080 rounded corners", rounded, 5);
  return 0;
}
