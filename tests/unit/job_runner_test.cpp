#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "encoder/encoder_job.h"
#include "encoder/progress_reader.h"
#include "platform/child_run.h"

namespace vortane {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

QString Child(const char* script, const QString& arguments = QString()) {
  const char* source = std::getenv("VORTANE_SOURCE_DIR");
  EXPECT_NE(source, nullptr) << "run through ctest, which sets VORTANE_SOURCE_DIR";
  return QStringLiteral("sh \"%1/tests/unit/children/%2\" ")
             .arg(QString::fromLocal8Bit(source ? source : "."), QLatin1StringView(script)) +
         arguments;
}

// One report of a job as its owner received it (value: the exit code of an end by itself, -1
// for a failure).
struct Report {
  int statusCode = 0;
  double statusValue = 0;
  std::string statusText;
};

// The owner's side, on this (the UI) thread: collects what the jobs report.
class Inbox {
 public:
  Inbox() {
    static int argc = 1;
    static char name[] = "job_runner_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }

  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limit.count()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      std::this_thread::sleep_for(5ms);
    }
    return done();
  }
  void Pump(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
  }
  bool WaitEnd(std::uint64_t serial) {
    return PumpUntil([&] {
      const std::vector<Report> s = Of(serial);
      return !s.empty() && s.back().statusCode != kJobStarted &&
             s.back().statusCode != kJobProgress;
    });
  }
  std::vector<Report> Of(std::uint64_t serial) const {
    const auto found = reports.find(serial);
    return found == reports.end() ? std::vector<Report>() : found->second;
  }

  std::shared_ptr<ProcessJob> NewJob(const QString& commandLine) {
    std::shared_ptr<ProcessJob> job = MakeEncoderJob(commandLine);
    std::vector<Report>& to = reports[job->serial];
    QObject::connect(job.get(), &Job::started, &owner, [&to] {
      to.push_back({kJobStarted, 0, {}});
    });
    QObject::connect(job.get(), &Job::progressed, &owner, [&to](const QString& text, double value) {
      to.push_back({kJobProgress, value, text.toStdString()});
    });
    QObject::connect(job.get(), &Job::finished, &owner, [&to](const JobOutcome& outcome) {
      const double value = outcome.end == JobOutcome::End::kExited   ? outcome.exitCode
                           : outcome.end == JobOutcome::End::kFailed ? -1.0
                                                                     : 0.0;
      to.push_back({outcome.StatusCode(), value, outcome.text.toStdString()});
    });
    return job;
  }

  std::map<std::uint64_t, std::vector<Report>> reports;
  QObject owner;
};

Texts ProgressTexts(const std::vector<Report>& statuses) {
  Texts texts;
  for (const Report& s : statuses)
    if (s.statusCode == kJobProgress) texts.push_back(s.statusText);
  return texts;
}

// Started first, the final status last and only once, progress in between.
void ExpectWellFormed(const std::vector<Report>& statuses, std::int32_t finalCode) {
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_EQ(statuses.front().statusCode, kJobStarted);
  EXPECT_EQ(statuses.back().statusCode, finalCode);
  for (size_t i = 1; i + 1 < statuses.size(); ++i)
    EXPECT_EQ(statuses[i].statusCode, kJobProgress) << "message " << i;
}

std::string ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

TEST(ProgressLines, OnlyTheFirstCompleteTimeOfAChunkCounts) {
  EXPECT_EQ(FindProgressTime("frame=  100 fps= 25 q=28.0 size=  512kB time=00:00:04.00 "
                             "bitrate=1048.6kbits/s speed=1x    \r"),
            "00:00:04.00");
  EXPECT_EQ(FindProgressTime("time=01:02:03.45 b"), std::nullopt);  // 18 characters: cut short
  EXPECT_EQ(FindProgressTime("time=01:02:03.45 bi"), "01:02:03.45");
  EXPECT_EQ(FindProgressTime("time=N/A bitrate=N/A speed=N/A    \r"), std::nullopt);
  EXPECT_EQ(FindProgressTime("time=00:00:04.00bitrate=1kbits/s"), std::nullopt);  // no blank
  EXPECT_EQ(FindProgressTime("time=N/A bitrate=N/A\rtime=00:00:02.00 bitrate=1 "), std::nullopt);
  // A capture whose clock starts before its first frame counts up from below zero at first.
  EXPECT_EQ(FindProgressTime("time=-00:00:00.04 bitrate=N/A speed=N/A "), std::nullopt);
  EXPECT_EQ(FindLastProgressTime("time=00:00:01.00 bitrate=1 \rtime=00:00:13.00 bitrate=1 \n"),
            "00:00:13.00");
  EXPECT_EQ(FindLastProgressTime("time=00:00:01.00 bitrate=1 \rtime=00:00:13.0"), "00:00:01.00");
  EXPECT_EQ(FindLastProgressTime("time=-00:00:00.04 bitrate=N/A \r"), std::nullopt);
}

