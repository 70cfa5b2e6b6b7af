// Draws the skin: every picture the toolbar and the popups load, maindlg.xml, and the dialog
// button strip built into the program. Run it (target regenerate-skin) after changing a picture:
//   vortane-skin-generator <skin folder> <built-in resource folder> [<icon theme folder>]
// The icon theme folder receives the program icon as hicolor/<size>x<size>/apps/<id>.png.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

#include "app/program_icon.h"
#include "skin_painter.h"

namespace {

using vortane::skin::Icon;
using vortane::skin::Tone;

bool SaveBmp(const QImage& image, const QString& path) {
  // 24-bit BMP: Qt writes 24 bits per pixel for 32-bit images without alpha.
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  if (!rgb.save(path, "BMP")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s (%dx%d)\n", qPrintable(path), rgb.width(), rgb.height());
  return true;
}

bool WriteSkinXml(const QString& path, const QString& bitmapName) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  static const char* const kNames[] = {"topleft", "top",        "topright", "left",       "center",
                                       "right",   "bottomleft", "bottom",   "bottomright"};
  QTextStream out(&file);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out << "<!-- Popup frame: nine pieces of " << bitmapName
      << " (corners copied, edges and centre stretched).\n"
         "     A negative left or top counts from the bitmap's right or bottom edge. -->\n";
  out << "<skin file=\"" << bitmapName << "\">\n";
  const QVector<QRect> pieces = vortane::skin::PopupSkinPieces();
  for (int i = 0; i < pieces.size(); ++i) {
    const QRect& r = pieces[i];
    out << "  <" << kNames[i] << " left=\"" << r.x() << "\" top=\"" << r.y() << "\" width=\""
        << r.width() << "\" height=\"" << r.height() << "\"/>\n";
  }
  out << "</skin>\n";
  std::printf("%s\n", qPrintable(path));
  return true;
}

// The program icon in the sizes desktops look for in the hicolor theme.
bool SaveThemeIcons(const QDir& theme) {
  bool ok = true;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
    const QString folder = theme.filePath(QStringLiteral("hicolor/%1x%1/apps").arg(size));
    const QString path = folder + QStringLiteral("/org.vortane.Vortane.png");
    if (!QDir().mkpath(folder) || !vortane::PaintProgramIcon(size).save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ok = false;
      continue;
    }
    std::printf("%s\n", qPrintable(path));
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr,
                 "usage: %s <skin folder> <built-in resource folder> [<icon theme folder>]\n",
                 argv[0]);
    return 2;
  }
  const QDir skin(QString::fromLocal8Bit(argv[1]));
  const QDir resources(QString::fromLocal8Bit(argv[2]));
  if (!QDir().mkpath(skin.path()) || !QDir().mkpath(resources.path())) {
    std::fprintf(stderr, "cannot create the output folders\n");
    return 1;
  }

  const QColor red(255, 77, 79);
  const QColor blue(76, 154, 255);
  const QColor green(61, 220, 132);
  const QColor amber(245, 184, 65);
  const QColor orange(255, 122, 69);
  const QColor teal(54, 207, 201);
  struct Big {
    const char* file;
    Icon icon;
    const char* caption;
    QColor accent;
    Tone tone;
  };
  const Big big[] = {
      {"start.bmp", Icon::kRecord, "开始", red, Tone::kNeutral},
      {"stop.bmp", Icon::kStop, "停止", red, Tone::kRecording},
      {"area.bmp", Icon::kArea, "区域", blue, Tone::kNeutral},
      {"cam.bmp", Icon::kCamera, "摄像头", green, Tone::kNeutral},
      {"camed.bmp", Icon::kCameraOn, "摄像头", green, Tone::kActive},
      {"setup.bmp", Icon::kSettings, "设置", blue, Tone::kNeutral},
      {"files.bmp", Icon::kFiles, "文件", amber, Tone::kNeutral},
      {"liveshow.bmp", Icon::kLive, "直播", orange, Tone::kNeutral},
      {"chat.bmp", Icon::kChat, "聊天", blue, Tone::kNeutral},
      {"hudong.bmp", Icon::kInteraction, "互动", teal, Tone::kNeutral},
  };
  struct Small {
    const char* file;
    Icon icon;
    int width;
    QColor accent;
    Tone tone;
  };
  const Small small[] = {
      {"info.bmp", Icon::kInfo, 24, blue, Tone::kNeutral},
      {"user.bmp", Icon::kUser, 24, blue, Tone::kNeutral},
      {"userlogin.bmp", Icon::kUserLoggedIn, 24, green, Tone::kNeutral},
      {"min.bmp", Icon::kSlideAway, 24, blue, Tone::kNeutral},
      {"close.bmp", Icon::kClose, 26, red, Tone::kDanger},
  };

  bool ok = SaveBmp(vortane::skin::PaintToolbarBackground(), skin.filePath("main.bmp"));
  for (const Big& b : big) {
    ok = SaveBmp(vortane::skin::PaintBigButtonStrip(b.icon, QString::fromUtf8(b.caption), b.accent,
                                                    b.tone),
                 skin.filePath(QLatin1String(b.file))) &&
         ok;
  }
  for (const Small& s : small) {
    ok = SaveBmp(vortane::skin::PaintSmallButtonStrip(s.icon, s.width, s.accent, s.tone),
                 skin.filePath(QLatin1String(s.file))) &&
         ok;
  }
  ok = SaveBmp(vortane::skin::PaintPopupSkin(), skin.filePath("popup.bmp")) && ok;
  ok = WriteSkinXml(skin.filePath("maindlg.xml"), QStringLiteral("popup.bmp")) && ok;
  ok = SaveBmp(vortane::skin::PaintDialogButtonStrip(), resources.filePath("gdi_button.bmp")) && ok;
  if (argc == 4) ok = SaveThemeIcons(QDir(QString::fromLocal8Bit(argv[3]))) && ok;
  return ok ? 0 : 1;
}
