#pragma once

// Shared by the whole-program tests: they run the real build/bin/vortane inside the private
// desktop of scripts/with-desktop (Xvfb, PulseAudio with "speaker" and "VirtualMic", nginx-rtmp),
// each with a config.cfg of its own written byte by byte, press keys with xdotool, read the
// toolbar's trace (VORTANE_TRACE=1 on standard error) and look at the results with ffprobe.

#include <gtest/gtest.h>
#include <iconv.h>
#include <signal.h>
#include <sys/types.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vortane::test {

inline QString ProgramDir() {
  return qEnvironmentVariable("VORTANE_PROGRAM_DIR");
}

inline QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

// The window title of the toolbar, and the title of the program's message boxes.
inline constexpr char kToolbarName[] = "vtnwin";

// One QCoreApplication for a whole test program (QProcess wants one).
class CoreAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (QCoreApplication::instance() == nullptr)
      app_ = std::make_unique<QCoreApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char arg0_[9] = "e2e_test";
  char* argv_[2] = {arg0_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};
inline ::testing::Environment* const kCoreAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new CoreAppEnvironment);

inline void SleepMs(int ms) {
  QThread::msleep(static_cast<unsigned long>(ms));
}

// Polls `done` every 20 ms for up to `ms`.
inline bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    SleepMs(20);
  }
  return true;
}

// Runs a short helper program to its end; its standard output, or nothing when it failed.
inline std::optional<QString> Run(const QString& program, const QStringList& arguments,
                                  int timeoutMs = 15000) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    process.kill();
    process.waitForFinished(1000);
    return std::nullopt;
  }
  return QString::fromUtf8(process.readAllStandardOutput());
}

// config.cfg as the program and Windows installs store it: a 1980-byte little-endian record,
// GBK and UTF-16LE strings in fixed fields, every 0x0A byte written as 0x0D 0x0A. Built here
// from the byte offsets, independently of the program's own settings code.
class ConfigFile {
 public:
  static constexpr int kSize = 1980;

  ConfigFile() { bytes_.fill(0); }

