#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/window_messages.h"
#include "encoder/encoder_job.h"
#include "encoder/progress_reader.h"
#include "platform/code_page.h"
#include "platform/window_message.h"

namespace vortane {
namespace {

using namespace std::chrono_literals;

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "job_runner_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

QString Child(const char* script) {
  const char* source = std::getenv("VORTANE_SOURCE_DIR");
  EXPECT_NE(source, nullptr) << "run through ctest, which sets VORTANE_SOURCE_DIR";
  return QStringLiteral("sh \"%1/tests/unit/children/%2\"")
      .arg(QString::fromLocal8Bit(source ? source : "."), QString::fromLatin1(script));
}

struct Received {
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  JobEvent event;
};

// A window that collects the job messages posted to it, on this (the UI) thread.
class Inbox {
 public:
  Inbox()
      : window_(&owner_, [this](const platform::WindowMessage& m) {
          items_.push_back({m.message, m.wParam, std::any_cast<JobEvent>(m.payload)});
        }) {
    App();
  }

  platform::WindowHandle handle() const { return window_.handle(); }

  // Pumps the event loop until `done` holds or the time is up.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > limit.count()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  void Pump(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
  }

  std::vector<JobStatus> Of(const EncoderJob& job) const { return Of(job.serial); }
  std::vector<JobStatus> Of(std::uint64_t serial) const {
    std::vector<JobStatus> statuses;
    for (const Received& r : items_)
      if (r.event.jobSerial == serial) statuses.push_back(r.event.status);
    return statuses;
  }
  bool Ended(std::uint64_t serial) const {
    for (const JobStatus& s : Of(serial))
      if (s.statusCode == kJobFinished || s.statusCode == kJobStopped || s.statusCode == kJobError)
        return true;
    return false;
  }
  bool WaitEnd(const EncoderJob& job) {
    return PumpUntil([&, serial = job.serial] { return Ended(serial); });
  }
  const std::vector<Received>& items() const { return items_; }

