// Writes the seed corpora of the fuzz targets with the program's own writers: the settings and
// window files as the program saves them, the command lines it builds, side files as the
// recordings list writes them, the replies of the reference platform server and the console
// output of the encoder adapter.
//   fuzz-seed-writer <corpus folder> <program folder with platform-server and vortenc>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "encoder/command_lines.h"
#include "files/recording_meta.h"
#include "http/http_get.h"
#include "http/platform_account.h"
#include "http/platform_reply.h"
#include "platform/code_page.h"
#include "settings/camera_window_placement.h"
#include "settings/capture_settings.h"
#include "settings/screen_capture_recorder_ini.h"

using namespace vortane;

namespace {

QDir corpus;

bool Seed(const QString& target, const QString& name, const QByteArray& bytes) {
  QDir().mkpath(corpus.filePath(target));
  QFile file(corpus.filePath(target + QLatin1Char('/') + name));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
    return false;
  }
  std::printf("%s (%lld bytes)\n", qPrintable(file.fileName()),
              static_cast<long long>(bytes.size()));
  return true;
}

// A file the program wrote, taken as a seed.
bool SeedFile(const QString& target, const QString& name, const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && Seed(target, name, file.readAll());
}

QByteArray LittleEndian(std::initializer_list<std::int32_t> values) {
  QByteArray bytes;
  for (std::int32_t value : values)
    for (int i = 0; i < 4; ++i)
      bytes.append(static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF));
  return bytes;
}

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

bool SettingsSeeds(const QTemporaryDir& scratch) {
  const QString path = scratch.filePath(QStringLiteral("config.cfg"));
  CaptureSettings lesson;
  lesson.frameRate = 10;  // the byte 0x0A, stored as 0x0D 0x0A
  lesson.outputWidth = 1280;
  lesson.outputHeight = 720;
  lesson.soundSource = 2;
  lesson.videoBitrateKbps = 2500;
  lesson.audioBitrateKbps = 128;
  lesson.SetSaveFolder(Text("/home/王老师/录像"));
  lesson.SetAudioDevice(Text("麦克风 (USB Audio)"));
  bool ok =
      SaveCaptureSettingsTo(CaptureSettings{}, path) && SeedFile("config_cfg", "first-run", path);
  ok = SaveCaptureSettingsTo(lesson, path) && SeedFile("config_cfg", "lesson", path) && ok;
  CaptureSettings live = lesson;
  live.liveEnabled = 1;
  live.fluencyFirst = 1;
  live.noiseReduction = 1;
  live.videoSource = 1;
  live.SetVideoDevice(QStringLiteral("HD Webcam C920"));
  live.cameraWidth = 640;
  live.cameraHeight = 480;
  live.SetLiveUrl(QStringLiteral("rtmp://127.0.0.1:1935/live/physics-11"));
  live.SetPlatformServer(QStringLiteral("127.0.0.1:40123"));
  live.SetPlatformUser(QStringLiteral("13800138000"));
  live.SetPlatformPassword(QStringLiteral("lesson"));
  live.rememberPassword = 1;
  ok = SaveCaptureSettingsTo(live, path) && SeedFile("config_cfg", "live-camera", path) && ok;

  const QString window = scratch.filePath(QStringLiteral("vw1.cfg"));
  const QRect screen(0, 0, 1920, 1080);
  ok = WriteCameraWindowRect(window, DefaultCameraWindowRect(screen)) &&
       SeedFile("vw1_cfg", "default", window) && ok;
  // 10 × 10 pixels from the left: the 0x0A bytes become 0x0D 0x0A.
  ok = WriteCameraWindowRect(window, CameraWindowRect{10, 10, 330, 250}) &&
       SeedFile("vw1_cfg", "moved", window) && ok;

  // The five values first (what the fuzz target writes), then the file they are written into.
  const ScreenCaptureRecorderValues region = RegionChosenValues(CaptureRegion{100, 80, 732, 432});
  const ScreenCaptureRecorderValues reset = ResetValues(1920, 1080);
  const std::string first = FormatScreenCaptureRecorderIni(region, std::string());
  const std::string second =
      FormatScreenCaptureRecorderIni(reset, "; written by hand\n[other]\nkey=value\n" + first);
  ok = Seed("region_ini", "region",
            LittleEndian({0, 0, 0, 1080, 1920}) + QByteArray::fromStdString(first)) &&
       ok;
  ok = Seed("region_ini", "reset-with-others",
            LittleEndian({1, 100, 80, 352, 632}) + QByteArray::fromStdString(second)) &&
       ok;
  return ok;
}

bool CommandLineSeeds() {
  bool ok = true;
  int n = 0;
  auto seed = [&](const std::optional<QString>& command) {
    ok = command.has_value() &&
         Seed("command_line", QStringLiteral("command-%1").arg(++n),
              (QString::fromLatin1(kEncoderProgram) + QLatin1Char(' ') + *command).toUtf8()) &&
         ok;
  };
  const QString folder = Text("/home/王老师/录像/");
  seed(BuildCaptureCommand(QStringLiteral("screen-capture-recorder"), folder + "20240312140000.ts",
                           QStringLiteral("VirtualMic"), QStringLiteral("virtual-audio-capturer"),
                           2500, 128, 25, 1280, 720, 0, 1, CaptureRegion{100, 80, 732, 432}));
  seed(BuildCaptureCommand(
      QStringLiteral("HD Webcam C920"), QStringLiteral("rtmp://127.0.0.1/live/a"),
      QStringLiteral("virtual-audio-capturer"), QString(), 0, 0, 0, 0, 0, 1, 0, CaptureRegion{}));
  seed(BuildTrimCommand(73, 12, folder + "20240312140000m.mp4",
                        folder + Text("20240312140000m剪辑12-73.mp4")));
  seed(BuildRemuxCommand(folder + "20240312140000.ts", folder + "20240312140000m.mp4"));
  return ok;
}

