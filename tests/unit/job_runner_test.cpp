#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <set>
#include <thread>

#include "encoder/encoder_job.h"
#include "encoder/progress_reader.h"
#include "platform/code_page.h"
#include "platform/window_messages.h"

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

// A window on this (the UI) thread that collects the job messages posted to it.
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
      std::vector<JobStatus> s = Of(serial);
      return !s.empty() && s.back().statusCode != kJobStarted &&
             s.back().statusCode != kJobProgress;
    });
  }
  std::vector<JobStatus> Of(std::uint64_t serial) const {
    std::vector<JobStatus> statuses;
    for (const platform::WindowMessage& m : messages)
      if (std::any_cast<JobEvent>(m.payload).jobSerial == serial)
        statuses.push_back(std::any_cast<JobEvent>(m.payload).status);
    return statuses;
  }

  std::shared_ptr<EncoderJob> NewJob(const QString& commandLine,
                                     std::uint32_t message = WM_RECORD_JOB_EVENT) {
    auto job = std::make_shared<EncoderJob>();
    job->ownerWindow = window.handle();
    job->notifyMessage = message;
    job->commandLineWide = commandLine;
    job->readerProc = EncoderProgressReader;
    return job;
  }

  std::vector<platform::WindowMessage> messages;
  QObject owner;
  platform::MessageWindow window{
      &owner, [this](const platform::WindowMessage& m) { messages.push_back(m); }};
};

Texts ProgressTexts(const std::vector<JobStatus>& statuses) {
  Texts texts;
  for (const JobStatus& s : statuses)
    if (s.statusCode == kJobProgress) texts.push_back(s.statusText);
  return texts;
}

// Started first, the final status last and only once, progress in between.
void ExpectWellFormed(const std::vector<JobStatus>& statuses, std::int32_t finalCode) {
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

TEST(JobStatusMessages, CarryTheirOwnCopyAndCutLongTexts) {
  Inbox inbox;
  EncoderJob job;
  EXPECT_NE(job.serial, EncoderJob().serial);
  job.ownerWindow = inbox.window.handle();
  PostJobStatus(job, kJobProgress, 5.0, "00:00:01.00");  // no notify message: nothing at all
  EXPECT_EQ(job.status.statusCode, 0);

  job.notifyMessage = WM_TRIM_JOB_EVENT;
  PostJobStatus(job, kJobProgress, 0.0, "00:00:01.00");
  const std::string ascii(300, 'a');
  PostJobStatus(job, kJobError, -1.0, ascii.c_str());
  // 130 double-byte characters: 255 bytes would end inside the 128th one.
  std::string wide;
  for (int i = 0; i < 130; ++i)
    wide += platform::Utf8ToAnsi("中");
  PostJobStatus(job, kJobError, -1.0, wide.c_str());
  PostJobStatus(job, kJobStopped, 0.0, nullptr);
  inbox.Pump(100ms);

  ASSERT_EQ(inbox.messages.size(), 4u);
  EXPECT_EQ(inbox.messages[0].message, WM_TRIM_JOB_EVENT);
  EXPECT_EQ(inbox.messages[0].wParam, reinterpret_cast<std::uintptr_t>(&job));
  EXPECT_EQ(std::any_cast<JobEvent>(inbox.messages[0].payload).job, &job);
  // Each message kept the status of its moment, though the block was overwritten since.
  std::vector<JobStatus> statuses = inbox.Of(job.serial);
  EXPECT_STREQ(statuses[0].statusText, "00:00:01.00");
  EXPECT_EQ(statuses[1].statusText, ascii.substr(0, 255));
  EXPECT_EQ(statuses[2].statusText, wide.substr(0, 254));
  EXPECT_STREQ(statuses[3].statusText, "");
  EXPECT_EQ(job.status.statusCode, kJobStopped);
}

TEST(JobRunner, ReportsProgressAndExitCodes) {
  Inbox inbox;
  QTemporaryDir scratch;
  // Several children at once: they overlap and must not mix up their messages.
  auto progress = inbox.NewJob(Child("progress.sh", QStringLiteral("3")));
  auto bigChunk = inbox.NewJob(Child("big_chunk.sh", '"' + scratch.filePath("chunk") + '"'));
  auto crash = inbox.NewJob(QStringLiteral("sh -c \"kill -SEGV $$\""));
  for (auto& job : {progress, bigChunk, crash})
    StartEncoderJob(job);
  for (auto& job : {progress, bigChunk, crash})
    ASSERT_TRUE(inbox.WaitEnd(job->serial)) << job->commandLineWide.toStdString();
  inbox.Pump(100ms);

  // ffmpeg's status line rewritten with \r: the reader's opening message, then one progress per
  // line; "time=N/A" yields nothing.
  std::vector<JobStatus> statuses = inbox.Of(progress->serial);
  ExpectWellFormed(statuses, kJobFinished);
  EXPECT_EQ(ProgressTexts(statuses), (Texts{"", "00:00:01.00", "00:00:02.00", "00:00:03.00"}));
  EXPECT_EQ(statuses.back().statusValue, 3.0);
  EXPECT_EQ(progress->finished.load(), 1);
  EXPECT_EQ(progress->readPipe, -1);

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
  early->stopRequested = 1;
  // A child that ends by itself while the stop is pending still ends as stopped.
  auto gone = inbox.NewJob(QStringLiteral("sh -c \"exit 9\""));
  gone->stopRequested = 1;
  for (auto& job : {polite, stubborn, early, gone})
    StartEncoderJob(job);

  ASSERT_TRUE(inbox.PumpUntil([&] {
    return ProgressTexts(inbox.Of(polite->serial)).size() >= 2 && QFile::exists(pidFile);
  }));
  QElapsedTimer sinceStop;
  sinceStop.start();
  polite->stopRequested = 1;
  stubborn->stopRequested = 1;
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
    StartEncoderJob(job);
  // An encoder can be more than 6 s behind only once it has run that long.
  ASSERT_TRUE(inbox.PumpUntil([&] {
    return sinceStart.elapsed() > 8000 && ProgressTexts(inbox.Of(trailing->serial)).size() >= 3 &&
           ProgressTexts(inbox.Of(keyed->serial)).size() >= 3 &&
           ProgressTexts(inbox.Of(far->serial)).size() >= 3;
  }));
  const qint64 stopAt = QDateTime::currentMSecsSinceEpoch();
  keyed->stopMomentMs = SteadyMilliseconds() - 3000;
  for (const auto& job : {trailing, keyed, far})
    job->stopRequested = 1;
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
  StartEncoderJob(job);
  ASSERT_TRUE(inbox.PumpUntil([&] { return ProgressTexts(inbox.Of(job->serial)).size() >= 3; }));
  job->stopRequested = 1;
  ASSERT_TRUE(inbox.WaitEnd(job->serial));
  ExpectWellFormed(inbox.Of(job->serial), kJobStopped);
  const Texts times = ProgressTexts(inbox.Of(job->serial));
  for (size_t i = 1; i < times.size(); ++i)
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d$"))
                    .match(QString::fromStdString(times[i]))
                    .hasMatch())
        << times[i];
  // A file ended by "q" has its index written: ffprobe reads it without complaint.
  EXPECT_EQ(RunEncoderJob(*inbox.NewJob(QStringLiteral("ffprobe -v error \"%1\"").arg(file), 0)),
            0u);
}