 private:
  QObject owner_;
  std::vector<Received> items_;
  platform::MessageWindow window_;
};

std::shared_ptr<EncoderJob> NewJob(Inbox& inbox, const QString& commandLine,
                                   std::uint32_t message = WM_RECORD_JOB_EVENT) {
  auto job = std::make_shared<EncoderJob>();
  job->ownerWindow = inbox.handle();
  job->notifyMessage = message;
  job->commandLineWide = commandLine;
  job->readerProc = EncoderProgressReader;
  return job;
}

std::vector<std::string> ProgressTexts(const std::vector<JobStatus>& statuses) {
  std::vector<std::string> texts;
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
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

TEST(ProgressLines, OnlyTheFirstCompleteTimeOfAChunkCounts) {
  EXPECT_EQ(FindProgressTime("frame=  100 fps= 25 q=28.0 size=  512kB time=00:00:04.00 "
                             "bitrate=1048.6kbits/s speed=1x    \r"),
            "00:00:04.00");
  EXPECT_EQ(FindProgressTime("time=01:02:03.45 b"), std::nullopt);  // 18 characters: too short
  EXPECT_EQ(FindProgressTime("time=01:02:03.45 bi"), "01:02:03.45");
  EXPECT_EQ(FindProgressTime("time=N/A bitrate=N/A speed=N/A    \r"), std::nullopt);
  EXPECT_EQ(FindProgressTime("time=00:00:04.0 bitrate=1kbits/s"), std::nullopt);  // 10 before blank
  EXPECT_EQ(FindProgressTime("time=00:00:04.00bitrate=1kbits/s"), std::nullopt);  // no blank
  EXPECT_EQ(
      FindProgressTime("size=1kB time=00:00:01.00 bitrate=1 \rsize=2kB time=00:00:02.00 b=1 "),
      "00:00:01.00");
  // The first "time=" decides even when it is the useless one.
  EXPECT_EQ(FindProgressTime("time=N/A bitrate=N/A\rtime=00:00:02.00 bitrate=1 "), std::nullopt);
  EXPECT_EQ(FindProgressTime("Press [q] to stop, [?] for help\n"), std::nullopt);
  EXPECT_EQ(FindProgressTime(std::string_view("x\0time=00:00:04.00 bitrate=1", 28)), std::nullopt);
  EXPECT_EQ(FindProgressTime(""), std::nullopt);
}

TEST(JobStatusMessages, CarryTheirOwnCopyAndCutLongTexts) {
  Inbox inbox;
  EncoderJob job;
  EncoderJob other;
  EXPECT_NE(job.serial, other.serial);

  // Without a notify message nothing is posted and nothing stored.
  job.ownerWindow = inbox.handle();
  PostJobStatus(job, kJobProgress, 5.0, "00:00:01.00");
  EXPECT_EQ(job.status.statusCode, 0);

  job.notifyMessage = WM_TRIM_JOB_EVENT;
  PostJobStatus(job, kJobProgress, 0.0, "00:00:01.00");
  PostJobStatus(job, kJobProgress, 0.0, "00:00:02.00");
  const std::string ascii(300, 'a');
  PostJobStatus(job, kJobError, -1.0, ascii.c_str());
  // 130 double-byte characters: 255 bytes would end inside the 128th one.
  std::string wide;
  for (int i = 0; i < 130; ++i)
    wide += platform::Utf8ToAnsi("中");
  PostJobStatus(job, kJobError, -1.0, wide.c_str());
  PostJobStatus(job, kJobStopped, 0.0, nullptr);
  EXPECT_EQ(job.status.statusCode, kJobStopped);
  inbox.Pump(100ms);

  const std::vector<Received>& items = inbox.items();
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].message, WM_TRIM_JOB_EVENT);
  EXPECT_EQ(items[0].wParam, reinterpret_cast<std::uintptr_t>(&job));
  EXPECT_EQ(items[0].event.job, &job);
  EXPECT_EQ(items[0].event.jobSerial, job.serial);
  // Each message kept the status of its moment, though the block was overwritten since.
  EXPECT_STREQ(items[0].event.status.statusText, "00:00:01.00");
  EXPECT_STREQ(items[1].event.status.statusText, "00:00:02.00");
  EXPECT_EQ(std::string(items[2].event.status.statusText), ascii.substr(0, 255));
  EXPECT_EQ(items[2].event.status.statusValue, -1.0);
  EXPECT_EQ(std::string(items[3].event.status.statusText), wide.substr(0, 254));
  EXPECT_EQ(items[4].event.status.statusCode, kJobStopped);
  EXPECT_STREQ(items[4].event.status.statusText, "");
}

TEST(JobRunner, ReportsProgressAndExitCodes) {
  Inbox inbox;
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  // Several children at once: they overlap and must not mix up their messages.
  auto progress = NewJob(inbox, Child("progress.sh") + QStringLiteral(" 3"));
  auto bigChunk =
      NewJob(inbox, Child("big_chunk.sh") + QStringLiteral(" \"%1/chunk\"").arg(scratch.path()));
  auto success = NewJob(inbox, QStringLiteral("sh -c \"exit 0\""));
  auto crash = NewJob(inbox, QStringLiteral("sh -c \"kill -SEGV $$\""));
  for (auto& job : {progress, bigChunk, success, crash})
    StartEncoderJob(job);
  for (auto& job : {progress, bigChunk, success, crash})
    ASSERT_TRUE(inbox.WaitEnd(*job)) << job->commandLineWide.toStdString();
  inbox.Pump(100ms);

  // ffmpeg's status line, rewritten with \r: the reader's opening message, then one progress per
  // line; "time=N/A" yields nothing.
  std::vector<JobStatus> statuses = inbox.Of(*progress);
  ExpectWellFormed(statuses, kJobFinished);
  EXPECT_EQ(ProgressTexts(statuses),
            (std::vector<std::string>{"", "00:00:01.00", "00:00:02.00", "00:00:03.00"}));
  EXPECT_EQ(statuses.back().statusValue, 3.0);
  EXPECT_EQ(progress->finished.load(), 1);
  EXPECT_EQ(progress->readPipe, -1);
  EXPECT_EQ(progress->writePipe, -1);

  // A chunk of about 3000 bytes is read whole: its first time counts, the one at its end not.
  statuses = inbox.Of(*bigChunk);
  ExpectWellFormed(statuses, kJobFinished);
  EXPECT_EQ(ProgressTexts(statuses), (std::vector<std::string>{"", "00:00:01.00", "00:00:02.00"}));

  ExpectWellFormed(inbox.Of(*success), kJobFinished);
  EXPECT_EQ(inbox.Of(*success).back().statusValue, 0.0);

  // A crashed child's code has the high bit set and shows as a large positive number.
  ExpectWellFormed(inbox.Of(*crash), kJobFinished);
  EXPECT_EQ(inbox.Of(*crash).back().statusValue, 2147483648.0 + SIGSEGV);

  std::set<std::uint64_t> serials;
  for (const Received& r : inbox.items())
    serials.insert(r.event.jobSerial);
  EXPECT_EQ(serials.size(), 4u);
}

