#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

// Shared by the widget tests: one QApplication per test program (offscreen platform) and
// small pixel helpers.
namespace vortane::test {

// Owns the QApplication for the whole test program and ends it before static destruction
// begins (Qt must not outlive its own globals).
class WidgetTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { App(); }
  void TearDown() override { app_.reset(); }
  QApplication& App() {
    if (!app_) app_ = std::make_unique<QApplication>(argc_, argv_);
    return *app_;
  }

 private:
  int argc_ = 1;
  char arg0_[13] = "widgets_test";
  char* argv_[2] = {arg0_, nullptr};
  std::unique_ptr<QApplication> app_;
};

inline WidgetTestEnvironment* const kWidgetTestEnvironment = static_cast<WidgetTestEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new WidgetTestEnvironment));

inline QApplication& WidgetTestApp() {
  return kWidgetTestEnvironment->App();
}

// The skin folder beside the built program.
inline QString ProgramSkinFolder() {
  return qEnvironmentVariable("VORTANE_PROGRAM_DIR") + QStringLiteral("/skin/");
}

inline QImage Grab(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRgb Rgb(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFF;
}

inline constexpr QRgb Rgb(QRgb rgb) {
  return rgb & 0xFFFFFF;
}

inline QRgb Rgb(const QColor& colour) {
  return colour.rgb() & 0xFFFFFF;
}

}  // namespace vortane::test