TEST(JobRunner, ReportsProgressAndExitCodes) {
  Inbox inbox;
  QTemporaryDir scratch;
  // Several children at once: they overlap and must not mix up their messages.
  auto progress = inbox.NewJob(Child("progress.sh", QStringLiteral("3")));
  auto bigChunk = inbox.NewJob(Child("big_chunk.sh", '"' + scratch.filePath("chunk") + '"'));
  auto crash = inbox.NewJob(QStringLiteral("sh -c \"kill -SEGV $$\""));
  for (auto& job : {progress, bigChunk, crash})
    job->Start();
  for (auto& job : {progress, bigChunk, crash})
    ASSERT_TRUE(inbox.WaitEnd(job->serial)) << job->commandLine().toStdString();
  inbox.Pump(100ms);

  // ffmpeg's status line rewritten with \r: the reader's opening message, then one progress per
  // line; "time=N/A" yields nothing.
  std::vector<Report> statuses = inbox.Of(progress->serial);
  ExpectWellFormed(statuses, kJobFinished);
  EXPECT_EQ(ProgressTexts(statuses), (Texts{"", "00:00:01.00", "00:00:02.00", "00:00:03.00"}));
  EXPECT_EQ(statuses.back().statusValue, 3.0);

  // A chunk of about 3000 bytes is read whole: its first time counts, the one at its end not.
  statuses = inbox.Of(bigChunk->serial);
  ExpectWellFormed(statuses, kJobFinished);
  EXPECT_EQ(ProgressTexts(statuses), (Texts{"", "00:00:01.00", "00:00:02.00"}));
  EXPECT_EQ(statuses.back().statusValue, 0.0);

  // A crashed child's code has the high bit set: a large positive number, not a negative one.
  ExpectWellFormed(inbox.Of(crash->serial), kJobFinished);
  EXPECT_EQ(inbox.Of(crash->serial).back().statusValue, 2147483648.0 + SIGSEGV);
}

TEST(JobRunner, StopAsksTheChildToFinishThenKillsIt) {
  Inbox inbox;
  QTemporaryDir scratch;
  const QString keyFile = scratch.filePath("key"), pidFile = scratch.filePath("pid");
  auto polite = inbox.NewJob(Child("stop_on_q.sh", '"' + keyFile + '"'));
  auto stubborn = inbox.NewJob(Child("ignore_stop.sh", '"' + pidFile + '"'));
  // A stop requested before the process exists is honoured on the first pass.
  auto early = inbox.NewJob(Child("stop_on_q.sh", '"' + scratch.filePath("early") + '"'));
  early->RequestStop();
  // A child that ends by itself while the stop is pending still ends as stopped.
  auto gone = inbox.NewJob(QStringLiteral("sh -c \"exit 9\""));
  gone->RequestStop();
  for (auto& job : {polite, stubborn, early, gone})
    job->Start();

  ASSERT_TRUE(inbox.PumpUntil([&] {
    return ProgressTexts(inbox.Of(polite->serial)).size() >= 2 && QFile::exists(pidFile);
  }));
  QElapsedTimer sinceStop;
  sinceStop.start();
  polite->RequestStop();
  stubborn->RequestStop();
  ASSERT_TRUE(inbox.WaitEnd(polite->serial));
  const qint64 politeMs = sinceStop.elapsed();
  ASSERT_TRUE(inbox.WaitEnd(stubborn->serial));
  const qint64 stubbornMs = sinceStop.elapsed();
  ASSERT_TRUE(inbox.WaitEnd(early->serial) && inbox.WaitEnd(gone->serial));
  inbox.Pump(100ms);

  // The polite child finished on "q" (plus the drain pause), long before a kill would come.
  ExpectWellFormed(inbox.Of(polite->serial), kJobStopped);
  EXPECT_EQ(ReadFile(keyFile), "q");
  EXPECT_LT(politeMs, 2500);
  // The stubborn one was killed after the grace time and is gone.
  ExpectWellFormed(inbox.Of(stubborn->serial), kJobStopped);
  EXPECT_GE(stubbornMs, 2900);
  EXPECT_NE(kill(std::stoi(ReadFile(pidFile)), 0), 0);

  ExpectWellFormed(inbox.Of(early->serial), kJobStopped);
  EXPECT_EQ(ReadFile(scratch.filePath("early")), "q");
  ExpectWellFormed(inbox.Of(gone->serial), kJobStopped);
}