  ConfigFile& Int(int offset, std::int32_t value) {
    for (int i = 0; i < 4; ++i)
      bytes_[offset + i] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
    return *this;
  }
  ConfigFile& Gbk(int offset, int capacity, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    std::vector<char> out(static_cast<size_t>(capacity), 0);
    iconv_t cd = iconv_open("GBK", "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(capacity - 1);
    EXPECT_NE(iconv(cd, &in, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1)) << "not GBK";
    iconv_close(cd);
    std::memcpy(bytes_.data() + offset, out.data(), out.size());
    return *this;
  }
  ConfigFile& Utf16(int offset, int capacity, const QString& text) {
    EXPECT_LT(text.size() * 2, capacity);
    for (qsizetype i = 0; i < text.size(); ++i) {
      const char16_t unit = text.at(i).unicode();
      bytes_[offset + 2 * i] = static_cast<char>(unit & 0xFF);
      bytes_[offset + 2 * i + 1] = static_cast<char>(unit >> 8);
    }
    return *this;
  }

  ConfigFile& VideoBitrate(int kbps) { return Int(0, kbps); }
  ConfigFile& AudioBitrate(int kbps) { return Int(4, kbps); }
  ConfigFile& FrameRate(int fps) { return Int(8, fps); }
  ConfigFile& OutputSize(int width, int height) { return Int(12, width).Int(16, height); }
  // 0 microphone, 1 speaker, 2 both.
  ConfigFile& SoundSource(int source) { return Int(20, source); }
  // 0 MP4, 1 MPEG-TS.
  ConfigFile& SaveFormat(int format) { return Int(24, format); }
  ConfigFile& SaveFolder(const QString& folder) { return Gbk(28, 256, folder); }
  ConfigFile& VideoDevice(const QString& name) { return Utf16(284, 512, name); }
  ConfigFile& AudioDevice(const QString& name) { return Utf16(796, 512, name); }
  ConfigFile& HideOnStart(bool on) { return Int(1316, on ? 1 : 0); }
  ConfigFile& LiveEnabled(bool on) { return Int(1320, on ? 1 : 0); }
  ConfigFile& LiveUrl(const QString& url) { return Gbk(1324, 256, url); }
  ConfigFile& FluencyFirst(bool on) { return Int(1580, on ? 1 : 0); }
  // 0 desktop, 1 camera.
  ConfigFile& VideoSource(int source) { return Int(1972, source); }

  bool Save(const QString& path) const {
    QByteArray file;
    for (char byte : bytes_) {
      if (byte == '\n') file.append('\r');
      file.append(byte);
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(file) == file.size();
  }

 private:
  std::array<char, kSize> bytes_;
};

// config.cfg read back byte by byte: the text-mode translation undone, fields by their offsets.
class ConfigRecord {
 public:
  static std::optional<ConfigRecord> Load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    ConfigRecord record;
    record.bytes_ = file.readAll();
    record.bytes_.replace("\r\n", "\n");
    if (record.bytes_.size() != ConfigFile::kSize) return std::nullopt;
    return record;
  }

  std::int32_t Int(int offset) const {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
      value = (value << 8) | static_cast<std::uint8_t>(bytes_[offset + i]);
    return static_cast<std::int32_t>(value);
  }
  QString Gbk(int offset, int capacity) const {
    const QByteArray field = bytes_.mid(offset, capacity);
    const QByteArray text = field.left(field.indexOf('\0') < 0 ? capacity : field.indexOf('\0'));
    std::vector<char> out(static_cast<size_t>(text.size()) * 3 + 1, 0);
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    char* in = const_cast<char*>(text.constData());
    size_t inLeft = static_cast<size_t>(text.size());
    char* outPtr = out.data();
    size_t outLeft = out.size() - 1;
    const size_t converted = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (converted == static_cast<size_t>(-1)) return {};
    return QString::fromUtf8(out.data());
  }
  QString Utf16(int offset, int capacity) const {
    QString text;
    for (int i = 0; i + 1 < capacity; i += 2) {
      const char16_t unit =
          static_cast<char16_t>(static_cast<std::uint8_t>(bytes_[offset + i]) |
                                static_cast<std::uint8_t>(bytes_[offset + i + 1]) << 8);
      if (unit == 0) break;
      text.append(QChar(unit));
    }
    return text;
  }

  int SoundSource() const { return Int(20); }
  QString SaveFolder() const { return Gbk(28, 256); }
  QString VideoDevice() const { return Utf16(284, 512); }
  QString AudioDevice() const { return Utf16(796, 512); }
  int VideoSource() const { return Int(1972); }

 private:
  QByteArray bytes_;
};

// The toolbar settings most tests start from: the desktop at 25 fps scaled to 640 × 360 (light
// enough for a loaded two-core machine), the speaker and VirtualMic mixed.
inline ConfigFile LessonConfig(const QString& saveFolder) {
  ConfigFile config;
  config.FrameRate(25)
      .OutputSize(640, 360)
      .SoundSource(2)
      .AudioDevice(QStringLiteral("VirtualMic"))
      .SaveFolder(saveFolder);
  return config;
}

// One run of the real program with a home of its own.
class Toolbar {
 public:
  struct TraceLine {
    qint64 atMs;  // when the test read it, on the test's clock (Toolbar::Now)
    QString text;
    qint64 programMs = -1;  // when the program wrote it, on the program's own clock
  };

  Toolbar() {
    EXPECT_TRUE(home_.isValid());
    QDir().mkpath(VideosFolder());
  }
  ~Toolbar() {
    if (process_ && process_->state() != QProcess::NotRunning) {
      Terminate();
      if (!WaitForExit(8000)) {
        process_->kill();
        process_->waitForFinished(2000);
      }
    }
  }

  QString ConfigHome() const { return home_.filePath(QStringLiteral("config")); }
  QString ConfigPath() const { return ConfigHome() + QStringLiteral("/vortn/config.cfg"); }
  QString VideosFolder() const { return home_.filePath(QStringLiteral("videos")); }
  bool WriteConfig(const ConfigFile& config) const { return config.Save(ConfigPath()); }

  static qint64 Now() {
    static QElapsedTimer clock = [] {
      QElapsedTimer timer;
      timer.start();
      return timer;
    }();
    return clock.elapsed();
  }