TEST(JobRunner, StopAsksTheChildToFinishThenKillsIt) {
  Inbox inbox;
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QString keyFile = scratch.path() + QStringLiteral("/key");
  const QString pidFile = scratch.path() + QStringLiteral("/pid");
  auto polite = NewJob(inbox, Child("stop_on_q.sh") + QStringLiteral(" \"%1\"").arg(keyFile));
  auto stubborn = NewJob(inbox, Child("ignore_stop.sh") + QStringLiteral(" \"%1\"").arg(pidFile));
  // A stop requested before the process exists is honoured on the first pass.
  auto early =
      NewJob(inbox, Child("stop_on_q.sh") + QStringLiteral(" \"%1/early\"").arg(scratch.path()));
  early->stopRequested = 1;
  // A child that ends by itself while the stop is pending still ends as stopped.
  auto gone = NewJob(inbox, QStringLiteral("sh -c \"exit 9\""));
  gone->stopRequested = 1;
  for (auto& job : {polite, stubborn, early, gone})
    StartEncoderJob(job);

  ASSERT_TRUE(inbox.PumpUntil(
      [&] { return ProgressTexts(inbox.Of(*polite)).size() >= 2 && QFile::exists(pidFile); }));
  QElapsedTimer sinceStop;
  sinceStop.start();
  polite->stopRequested = 1;
  stubborn->stopRequested = 1;

  ASSERT_TRUE(inbox.WaitEnd(*polite));
  const qint64 politeMs = sinceStop.elapsed();
  ASSERT_TRUE(inbox.WaitEnd(*stubborn));
  const qint64 stubbornMs = sinceStop.elapsed();
  ASSERT_TRUE(inbox.WaitEnd(*early));
  ASSERT_TRUE(inbox.WaitEnd(*gone));
  inbox.Pump(100ms);

  ExpectWellFormed(inbox.Of(*polite), kJobStopped);
  EXPECT_EQ(ReadFile(keyFile), "q");
  // It finished on "q" (plus the drain pause), well before the kill would have come.
  EXPECT_LT(politeMs, 2500);

  ExpectWellFormed(inbox.Of(*stubborn), kJobStopped);
  EXPECT_GE(stubbornMs, 2900);
  const pid_t stubbornPid = std::stoi(ReadFile(pidFile));
  EXPECT_NE(kill(stubbornPid, 0), 0);  // killed and collected

  ExpectWellFormed(inbox.Of(*early), kJobStopped);
  EXPECT_EQ(ReadFile(scratch.path() + QStringLiteral("/early")), "q");
  ExpectWellFormed(inbox.Of(*gone), kJobStopped);
  EXPECT_EQ(inbox.Of(*gone).back().statusValue, 0.0);
}

