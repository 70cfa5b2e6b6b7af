// The real capture command through the job runner and the vortenc adapter: desktop with speaker
// and microphone mixed, stopped on request, then the real remux command.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <vector>

#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"

namespace vortane {
namespace {

using Clock = std::chrono::steady_clock;

// One report of the job and when it arrived (value: the exit code of an end).
struct Received {
  int code = 0;
  QString text;
  double value = 0;
  Clock::time_point at;
};

class JobWatcher {
 public:
  std::shared_ptr<ProcessJob> Start(const QString& command) {
    received.clear();
    std::shared_ptr<ProcessJob> job = MakeEncoderJob(command);
    QObject* owner = QCoreApplication::instance();
    QObject::connect(job.get(), &Job::started, owner, [this] {
      received.push_back({kJobStarted, {}, 0, Clock::now()});
    });
    QObject::connect(job.get(), &Job::progressed, owner, [this](const QString& text, double) {
      received.push_back({kJobProgress, text, 0, Clock::now()});
    });
    QObject::connect(job.get(), &Job::finished, owner, [this](const JobOutcome& outcome) {
      received.push_back({outcome.StatusCode(), outcome.text, static_cast<double>(outcome.exitCode),
                          Clock::now()});
    });
    job->Start();
    jobs_.push_back(job);
    return job;
  }

  // Pumps events until `condition` holds or `seconds` pass.
  template <typename Condition>
  bool WaitFor(Condition condition, int seconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < seconds * 1000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return condition();
  }

  const Received* FirstProgress() const {
    for (const auto& r : received) {
      if (r.code == kJobProgress && !r.text.isEmpty()) return &r;
    }
    return nullptr;
  }
  bool Ended() const {
    return !received.empty() &&
           (received.back().code == kJobFinished || received.back().code == kJobStopped ||
            received.back().code == kJobError);
  }

  std::vector<Received> received;