TEST(JobRunner, StopWaitsForAnEncoderThatTrailsItsCaptureButNotForever) {
  Inbox inbox;
  QTemporaryDir scratch;
  // One encoder 1.5 s behind its capture; the same whose stop key came 3 s before the request;
  // one 20 s behind that also goes on after "q".
  const QString trailingFile = scratch.filePath("trailing"), farFile = scratch.filePath("far"),
                keyedFile = scratch.filePath("keyed");
  auto trailing = inbox.NewJob(
      Child("lagging_encoder.sh", '"' + trailingFile + "\" 1500").replace("sh \"", "bash \""));
  auto keyed = inbox.NewJob(
      Child("lagging_encoder.sh", '"' + keyedFile + "\" 1500").replace("sh \"", "bash \""));
  auto far = inbox.NewJob(
      Child("lagging_encoder.sh", '"' + farFile + "\" 20000 stay").replace("sh \"", "bash \""));
  QElapsedTimer sinceStart;
  sinceStart.start();
  for (const auto& job : {trailing, keyed, far})
    job->Start();
  // An encoder can be more than 6 s behind only once it has run that long.
  ASSERT_TRUE(inbox.PumpUntil([&] {
    return sinceStart.elapsed() > 8000 && ProgressTexts(inbox.Of(trailing->serial)).size() >= 3 &&
           ProgressTexts(inbox.Of(keyed->serial)).size() >= 3 &&
           ProgressTexts(inbox.Of(far->serial)).size() >= 3;
  }));
  const qint64 stopAt = QDateTime::currentMSecsSinceEpoch();
  // The key's own work (the lesson's end mark) is done on the worker, before the child's "q".
  std::atomic<qint64> keyWorkAt{0};
  std::atomic<bool> keyWorkOnWorker{false};
  const std::thread::id windowThread = std::this_thread::get_id();
  keyed->SetStopMoment(SteadyMilliseconds() - 3000, [&] {
    keyWorkOnWorker = std::this_thread::get_id() != windowThread;
    keyWorkAt = QDateTime::currentMSecsSinceEpoch();
  });
  for (const auto& job : {trailing, keyed, far})
    job->RequestStop();
  for (const auto& job : {trailing, keyed, far})
    ASSERT_TRUE(inbox.WaitEnd(job->serial));
  const qint64 farEndedAt = QDateTime::currentMSecsSinceEpoch();
  for (const auto& job : {trailing, keyed, far})
    ExpectWellFormed(inbox.Of(job->serial), kJobStopped);

  // "q" came only after the encoder had written what was captured up to the stop request and a
  // tenth of a second more (the sound still in the mixer), and not much later.
  const qint64 trailingQuitAt = std::stoll(ReadFile(trailingFile));
  EXPECT_GE(trailingQuitAt, stopAt + 1600);
  EXPECT_LE(trailingQuitAt, stopAt + 4500);
  // With the key 3 s back, all it captured up to the key is written already: "q" at once.
  EXPECT_LT(std::stoll(ReadFile(keyedFile)), stopAt + 1500);
  EXPECT_TRUE(keyWorkOnWorker);
  EXPECT_GE(keyWorkAt.load(), stopAt);
  EXPECT_LE(keyWorkAt.load(), std::stoll(ReadFile(keyedFile)));
  // The far one is waited for 6 s at most, then killed 3 s after its "q".
  const std::string farRecord = ReadFile(farFile);
  ASSERT_NE(farRecord.find(' '), std::string::npos) << farRecord;
  const qint64 farQuitAt = std::stoll(farRecord);
  EXPECT_GE(farQuitAt, stopAt + 5990);
  EXPECT_LE(farQuitAt, stopAt + 7500);
  EXPECT_GE(farEndedAt, stopAt + 9000);
  EXPECT_LE(farEndedAt, stopAt + 11500);
  EXPECT_NE(kill(std::stoi(farRecord.substr(farRecord.find(' ') + 1)), 0), 0)
      << "the encoder is gone";
}