  // Starts `program` (default: the built vortane) with this home and the trace on.
  void Start(const QString& program = ProgramDir() + QStringLiteral("/vortane"),
             const QStringList& extraEnvironment = {}) {
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
    env.insert(QStringLiteral("VORTANE_TRACE"), QStringLiteral("1"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString& entry : extraEnvironment) {
      const qsizetype eq = entry.indexOf(QLatin1Char('='));
      env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    process_->setProcessEnvironment(env);
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(program, {});
    ASSERT_TRUE(process_->waitForStarted(5000)) << program.toStdString();
    startedAt_ = Now();
  }

  qint64 Pid() const { return process_ ? process_->processId() : 0; }

  // Reads what the program wrote so far into the trace.
  void Pump() {
    if (!process_) return;
    process_->waitForReadyRead(0);
    pending_ += process_->readAllStandardError();
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
      QString line = QString::fromUtf8(pending_.left(end));
      pending_.remove(0, end + 1);
      // "[vortane   12.345] text"
      const qsizetype bracket = line.indexOf(QLatin1String("] "));
      qint64 programMs = -1;
      if (line.startsWith(QLatin1String("[vortane")) && bracket > 0) {
        programMs = qRound64(line.mid(8, bracket - 8).trimmed().toDouble() * 1000);
        line = line.mid(bracket + 2);
      }
      trace_.push_back({Now(), line, programMs});
    }
  }

  const std::vector<TraceLine>& Trace() {
    Pump();
    return trace_;
  }
  QString TraceText() {
    QStringList lines;
    for (const TraceLine& line : Trace())
      lines << QStringLiteral("%1 %2").arg(line.atMs).arg(line.text);
    return lines.join(QLatin1Char('\n'));
  }

  // The first trace line from index `from` on that `matches`; waits up to `ms`.
  std::optional<TraceLine> WaitForTrace(const std::function<bool(const QString&)>& matches, int ms,
                                        size_t from = 0) {
    std::optional<TraceLine> found;
    WaitUntil(
        [&] {
          Pump();
          for (size_t i = from; i < trace_.size(); ++i) {
            if (matches(trace_[i].text)) {
              found = trace_[i];
              return true;
            }
          }
          return process_->state() == QProcess::NotRunning;
        },
        ms);
    if (!found) {
      Pump();
      for (size_t i = from; i < trace_.size(); ++i)
        if (matches(trace_[i].text)) return trace_[i];
    }
    return found;
  }
  std::optional<TraceLine> WaitForTrace(const QString& startsWith, int ms, size_t from = 0) {
    return WaitForTrace([&](const QString& text) { return text.startsWith(startsWith); }, ms, from);
  }
  size_t TraceSize() { return Trace().size(); }

  // The start-up check passed and the toolbar sits at the top of the screen.
  bool WaitUntilReady(int ms = 15000) {
    return WaitForTrace(QStringLiteral("ready at"), ms).has_value();
  }

  void Terminate() {
    if (process_) kill(static_cast<pid_t>(process_->processId()), SIGTERM);
  }
  bool WaitForExit(int ms) {
    if (!process_) return true;
    const bool ended = WaitUntil([&] { return process_->state() == QProcess::NotRunning; }, ms);
    Pump();
    return ended;
  }
  int ExitCode() const {
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
  }
  QString StandardOutput() { return QString::fromUtf8(process_->readAllStandardOutput()); }

 private:
  QTemporaryDir home_;
  std::unique_ptr<QProcess> process_;
  QByteArray pending_;
  std::vector<TraceLine> trace_;
  qint64 startedAt_ = 0;
};

// --- The desktop
// ----------------------------------------------------------------------------------

// X window ids whose name is exactly `name` (only mapped ones when `visibleOnly`), waiting up to
// `ms` for one to exist (0: just look).
inline QStringList SearchWindows(const QString& name, bool visibleOnly, int ms) {
  QStringList arguments = {QStringLiteral("search")};
  if (visibleOnly) arguments << QStringLiteral("--onlyvisible");
  arguments << QStringLiteral("--name")
            << QStringLiteral("^%1$").arg(QRegularExpression::escape(name));
  QStringList ids;
  WaitUntil(
      [&] {
        const auto out = Run(QStringLiteral("xdotool"), arguments, 3000);
        ids = out ? out->split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
        return !ids.isEmpty();
      },
      ms);
  return ids;
}

inline QStringList FindWindows(const QString& name, int ms = 5000) {
  return SearchWindows(name, false, ms);
}

// The window's position and size on the screen.
inline std::optional<QRect> WindowGeometry(const QString& id) {
  const auto out = Run(QStringLiteral("xdotool"),
                       {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
  if (!out) return std::nullopt;
  QRect rect;
  for (const QString& line : out->split(QLatin1Char('\n'))) {
    const QStringList pair = line.split(QLatin1Char('='));
    if (pair.size() != 2) continue;
    const int value = pair[1].toInt();
    if (pair[0] == QLatin1String("X")) rect.moveLeft(value);
    if (pair[0] == QLatin1String("Y")) rect.moveTop(value);
    if (pair[0] == QLatin1String("WIDTH")) rect.setWidth(value);
    if (pair[0] == QLatin1String("HEIGHT")) rect.setHeight(value);
  }
  return rect;
}

// A key pressed on the real keyboard (XTEST), as the teacher would.
inline bool PressKey(const QString& key) {
  return Run(QStringLiteral("xdotool"), {QStringLiteral("key"), key}).has_value();
}

// Runs xdotool with `arguments`; true when it succeeded.
inline bool Xdotool(const QStringList& arguments) {
  return Run(QStringLiteral("xdotool"), arguments).has_value();
}

// Mapped windows whose name is exactly `name`, waiting up to `ms` for one (0: just look).
inline QStringList VisibleWindows(const QString& name, int ms = 0) {
  return SearchWindows(name, true, ms);
}

// The program's message boxes carry its title; `others` are windows of the same name that are
// not message boxes (the camera window). Waits up to `ms` for one.
inline QString MessageBoxTitle() {
  return Utf8("Vortane 录课直播");
}
inline std::optional<QString> WaitForMessageBox(int ms, const QStringList& others = {}) {
  std::optional<QString> box;
  WaitUntil(
      [&] {
        for (const QString& id : VisibleWindows(MessageBoxTitle())) {
          const auto geometry = WindowGeometry(id);
          // Qt's hidden 1 × 1 group leader shares the application's name.
          if (!others.contains(id) && geometry && geometry->width() > 1) box = id;
        }
        return box.has_value();
      },
      ms);
  return box;
}

// Answers a message box with Enter, as a user would; true once it has gone.
inline bool AnswerMessageBox(const QString& id) {
  if (!Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}) ||
      !Xdotool({QStringLiteral("key"), QStringLiteral("Return")}))
    return false;
  return WaitUntil([&] { return !VisibleWindows(MessageBoxTitle()).contains(id); }, 5000);
}

inline bool ClickAt(const QPoint& screenPoint) {
  return Run(QStringLiteral("xdotool"),
             {QStringLiteral("mousemove"), QString::number(screenPoint.x()),
              QString::number(screenPoint.y()), QStringLiteral("click"), QStringLiteral("1")})
      .has_value();
}

// A picture of the screen, cut to `rect` (e.g. for the README).
inline bool Screenshot(const QString& path, const QRect& rect) {
  const QString crop = QStringLiteral("%1x%2+%3+%4")
                           .arg(rect.width())
                           .arg(rect.height())
                           .arg(rect.x())
                           .arg(rect.y());
  return Run(QStringLiteral("import"),
             {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"), crop,
              QStringLiteral("+repage"), path})
      .has_value();
}

inline QString RtmpUrl() {
  return qEnvironmentVariable("VORTANE_RTMP_URL");
}

// The running nginx-rtmp of the desktop: ended at once, started again on the same port.
class RtmpServer {
 public:
  RtmpServer() : pid_(qEnvironmentVariableIntValue("VORTANE_NGINX_PID")) {}
  bool Kill() { return pid_ > 0 && kill(pid_, SIGKILL) == 0; }
  // Returns once the server accepts connections again.
  bool Restart() {
    const auto out = Run(qEnvironmentVariable("VORTANE_NGINX_START"), {}, 10000);
    if (!out) return false;
    pid_ = out->trimmed().toInt();
    return pid_ > 0;
  }