bool MetaSeeds(const QTemporaryDir& scratch) {
  const QString path = scratch.filePath(QStringLiteral("lesson.meta"));
  RecordingMeta fresh = MakeRecordingMeta(QStringLiteral("2024-03-12 14:00:00"),
                                          QStringLiteral("00:45:10"), QStringLiteral("1.2 GB"));
  bool ok = WriteRecordingMeta(path, fresh) && SeedFile("recording_meta", "listed", path);
  RecordingMeta uploaded = fresh;
  uploaded.uploadState = 10;  // the byte 0x0A
  uploaded.targetId = 11;
  CopyMetaText(uploaded.statusText, sizeof(uploaded.statusText),
               platform::WideToAnsi(Text("上传失败：无法连接服务器！")));
  CopyMetaText(uploaded.targetName, sizeof(uploaded.targetName),
               platform::WideToAnsi(Text("高一年级 物理")));
  ok =
      WriteRecordingMeta(path, uploaded) && SeedFile("recording_meta", "upload-failed", path) && ok;
  return ok;
}

// Output of a program, or nothing when it did not run.
std::optional<QByteArray> Output(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(60000)) return std::nullopt;
  return process.readAll();
}

bool ProgressSeeds(const QString& programFolder) {
  // The adapter's own run of ffmpeg: banner, stream list and the status line rewritten with
  // carriage returns. The first byte is the reader's chunk length less one.
  const auto output =
      Output(programFolder + QStringLiteral("vortenc"),
             {QStringLiteral("-hide_banner"), QStringLiteral("-f"), QStringLiteral("lavfi"),
              QStringLiteral("-i"), QStringLiteral("testsrc=duration=3:rate=25"),
              QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
  if (!output || !output->contains("time=")) {
    std::fprintf(stderr, "vortenc gave no progress\n");
    return false;
  }
  return Seed("progress", "whole", QByteArray(1, char(255)) + *output) &&
         Seed("progress", "chunks-of-64", QByteArray(1, char(63)) + *output);
}

bool ReplySeeds(const QString& programFolder) {
  QProcess server;
  server.start(programFolder + QStringLiteral("platform-server"),
               {QStringLiteral("--rtmp"), QStringLiteral("rtmp://127.0.0.1:1935/live")});
  QString address;
  while (address.isEmpty() && server.waitForReadyRead(10000))
    address = QString::fromUtf8(server.readLine()).trimmed();
  if (!address.startsWith(QLatin1String("http://"))) {
    std::fprintf(stderr, "the platform server did not start\n");
    return false;
  }
  const std::string host = address.mid(7).toStdString();
  bool ok = true;
  // The first byte picks the reader: 0 login, 1 destinations, 2 stop signal.
  auto seed = [&](const char* name, char reader, const std::string& url) {
    const std::optional<std::string> body = HttpGet(url, kPlatformBodyBound);
    ok = body.has_value() &&
         Seed("platform_reply", QString::fromLatin1(name),
              QByteArray(1, reader) + QByteArray::fromStdString(*body)) &&
         ok;
  };
  const PlatformCredentials teacher{host, "13800138000", "lesson"};
  seed("login", 0, BuildAccountUrl(teacher, kLivesPath));
  seed("login-refused", 0, BuildAccountUrl({host, "13800138000", "wrong"}, kLivesPath));
  seed("login-second-teacher", 0, BuildAccountUrl({host, "teacher2", "a&b #1+2"}, kLivesPath));
  seed("destinations", 1, BuildAccountUrl(teacher, kUploadsPath));
  seed("stop", 2, *StopSignalUrl(address.toStdString() + "/backend/lumio/callback/11"));
  // A platform that attacks: page and push addresses with options and files in them, levels
  // far beyond any tree.
  ok = HttpGet(address.toStdString() + "/control/fault?mode=hostile").has_value() && ok;
  seed("login-hostile", 0, BuildAccountUrl(teacher, kLivesPath));
  seed("destinations-hostile", 1, BuildAccountUrl(teacher, kUploadsPath));
  server.terminate();
  server.waitForFinished(5000);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <corpus folder> <program folder>\n", argv[0]);
    return 2;
  }
  corpus = QDir(QString::fromLocal8Bit(argv[1]));
  const QString programFolder = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + '/';
  QTemporaryDir scratch;
  bool ok = SettingsSeeds(scratch);
  ok = CommandLineSeeds() && ok;
  ok = MetaSeeds(scratch) && ok;
  ok = ProgressSeeds(programFolder) && ok;
  ok = ReplySeeds(programFolder) && ok;
  return ok ? 0 : 1;
}
