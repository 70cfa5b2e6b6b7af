// vortane-config: shows and changes the toolbar's settings in ~/.config/vortn/config.cfg.
//
//   vortane-config --list-devices
//   vortane-config --save-folder ~/Videos --sound both --mic "Built-in Audio" --format mp4
//   vortane-config --live rtmp://server/live/key --fluency on
//   vortane-config --no-live
//   vortane-config --show
//
// Only the options given are changed; everything else stays as it was. The toolbar reads the
// file when it starts.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <functional>

#include "platform/device_lookup.h"
#include "settings/capture_settings.h"

namespace {

using vortane::CaptureSettings;

void Print(const QString& text) {
  std::printf("%s\n", text.toUtf8().constData());
}

int Fail(const QString& text) {
  std::fprintf(stderr, "vortane-config: %s\n", text.toUtf8().constData());
  return 2;
}

void Show(const CaptureSettings& s) {
  static const char* const kSounds[] = {"mic", "speaker", "both"};
  Print(QStringLiteral("settings file:   %1").arg(vortane::ConfigFilePath()));
  Print(QStringLiteral("save folder:     %1").arg(s.SaveFolder()));
  Print(QStringLiteral("format:          %1").arg(s.saveFormat == 0 ? "mp4" : "ts"));
  Print(QStringLiteral("video source:    %1").arg(s.videoSource == 1 ? "camera" : "desktop"));
  Print(QStringLiteral("camera:          %1").arg(s.VideoDevice()));
  Print(QStringLiteral("sound:           %1")
            .arg(s.soundSource >= 0 && s.soundSource <= 2 ? kSounds[s.soundSource] : "none"));
  Print(QStringLiteral("microphone:      %1").arg(s.AudioDevice()));
  Print(QStringLiteral("frame rate:      %1").arg(s.frameRate));
  Print(QStringLiteral("output size:     %1x%2").arg(s.outputWidth).arg(s.outputHeight));
  Print(QStringLiteral("video bitrate:   %1 kbit/s").arg(s.videoBitrateKbps));
  Print(QStringLiteral("audio bitrate:   %1 kbit/s").arg(s.audioBitrateKbps));
  Print(QStringLiteral("live:            %1").arg(s.liveEnabled ? "on" : "off"));
  Print(QStringLiteral("live address:    %1").arg(s.LiveUrl()));
  Print(QStringLiteral("fluency first:   %1").arg(s.fluencyFirst ? "on" : "off"));
  Print(QStringLiteral("hide on start:   %1").arg(s.hideOnStart ? "on" : "off"));
}

void ListDevices() {
  using vortane::platform::DeviceCategory;
  Print(QStringLiteral("cameras (--camera):"));
  for (const QString& name : vortane::platform::ListCaptureDevices(DeviceCategory::kVideoInput)) {
    if (name != QLatin1String(vortane::platform::kScreenCaptureDeviceName))
      Print(QStringLiteral("  ") + name);
  }
  Print(QStringLiteral("microphones (--mic):"));
  for (const QString& name : vortane::platform::ListCaptureDevices(DeviceCategory::kAudioInput)) {
    if (name != QLatin1String(vortane::platform::kSpeakerCaptureDeviceName))
      Print(QStringLiteral("  ") + name);
  }
}

std::optional<bool> OnOff(const QString& value) {
  if (value == QLatin1String("on") || value == QLatin1String("1")) return true;
  if (value == QLatin1String("off") || value == QLatin1String("0")) return false;
  return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Shows and changes the settings of the Vortane toolbar (config.cfg)."));
  parser.addHelpOption();
  const QCommandLineOption show(QStringLiteral("show"), QStringLiteral("Print the settings."));
  const QCommandLineOption list(QStringLiteral("list-devices"),
                                QStringLiteral("Print the camera and microphone names."));
  const QCommandLineOption folder(QStringLiteral("save-folder"),
                                  QStringLiteral("Folder for the recordings."),
                                  QStringLiteral("dir"));
  const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("mp4 or ts."),
                                  QStringLiteral("format"));
  const QCommandLineOption sound(QStringLiteral("sound"),
                                 QStringLiteral("mic, speaker, both or none."),
                                 QStringLiteral("source"));
  const QCommandLineOption mic(QStringLiteral("mic"), QStringLiteral("Microphone name."),
                               QStringLiteral("name"));
  const QCommandLineOption source(QStringLiteral("source"), QStringLiteral("desktop or camera."),
                                  QStringLiteral("source"));
  const QCommandLineOption camera(QStringLiteral("camera"), QStringLiteral("Camera name."),
                                  QStringLiteral("name"));
  const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("Frame rate (0 = encoder's)."),
                               QStringLiteral("n"));
  const QCommandLineOption size(QStringLiteral("size"),
                                QStringLiteral("Output size WxH (0x0 = as captured)."),
                                QStringLiteral("WxH"));
  const QCommandLineOption videoBitrate(QStringLiteral("video-bitrate"),
                                        QStringLiteral("Video bitrate in kbit/s (0 = encoder's)."),
                                        QStringLiteral("kbps"));
  const QCommandLineOption audioBitrate(QStringLiteral("audio-bitrate"),
                                        QStringLiteral("Audio bitrate in kbit/s (0 = encoder's)."),
                                        QStringLiteral("kbps"));
  const QCommandLineOption live(QStringLiteral("live"),
                                QStringLiteral("Go live to this rtmp:// or udp:// address."),
                                QStringLiteral("url"));
  const QCommandLineOption noLive(QStringLiteral("no-live"),
                                  QStringLiteral("Record instead of going live."));
  const QCommandLineOption fluency(QStringLiteral("fluency"),
                                   QStringLiteral("Low-latency live encoding: on or off."),
                                   QStringLiteral("on|off"));
  const QCommandLineOption hide(QStringLiteral("hide-on-start"),
                                QStringLiteral("Slide the toolbar aside at start: on or off."),
                                QStringLiteral("on|off"));
  parser.addOptions({show, list, folder, format, sound, mic, source, camera, fps, size,
                     videoBitrate, audioBitrate, live, noLive, fluency, hide});
  parser.process(app);

  if (parser.isSet(list)) {
    ListDevices();
    return 0;
  }

  CaptureSettings settings = vortane::LoadCaptureSettingsFrom(vortane::ConfigFilePath());
  bool changed = false;
  auto number = [&](const QCommandLineOption& option, std::int32_t& field) -> bool {
    if (!parser.isSet(option)) return true;
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < 0) return false;
    field = value;
    changed = true;
    return true;
  };
  auto text = [&](const QCommandLineOption& option,
                  const std::function<bool(const QString&)>& set) {
    if (!parser.isSet(option)) return true;
    changed = true;
    return set(parser.value(option));
  };

  if (!text(folder, [&](const QString& value) {
        const QString path = QDir(QDir::current().absoluteFilePath(value)).absolutePath();
        if (!QFileInfo(path).isDir() && !QDir().mkpath(path)) return false;
        return settings.SetSaveFolder(path);
      }))
    return Fail(QStringLiteral("the save folder cannot be made or is too long"));
  if (!text(format, [&](const QString& value) {
        if (value != QLatin1String("mp4") && value != QLatin1String("ts")) return false;
        settings.saveFormat = value == QLatin1String("ts") ? 1 : 0;
        return true;
      }))
    return Fail(QStringLiteral("--format is mp4 or ts"));
  if (!text(sound, [&](const QString& value) {
        const QStringList names{QStringLiteral("mic"), QStringLiteral("speaker"),
                                QStringLiteral("both"), QStringLiteral("none")};
        const qsizetype index = names.indexOf(value);
        if (index < 0) return false;
        settings.soundSource = static_cast<std::int32_t>(index);
        return true;
      }))
    return Fail(QStringLiteral("--sound is mic, speaker, both or none"));
  if (!text(mic, [&](const QString& value) { return settings.SetAudioDevice(value); }))
    return Fail(QStringLiteral("the microphone name is too long"));
  if (!text(camera, [&](const QString& value) { return settings.SetVideoDevice(value); }))
    return Fail(QStringLiteral("the camera name is too long"));
  if (!text(source, [&](const QString& value) {
        if (value != QLatin1String("desktop") && value != QLatin1String("camera")) return false;
        settings.videoSource = value == QLatin1String("camera") ? 1 : 0;
        return true;
      }))
    return Fail(QStringLiteral("--source is desktop or camera"));
  if (!number(fps, settings.frameRate) || !number(videoBitrate, settings.videoBitrateKbps) ||
      !number(audioBitrate, settings.audioBitrateKbps))
    return Fail(QStringLiteral("frame rate and bitrates are whole numbers, 0 or more"));
  if (!text(size, [&](const QString& value) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)$")).match(value);
        if (!m.hasMatch()) return false;
        settings.outputWidth = m.captured(1).toInt();
        settings.outputHeight = m.captured(2).toInt();
        return true;
      }))
    return Fail(QStringLiteral("--size is WxH, for example 1280x720"));
  if (!text(live, [&](const QString& value) {
        settings.liveEnabled = 1;
        return settings.SetLiveUrl(value);
      }))
    return Fail(QStringLiteral("the live address is too long"));
  if (parser.isSet(noLive)) {
    settings.liveEnabled = 0;
    changed = true;
  }
  for (auto [option, field] :
       {std::pair{&fluency, &settings.fluencyFirst}, std::pair{&hide, &settings.hideOnStart}}) {
    if (!parser.isSet(*option)) continue;
    const std::optional<bool> on = OnOff(parser.value(*option));
    if (!on) return Fail(QStringLiteral("--%1 is on or off").arg(option->names().first()));
    *field = *on ? 1 : 0;
    changed = true;
  }

  if (changed && !vortane::SaveCaptureSettings(settings))
    return Fail(QStringLiteral("cannot write %1").arg(vortane::ConfigFilePath()));
  if (!changed || parser.isSet(show)) Show(settings);
  return 0;
}