TEST(JobRunner, StoppedFfmpegFinishesAPlayableFile) {
  Inbox inbox;
  QTemporaryDir scratch;
  const QString file = scratch.filePath(QStringLiteral("课堂 1.mp4"));
  auto job = inbox.NewJob(QStringLiteral("ffmpeg -hide_banner -y -re -f lavfi -i "
                                         "testsrc=size=160x120:rate=25 -c:v libx264 -preset "
                                         "ultrafast \"%1\"")
                              .arg(file));
  job->Start();
  ASSERT_TRUE(inbox.PumpUntil([&] { return ProgressTexts(inbox.Of(job->serial)).size() >= 3; }));
  job->RequestStop();
  ASSERT_TRUE(inbox.WaitEnd(job->serial));
  ExpectWellFormed(inbox.Of(job->serial), kJobStopped);
  const Texts times = ProgressTexts(inbox.Of(job->serial));
  for (size_t i = 1; i < times.size(); ++i)
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d$"))
                    .match(QString::fromStdString(times[i]))
                    .hasMatch())
        << times[i];
  // A file ended by "q" has its index written: ffprobe reads it without complaint.
  ChildRun probe;
  probe.commandLine = QStringLiteral("ffprobe -v error \"%1\"").arg(file);
  EXPECT_EQ(RunChild(probe), 0u);
}

TEST(JobRunner, FailuresToStartArriveAfterTheStartedReport) {
  for (const QString& line : {QStringLiteral("vortane-no-such-program -i \"a b\""), QString()}) {
    ChildRun run;
    run.commandLine = line;
    std::vector<Report> statuses;
    run.report = [&](int code, double value, const QString& text) {
      statuses.push_back({code, value, text.toStdString()});
    };
    EXPECT_EQ(RunChild(run), 2u);
    ASSERT_EQ(statuses.size(), 2u) << line.toStdString();
    EXPECT_EQ(statuses[0].statusCode, kChildStarted);
    EXPECT_EQ(statuses[1].statusCode, kChildFailed);
    EXPECT_EQ(statuses[1].statusValue, -1.0);
    EXPECT_EQ(statuses[1].statusText, "创建进程失败");
    EXPECT_EQ(run.readPipe + run.writePipe + run.stdinPipe, -3);  // nothing left open
  }
  // Nobody listening: the run still gives the child's exit code.
  ChildRun silent;
  silent.commandLine = Child("progress.sh", QStringLiteral("5"));
  silent.reader = EncoderProgressReader;
  EXPECT_EQ(RunChild(silent), 5u);
}

// The job owns its worker: a job dropped while its child runs asks the child to finish and is
// gone only with it.
TEST(JobRunner, AJobDroppedWhileRunningTakesItsChildWithIt) {
  Inbox inbox;
  QTemporaryDir scratch;
  const QString keyFile = scratch.filePath("key");
  auto job = inbox.NewJob(Child("stop_on_q.sh", '"' + keyFile + '"'));
  const std::uint64_t serial = job->serial;
  job->Start();
  ASSERT_TRUE(inbox.PumpUntil([&] { return ProgressTexts(inbox.Of(serial)).size() >= 2; }));
  QElapsedTimer dropping;
  dropping.start();
  job.reset();
  EXPECT_LT(dropping.elapsed(), 2500) << "a polite child is not killed";
  EXPECT_EQ(ReadFile(keyFile), "q");
}

}  // namespace
}  // namespace vortane