TEST(JobRunner, FailuresToStartArriveAfterTheStartedMessage) {
  Inbox inbox;
  const std::string processFailed = platform::Utf8ToAnsi("创建进程失败");
  for (const QString& line : {QStringLiteral("vortane-no-such-program -y -i \"a b\""),
                              QStringLiteral("   "), QString()}) {
    auto job = NewJob(inbox, line);
    EXPECT_EQ(RunEncoderJob(*job), 2u);
    inbox.Pump(50ms);
    std::vector<JobStatus> statuses = inbox.Of(*job);
    ASSERT_EQ(statuses.size(), 2u) << line.toStdString();
    EXPECT_EQ(statuses[0].statusCode, kJobStarted);
    EXPECT_EQ(statuses[1].statusCode, kJobError);
    EXPECT_EQ(statuses[1].statusValue, -1.0);
    EXPECT_EQ(std::string(statuses[1].statusText), processFailed);
    EXPECT_EQ(job->readPipe, -1);
    EXPECT_EQ(job->writePipe, -1);
    EXPECT_EQ(job->stdinPipe, -1);
  }
}

TEST(JobRunner, RunsSilentlyAndPassesNarrowCommandLines) {
  Inbox inbox;
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());

  // No notify message: the uploader's way, reading only the result.
  auto silent = NewJob(inbox, Child("progress.sh") + QStringLiteral(" 5"));
  silent->notifyMessage = 0;
  EXPECT_EQ(RunEncoderJob(*silent), 5u);
  EXPECT_EQ(RunEncoderJob(*NewJob(inbox, QStringLiteral("sh -c \"kill -SEGV $$\""), 0)),
            0x80000000u + SIGSEGV);

  // A GBK command line is converted before it is split: 乗 ends in the byte of a backslash,
  // which must not escape the quote after it.
  const QString out = scratch.path() + QStringLiteral("/args");
  auto narrow = NewJob(inbox, QString(), WM_UPLOAD_JOB_EVENT);
  narrow->commandLineNarrow = platform::WideToAnsi(
      Child("print_args.sh") + QStringLiteral(" \"%1\" 课堂 \"录像 乗\" 中文").arg(out));
  ASSERT_NE(narrow->commandLineNarrow.find("\x81\x5c\"", 0, 3), std::string::npos);
  EXPECT_EQ(RunEncoderJob(*narrow), 0u);
  EXPECT_EQ(ReadFile(out), "[课堂]\n[录像 乗]\n[中文]\n");

  inbox.Pump(100ms);
  EXPECT_TRUE(inbox.Of(*silent).empty());
  ExpectWellFormed(inbox.Of(*narrow), kJobFinished);
  EXPECT_EQ(inbox.items().size(), inbox.Of(*narrow).size());
}

TEST(JobRunner, TheRecordOutlivesItsOwnersReference) {
  Inbox inbox;
  std::weak_ptr<EncoderJob> first;
  std::uint64_t firstSerial = 0;
  {
    auto job = NewJob(inbox, Child("progress.sh"));
    first = job;
    firstSerial = job->serial;
    StartEncoderJob(std::move(job));
  }
  // The owner already holds only the next job while the first still runs.
  auto next = NewJob(inbox, Child("progress.sh") + QStringLiteral(" 1"));
  StartEncoderJob(next);
  ASSERT_TRUE(inbox.PumpUntil([&] { return inbox.Ended(firstSerial); }));
  ASSERT_TRUE(inbox.WaitEnd(*next));
  ASSERT_TRUE(inbox.PumpUntil([&] { return first.expired(); }, 5s));
  inbox.Pump(100ms);

  std::vector<JobStatus> statuses = inbox.Of(firstSerial);
  ExpectWellFormed(statuses, kJobFinished);
  EXPECT_EQ(ProgressTexts(statuses).size(), 4u);
  ExpectWellFormed(inbox.Of(*next), kJobFinished);
  EXPECT_EQ(inbox.Of(*next).back().statusValue, 1.0);
  EXPECT_EQ(inbox.Of(*next).size() + statuses.size(), inbox.items().size());
}

}  // namespace
}  // namespace vortane