TEST(JobRunner, FailuresToStartArriveAfterTheStartedMessage) {
  Inbox inbox;
  for (const QString& line : {QStringLiteral("vortane-no-such-program -i \"a b\""), QString()}) {
    auto job = inbox.NewJob(line);
    EXPECT_EQ(RunEncoderJob(*job), 2u);
    inbox.Pump(50ms);
    std::vector<JobStatus> statuses = inbox.Of(job->serial);
    ASSERT_EQ(statuses.size(), 2u) << line.toStdString();
    EXPECT_EQ(statuses[0].statusCode, kJobStarted);
    EXPECT_EQ(statuses[1].statusCode, kJobError);
    EXPECT_EQ(statuses[1].statusValue, -1.0);
    EXPECT_EQ(statuses[1].statusText, platform::Utf8ToAnsi("创建进程失败"));
    EXPECT_EQ(job->readPipe + job->writePipe + job->stdinPipe, -3);  // nothing left open
  }
}

TEST(JobRunner, RunsSilentlyAndPassesNarrowCommandLines) {
  Inbox inbox;
  QTemporaryDir scratch;
  // No notify message: the uploader's way, reading only the result.
  auto silent = inbox.NewJob(Child("progress.sh", QStringLiteral("5")), 0);
  EXPECT_EQ(RunEncoderJob(*silent), 5u);

  // A GBK command line is converted before it is split: 乗 ends in the byte of a backslash,
  // which must not escape the quote after it.
  const QString out = scratch.filePath("args");
  auto narrow = inbox.NewJob(QString(), WM_UPLOAD_JOB_EVENT);
  narrow->commandLineNarrow = platform::WideToAnsi(
      Child("print_args.sh", '"' + out + QStringLiteral("\" 课堂 \"录像 乗\" 中文")));
  ASSERT_NE(narrow->commandLineNarrow.find("\x81\x5c\""), std::string::npos);
  EXPECT_EQ(RunEncoderJob(*narrow), 0u);
  EXPECT_EQ(ReadFile(out), "[课堂]\n[录像 乗]\n[中文]\n");

  inbox.Pump(100ms);
  EXPECT_TRUE(inbox.Of(silent->serial).empty());
  ExpectWellFormed(inbox.Of(narrow->serial), kJobFinished);
}

TEST(JobRunner, TheRecordOutlivesItsOwnersReference) {
  Inbox inbox;
  auto job = inbox.NewJob(Child("progress.sh"));
  std::weak_ptr<EncoderJob> first = job;
  const std::uint64_t firstSerial = job->serial;
  StartEncoderJob(std::move(job));
  // The owner holds only the next job while the first still runs.
  auto next = inbox.NewJob(Child("progress.sh", QStringLiteral("1")));
  StartEncoderJob(next);
  ASSERT_TRUE(inbox.WaitEnd(firstSerial));
  ASSERT_TRUE(inbox.WaitEnd(next->serial));
  EXPECT_TRUE(inbox.PumpUntil([&] { return first.expired(); }, 5s));
  inbox.Pump(100ms);

  ExpectWellFormed(inbox.Of(firstSerial), kJobFinished);
  EXPECT_EQ(ProgressTexts(inbox.Of(firstSerial)).size(), 4u);
  ExpectWellFormed(inbox.Of(next->serial), kJobFinished);
  EXPECT_EQ(inbox.Of(next->serial).back().statusValue, 1.0);
}

}  // namespace
}  // namespace vortane