 private:
  pid_t pid_;
};

// --- Processes ------------------------------------------------------------------------------

// The ids of the direct children of `parent` started as `name` (argv[0]'s file name: vortenc
// becomes ffmpeg in the same process and keeps its own name there).
inline std::vector<pid_t> ChildProcesses(qint64 parent, const QString& name) {
  std::vector<pid_t> found;
  const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
  for (const QString& entry : entries) {
    bool number = false;
    const pid_t pid = entry.toInt(&number);
    if (!number) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    // pid (comm) state ppid ...
    const qsizetype close = text.lastIndexOf(')');
    const qsizetype open = text.indexOf('(');
    if (close < 0 || open < 0) continue;
    const QList<QByteArray> rest = text.mid(close + 2).split(' ');
    if (rest.size() < 2 || rest[1].toLongLong() != parent) continue;
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly)) continue;
    const QByteArray argv0 = commandLine.readAll().split('\0').value(0);
    if (QFileInfo(QString::fromLocal8Bit(argv0)).fileName() == name) found.push_back(pid);
  }
  return found;
}

inline bool ProcessAlive(pid_t pid) {
  return pid > 0 && kill(pid, 0) == 0 && QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

// --- Media ----------------------------------------------------------------------------------

struct MediaInfo {
  QString format;
  double duration = 0;
  QString videoCodec;
  int width = 0;
  int height = 0;
  double videoDuration = 0;
  QString audioCodec;
  double audioDuration = 0;
  int audioStreams = 0;
};

// ffprobe's view of a file or a stream address.
inline std::optional<MediaInfo> Probe(const QString& source, const QStringList& options = {},
                                      int timeoutMs = 20000) {
  QStringList arguments{QStringLiteral("-v"), QStringLiteral("error")};
  arguments << options
            << QStringList{QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
                           QStringLiteral("-of"), QStringLiteral("json"), source};
  const auto out = Run(QStringLiteral("ffprobe"), arguments, timeoutMs);
  if (!out) return std::nullopt;
  const QJsonObject root = QJsonDocument::fromJson(out->toUtf8()).object();
  MediaInfo info;
  info.format = root[QStringLiteral("format")][QStringLiteral("format_name")].toString();
  info.duration = root[QStringLiteral("format")][QStringLiteral("duration")].toString().toDouble();
  for (const QJsonValue& value : root[QStringLiteral("streams")].toArray()) {
    const QJsonObject stream = value.toObject();
    const QString type = stream[QStringLiteral("codec_type")].toString();
    const double duration = stream[QStringLiteral("duration")].toString().toDouble();
    if (type == QLatin1String("video")) {
      info.videoCodec = stream[QStringLiteral("codec_name")].toString();
      info.width = stream[QStringLiteral("width")].toInt();
      info.height = stream[QStringLiteral("height")].toInt();
      info.videoDuration = duration;
    } else if (type == QLatin1String("audio")) {
      info.audioCodec = stream[QStringLiteral("codec_name")].toString();
      info.audioDuration = duration;
      ++info.audioStreams;
    }
  }
  return info;
}

// Where the picture and the sound of a file end: the latest end of any of their packets (an
// MPEG-TS file's stream durations are estimates).
struct StreamEnds {
  double video = 0;
  double audio = 0;
};
inline std::optional<StreamEnds> ProbeStreamEnds(const QString& file) {
  const auto out =
      Run(QStringLiteral("ffprobe"),
          {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
           QStringLiteral("packet=codec_type,pts_time,duration_time"), QStringLiteral("-of"),
           QStringLiteral("csv=p=0"), file},
          20000);
  if (!out) return std::nullopt;
  StreamEnds ends;
  for (const QString& line : out->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() < 3) continue;
    const double end = fields[1].toDouble() + fields[2].toDouble();
    double& stream = fields[0] == QLatin1String("video") ? ends.video : ends.audio;
    stream = std::max(stream, end);
  }
  return ends;
}

// "hh:mm:ss.xx" → seconds.
inline double EncoderSeconds(const QString& time) {
  const QStringList parts = time.split(QLatin1Char(':'));
  if (parts.size() != 3) return -1;
  return parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].toDouble();
}

// The seconds of a recording's progress line ("status: 正在录制 00:00:12.34"), or -1 for any
// other trace line.
inline double RecordingSeconds(const QString& line) {
  const QString prefix = Utf8("status: 正在录制 ");
  return line.startsWith(prefix) ? EncoderSeconds(line.mid(prefix.size())) : -1;
}

// A trace predicate: the recording has run for at least `seconds`.
inline std::function<bool(const QString&)> RecordingPast(double seconds) {
  return [seconds](const QString& line) { return RecordingSeconds(line) >= seconds; };
}

// The recordings in `folder`: file names, sorted.
inline QStringList Recordings(const QString& folder) {
  return QDir(folder).entryList(QDir::Files, QDir::Name);
}

}  // namespace vortane::test
