#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// Real media files for the tests, made and measured by ffmpeg/ffprobe.
namespace vortane::test {

// A lesson of `seconds`: a moving test picture (`size`, `fps`, a key frame every `gop` frames)
// with a 440 Hz tone, H.264 + AAC, container by the file name. True when ffmpeg made it.
inline bool MakeVideo(const QString& path, double seconds, const QString& size = "160x120",
                      int fps = 10, int gop = 10, bool sound = true) {
  QStringList arguments{"-v",
                        "error",
                        "-y",
                        "-f",
                        "lavfi",
                        "-i",
                        QStringLiteral("testsrc=size=%1:rate=%2").arg(size).arg(fps)};
  if (sound)
    arguments << "-f"
              << "lavfi"
              << "-i"
              << "sine=frequency=440:sample_rate=22050";
  arguments << "-t" << QString::number(seconds) << "-c:v"
            << "libx264"
            << "-preset"
            << "ultrafast"
            << "-g" << QString::number(gop) << "-pix_fmt"
            << "yuv420p";
  if (sound)
    arguments << "-c:a"
              << "aac"
              << "-b:a"
              << "32k";
  arguments << path;
  QProcess ffmpeg;
  ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
  return ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
         ffmpeg.exitCode() == 0;
}

struct MediaStreams {
  double duration = -1;
  QString videoCodec;
  QString audioCodec;
  int width = 0;
  int height = 0;
  QString videoProfile;
  int audioSampleRate = 0;
};

// What ffprobe sees in a file; duration -1 when it cannot read it.
inline MediaStreams ProbeStreams(const QString& path) {
  QProcess ffprobe;
  ffprobe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-show_format", "-show_streams", "-of", "json", path});
  MediaStreams streams;
  if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0) return streams;
  const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
  streams.duration = root["format"]["duration"].toString().toDouble();
  for (const QJsonValue& value : root["streams"].toArray()) {
    const QJsonObject stream = value.toObject();
    if (stream["codec_type"].toString() == "video") {
      streams.videoCodec = stream["codec_name"].toString();
      streams.videoProfile = stream["profile"].toString();
      streams.width = stream["width"].toInt();
      streams.height = stream["height"].toInt();
    } else if (stream["codec_type"].toString() == "audio") {
      streams.audioCodec = stream["codec_name"].toString();
      streams.audioSampleRate = stream["sample_rate"].toString().toInt();
    }
  }
  return streams;
}

}  // namespace vortane::test