 private:
  std::vector<std::shared_ptr<ProcessJob>> jobs_;
};

QJsonObject Probe(const QString& path) {
  QProcess probe;
  probe.start(
      QStringLiteral("ffprobe"),
      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_streams"),
       QStringLiteral("-show_format"), QStringLiteral("-of"), QStringLiteral("json"), path});
  probe.waitForFinished(20000);
  return QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
}

bool RunTool(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  bool ok = process.waitForFinished(30000) && process.exitCode() == 0;
  if (output != nullptr) *output = process.readAll();
  return ok;
}

// Start times (seconds into the file's sound) of the 2 kHz beeps in `path`.
std::vector<double> BeepsIn(const QString& path) {
  QByteArray log;
  RunTool(QStringLiteral("ffmpeg"),
          {QStringLiteral("-hide_banner"), QStringLiteral("-i"), path, QStringLiteral("-vn"),
           QStringLiteral("-af"),
           QStringLiteral("highpass=f=1500,highpass=f=1500,silencedetect=n=-35dB:d=0.1"),
           QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
          &log);
  std::vector<double> beeps;
  for (const QByteArray& line : log.split('\n')) {
    int at = line.indexOf("silence_end: ");
    if (at >= 0) beeps.push_back(line.mid(at + 13).split(' ').first().toDouble());
  }
  return beeps;
}

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

TEST(EncoderPipeline, DesktopWithMixedSoundKeepsTheLessonsLastWords) {
  int argc = 1;
  char arg0[] = "encoder_pipeline_test";
  char* argv[] = {arg0, nullptr};
  QCoreApplication app(argc, argv);
  QByteArray programDir = qgetenv("VORTANE_PROGRAM_DIR");
  ASSERT_FALSE(programDir.isEmpty());
  qputenv("PATH", programDir + ":" + qgetenv("PATH"));

  QTemporaryDir folder;
  QString beep = folder.filePath(QStringLiteral("beep.wav"));
  ASSERT_TRUE(RunTool(
      QStringLiteral("ffmpeg"),
      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
       QStringLiteral("-i"), QStringLiteral("sine=frequency=2000:duration=0.3:sample_rate=48000"),
       QStringLiteral("-ac"), QStringLiteral("2"), beep}));
  QString capture = folder.filePath(QStringLiteral("20261209101500.ts"));
  QString final = folder.filePath(QStringLiteral("20261209101500m.mp4"));
  std::optional<QString> command = BuildCaptureCommand(
      QString::fromLatin1(kDesktopSourceName), capture, QString::fromLatin1(kSpeakerSourceName),
      QStringLiteral("VirtualMic"), 0, 0, 25, 0, 0, 0, 0, CaptureRegion{});
  ASSERT_TRUE(command.has_value());

  JobWatcher watcher;
  auto job = watcher.Start(*command);
  ASSERT_TRUE(watcher.WaitFor([&] { return watcher.FirstProgress() || watcher.Ended(); }, 20));
  ASSERT_FALSE(watcher.Ended()) << "the capture ended before it made progress";
  Clock::time_point firstProgress = watcher.FirstProgress()->at;
  watcher.WaitFor([] { return false; }, 4);
  // The teacher's last word: a beep on the speaker that ends just before the stop key; the
  // toolbar marks the key and asks the runner to stop a second later.
  ASSERT_TRUE(RunTool(QStringLiteral("paplay"), {beep}));
  Clock::time_point stopAt = Clock::now();
  job->SetStopMoment(SteadyMilliseconds());
  watcher.WaitFor([] { return false; }, 1);
  job->RequestStop();
  ASSERT_TRUE(watcher.WaitFor([&] { return watcher.Ended(); }, 20));
  EXPECT_EQ(watcher.received.back().code, kJobStopped);
  EXPECT_EQ(watcher.received.front().code, kJobStarted);
  double stopToEnd = Seconds(watcher.received.back().at - stopAt);
  EXPECT_LT(stopToEnd, 8.0) << "the encoder finished on \"q\" instead of being killed";

  std::optional<QString> remux = BuildRemuxCommand(capture, final);
  ASSERT_TRUE(remux.has_value());
  watcher.Start(*remux);
  ASSERT_TRUE(watcher.WaitFor([&] { return watcher.Ended(); }, 30));
  ASSERT_EQ(watcher.received.back().code, kJobFinished);
  EXPECT_EQ(watcher.received.back().value, 0.0);

  QJsonObject probe = Probe(final);
  QJsonArray streams = probe[QStringLiteral("streams")].toArray();
  ASSERT_EQ(streams.size(), 2) << QJsonDocument(probe).toJson().toStdString();
  QJsonObject video = streams[0].toObject();
  QJsonObject audio = streams[1].toObject();
  EXPECT_EQ(video[QStringLiteral("codec_name")].toString(), QStringLiteral("h264"));
  EXPECT_EQ(audio[QStringLiteral("codec_name")].toString(), QStringLiteral("aac"));
  EXPECT_EQ(video[QStringLiteral("width")].toInt(), 1920);
  double videoSeconds = video[QStringLiteral("duration")].toString().toDouble();
  double audioSeconds = audio[QStringLiteral("duration")].toString().toDouble();
  // Everything up to the stop key is in the file, picture and sound. (The sound ends earlier
  // than the pictures by the video encoder's delay; what matters is that it reaches the stop.)
  EXPECT_GE(videoSeconds, Seconds(stopAt - firstProgress) - 0.5);
  std::vector<double> beeps = BeepsIn(final);
  ASSERT_FALSE(beeps.empty()) << "the last words before the stop are missing";
  double lastBeep = beeps.size() > 1 ? beeps[beeps.size() - 2] : beeps.back();
  // The 0.3 s beep is there well beyond its first moments. On a machine with a core kept busy the
  // sound server hands its last tens of milliseconds over later than a quiet one does.
  EXPECT_GT(audioSeconds - lastBeep, 0.15) << "the beep is cut off";
}

}  // namespace
}  // namespace vortane
