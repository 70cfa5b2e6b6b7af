#include "platform/fixture_camera_provider.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <cstdio>
#include <utility>

namespace vortane::platform {

FixtureCameraProvider::FixtureCameraProvider(QString fixturePath)
    : fixturePath_(std::move(fixturePath)) {}

std::vector<CameraDevice> FixtureCameraProvider::ListCameras() {
  QFile file(fixturePath_);
  QString error;
  std::optional<std::vector<CameraDevice>> cameras;
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
  } else {
    cameras = Parse(QString::fromUtf8(file.readAll()), &error);
  }
  if (!cameras) {
    std::fprintf(stderr, "camera fixture %s: %s\n", qUtf8Printable(fixturePath_),
                 qUtf8Printable(error));
    return {};
  }
  return std::move(*cameras);
}

std::optional<std::vector<CameraDevice>> FixtureCameraProvider::Parse(const QString& text,
                                                                      QString* error) {
  static const QRegularExpression kSize(QStringLiteral("^(\\d{1,5})x(\\d{1,5})(?: +(\\S+))?$"));
  std::vector<CameraDevice> cameras;
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString line = lines[i];
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#'))) continue;
    auto fail = [&](const QString& why) {
      if (error) *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
      return std::nullopt;
    };
    qsizetype blank = line.indexOf(QLatin1Char(' '));
    QString keyword = line.left(blank < 0 ? line.size() : blank);
    QString value = blank < 0 ? QString() : line.mid(blank + 1);
    if (keyword == QLatin1String("camera")) {
      if (value.isEmpty()) return fail(QStringLiteral("a camera needs a name"));
      cameras.push_back({value, QStringLiteral("/dev/video%1").arg(cameras.size()), {}});
    } else if (cameras.empty()) {
      return fail(QStringLiteral("\"%1\" before the first camera").arg(keyword));
    } else if (keyword == QLatin1String("path")) {
      if (value.trimmed().isEmpty()) return fail(QStringLiteral("a path needs a value"));
      cameras.back().devicePath = value.trimmed();
    } else if (keyword == QLatin1String("size")) {
      QRegularExpressionMatch match = kSize.match(value.trimmed());
      if (!match.hasMatch()) return fail(QStringLiteral("expected \"size WIDTHxHEIGHT [FORMAT]\""));
      QString format = match.captured(3).isEmpty() ? QStringLiteral("YUYV") : match.captured(3);
      cameras.back().sizes.push_back(
          {match.captured(1).toInt(), match.captured(2).toInt(), format});
    } else {
      return fail(QStringLiteral("unknown statement \"%1\"").arg(keyword));
    }
  }
  return cameras;
}

}  // namespace vortane::platform
