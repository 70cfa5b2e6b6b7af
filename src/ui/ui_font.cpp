#include "ui/ui_font.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>
#include <algorithm>
#include <cstdlib>

namespace vortane::ui {
namespace {

const char kCjkFace[] = "WenQuanYi Micro Hei";

// Faces that exist on Windows installs and stand for "the Chinese UI font" there.
bool IsWindowsUiFace(const QString& face) {
  static const QStringList kFaces = {
      QStringLiteral("宋体"),         QStringLiteral("新宋体"),
      QStringLiteral("SimSun"),       QStringLiteral("NSimSun"),
      QStringLiteral("微软雅黑"),     QStringLiteral("Microsoft YaHei"),
      QStringLiteral("黑体"),         QStringLiteral("SimHei"),
      QStringLiteral("MS Shell Dlg"), QStringLiteral("MS Shell Dlg 2"),
      QStringLiteral("Tahoma"),       QStringLiteral("System")};
  return kFaces.contains(face, Qt::CaseInsensitive);
}

const QStringList& InstalledFamilies() {
  // Asking the font database is slow; the installed fonts do not change while we run.
  static const QStringList families = QFontDatabase::families();
  return families;
}

QString FallbackFace() {
  if (InstalledFamilies().contains(QLatin1String(kCjkFace), Qt::CaseInsensitive))
    return QLatin1String(kCjkFace);
  return QGuiApplication::font().family();
}

}  // namespace

QString MapFontFace(const QString& face) {
  if (face.isEmpty() || IsWindowsUiFace(face)) return FallbackFace();
  if (InstalledFamilies().contains(face, Qt::CaseInsensitive)) return face;
  return FallbackFace();
}

QFont::Weight WeightFromWindows(int weight) {
  if (weight <= 0) return QFont::Normal;
  if (weight < 150) return QFont::Thin;
  if (weight < 250) return QFont::ExtraLight;
  if (weight < 350) return QFont::Light;
  if (weight < 450) return QFont::Normal;
  if (weight < 550) return QFont::Medium;
  if (weight < 650) return QFont::DemiBold;
  if (weight < 750) return QFont::Bold;
  if (weight < 850) return QFont::ExtraBold;
  return QFont::Black;
}

QFont MakeUiFont(const QString& face, int pixelHeight, int weight) {
  QFont font(MapFontFace(face));
  font.setPixelSize(std::max(1, std::abs(pixelHeight)));
  font.setWeight(WeightFromWindows(weight));
  return font;
}

}  // namespace vortane::ui
