#include "files/recording_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <system_error>
#include <thread>

#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"
#include "files/final_copy.h"
#include "platform/child_run.h"
#include "platform/disk_space.h"
#include "platform/media_duration.h"
#include "platform/own_file.h"
#include "platform/process.h"

namespace vortane {
namespace {

// Short enough for the status line: one lesson is named by the time it started ("15:34").
const char kRecovered[] = "已恢复上次未完成的录像 %1";
const char kRecoveredCount[] = "已恢复上次未完成的录像 %1 个";
const char kRecoveredBeside[] = "已恢复上次未完成的录像 %1，另存为 %2";
const char kRecoveredCountBeside[] = "已恢复上次未完成的录像 %1 个，其中 %2 个另存为新文件";
const char kNotRecovered[] = "上次的录像未能恢复，原始录像已保留";
const char kNotRecoveredCount[] = "%1 个录像未能恢复，原始录像已保留";
// Put before the extension of a final file whose name is taken: "20250101080000m-恢复.mp4".
const char kBesideMark[] = "-恢复";
constexpr int kBesideNames = 20;

// A capture is named after the local time it started: 14 digits and ".ts".
const QRegularExpression kCaptureName(QStringLiteral("^(\\d{14})\\.ts$"));

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// "hh:mm" of the time a capture ("%Y%m%d%H%M%S.ts") started.
QString StartedAt(const QString& capturePath) {
  const QString name = QFileInfo(capturePath).fileName();
  return name.mid(8, 2) + QLatin1Char(':') + name.mid(10, 2);
}

bool EncoderWorksOn(const QString& path) {
  const QString wanted = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  for (pid_t pid : platform::FindProcessesByName(kEncoderProgram)) {
    for (const std::string& argument : platform::ProcessArguments(pid)) {
      const QString given = QString::fromLocal8Bit(argument.c_str());
      if (QDir::cleanPath(QFileInfo(given).absoluteFilePath()) == wanted) return true;
    }
  }
  return false;
}

// The encoder locks its capture for its whole life (an fcntl lock: the lock manager of a network
// file system carries it to every machine, where flock may stay local).
bool LockedByAnEncoder(const QString& path) {
  const int fd = platform::OpenOwnRegularFile(path, O_RDONLY);
  if (fd < 0) return false;
  struct flock whole {};
  whole.l_type = F_RDLCK;
  whole.l_whence = SEEK_SET;
  const bool locked = ::fcntl(fd, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}

// The lesson of `capture` lives in `final` already: the teacher's own file, it opens and is as
// long as the capture.
bool IsFinished(const QString& finalPath, std::optional<double> captureSeconds,
                const RecordingRecovery::Probes& probes) {
  if (!platform::IsOwnRegularFile(finalPath)) return false;
  const std::optional<double> finalSeconds = probes.duration(finalPath);
  if (!finalSeconds) return false;
  return !captureSeconds ||
         *finalSeconds >= *captureSeconds - RecordingRecovery::kShortFinalSeconds;
}

void RemoveOwnFile(const QString& path) {
  if (platform::IsOwnRegularFile(path)) QFile::remove(path);
}

// A name beside the final file no other run and no other user can guess: the unfinished copy.
// It keeps the final's extension, by which the encoder chooses the container.
QString CopyName(const QString& finalPath) {
  const QFileInfo final(finalPath);
  return final.absolutePath() + QStringLiteral("/.") + final.completeBaseName() +
         QStringLiteral("-%1.").arg(QRandomGenerator::global()->generate64(), 16, 16,
                                    QLatin1Char('0')) +
         final.suffix();
}

// The n-th name beside a final file whose own name is taken.
QString BesideName(const QString& finalPath, int n) {
  const qsizetype dot = finalPath.lastIndexOf(QLatin1Char('.'));
  return finalPath.left(dot) + Text(kBesideMark) + (n > 1 ? QString::number(n) : QString()) +
         finalPath.mid(dot);
}

// Puts the checked copy where the lesson belongs: under the final file's name while it is free or
// holds only a copy of the teacher's that does not open, else beside it. The name it got, or
// nothing.
std::optional<QString> PlaceCopy(const QString& copy, const QString& finalPath,
                                 const RecordingRecovery::Probes& probes) {
  if (platform::IsOwnRegularFile(finalPath) && !probes.duration(finalPath))
    QFile::remove(finalPath);  // cut off before its end: the capture holds all of it
  if (MoveWithoutReplacing(copy, finalPath)) return finalPath;
  for (int n = 1; n <= kBesideNames; ++n) {
    const QString beside = BesideName(finalPath, n);
    if (MoveWithoutReplacing(copy, beside)) return beside;
  }
  return std::nullopt;
}

// Copies one capture, checks the copy, puts it in place, removes the capture. False keeps the
// capture as it was.
bool RecoverOne(const UnfinishedRecording& recording, const RecordingRecovery::Probes& probes,
                QString& savedAs) {
  const QString& capturePath = recording.capturePath;
  // Looked at again: the folder is shared, and the search was a while ago.
  if (!platform::IsOwnRegularFile(capturePath) || probes.inUse(capturePath)) return false;
  const QFileInfo capture(capturePath);
  const std::optional<std::int64_t> free = probes.freeSpace(capture.absolutePath());
  if (free && *free < capture.size() + RecordingRecovery::kCopyReserveBytes) return false;
  const QString copy = CopyName(recording.finalPath);
  const std::optional<QString> command = BuildRemuxCommand(capturePath, copy);
  if (!command) return false;
  ChildRun run;
  run.commandLine = *command;
  // Read the encoder's output so it never waits on a full pipe; nobody is told of progress.
  run.reader = EncoderProgressReader;
  run.checkResult = [&] { return VerifyFinalCopy(capturePath, copy); };
  std::optional<QString> placed;
  if (RunChild(run) == 0) placed = PlaceCopy(copy, recording.finalPath, probes);
  if (!placed) {
    RemoveOwnFile(copy);
    return false;
  }
  // The new name is on the disk before the capture's removal can be.
  SyncFolderOf(*placed);
  if (*placed != recording.finalPath) savedAs = QFileInfo(*placed).fileName();
  RemoveOwnFile(capturePath);
  SyncFolderOf(capturePath);
  return true;
}

std::optional<double> MediaSeconds(const QString& path) {
  const double seconds = platform::ProbeMediaDuration(path);
  return seconds < 0 ? std::nullopt : std::optional<double>(seconds);
}

}  // namespace

RecordingRecovery::Probes RecordingRecovery::SystemProbes() {
  return {MediaSeconds,
          [](const QString& path) { return EncoderWorksOn(path) || LockedByAnEncoder(path); },
          platform::FreeDiskSpace};
}

std::vector<UnfinishedRecording> RecordingRecovery::Find(const QString& folder, int saveFormat,
                                                         const QString& startedStamp,
                                                         const Probes& probes) {
  std::vector<UnfinishedRecording> found;
  const QDir dir(folder);
  // Sorted by name: the stamps put the oldest lesson first.
  for (const QFileInfo& file :
       dir.entryInfoList({QStringLiteral("*.ts")}, QDir::Files | QDir::System, QDir::Name)) {
    const QRegularExpressionMatch match = kCaptureName.match(file.fileName());
    if (!match.hasMatch()) continue;
    const QString stamp = match.captured(1);
    if (stamp >= startedStamp) continue;
    // Another user's file, a link, a FIFO: not a lesson of the teacher's.
    if (!platform::IsOwnRegularFile(file.absoluteFilePath()) || file.size() == 0) continue;
    if (probes.inUse(file.absoluteFilePath())) continue;
    const QString base = dir.filePath(stamp);
    const QString mp4 = base + QStringLiteral("m.mp4");
    const QString ts = base + QStringLiteral("t.ts");
    const std::optional<double> captureSeconds = probes.duration(file.absoluteFilePath());
    if (IsFinished(mp4, captureSeconds, probes) || IsFinished(ts, captureSeconds, probes)) continue;
    found.push_back({file.absoluteFilePath(), saveFormat == 0 ? mp4 : ts});
  }
  return found;
}

std::vector<RecoveredRecording> RecordingRecovery::Recover(
    const std::vector<UnfinishedRecording>& found, const Probes& probes) {
  std::vector<RecoveredRecording> results;
  for (const UnfinishedRecording& recording : found) {
    RecoveredRecording result{recording, false, QString()};
    result.recovered = RecoverOne(recording, probes, result.savedAs);
    results.push_back(result);
  }
  return results;
}

std::optional<RecoveryReport> RecordingRecovery::Describe(
    const std::vector<RecoveredRecording>& results) {
  if (results.empty()) return std::nullopt;
  std::vector<const RecoveredRecording*> failed;
  int beside = 0;
  for (const RecoveredRecording& result : results) {
    if (!result.recovered) failed.push_back(&result);
    if (result.recovered && !result.savedAs.isEmpty()) ++beside;
  }
  if (failed.size() == 1) return RecoveryReport{Text(kNotRecovered), true};
  if (!failed.empty()) return RecoveryReport{Text(kNotRecoveredCount).arg(failed.size()), true};
  if (results.size() == 1) {
    const RecoveredRecording& only = results.front();
    const QString at = StartedAt(only.recording.capturePath);
    if (!only.savedAs.isEmpty())
      return RecoveryReport{Text(kRecoveredBeside).arg(at, only.savedAs), false};
    return RecoveryReport{Text(kRecovered).arg(at), false};
  }
  if (beside > 0)
    return RecoveryReport{Text(kRecoveredCountBeside).arg(results.size()).arg(beside), false};
  return RecoveryReport{Text(kRecoveredCount).arg(results.size()), false};
}

RecordingRecovery::~RecordingRecovery() {
  if (worker_.joinable()) worker_.join();
}

void RecordingRecovery::Start(const QString& folder, int saveFormat, const QString& startedStamp,
                              Probes probes) {
  if (running_) return;
  if (worker_.joinable()) worker_.join();  // the last one has already reported
  running_ = true;
  try {
    worker_ = std::thread([=, this] {
      std::vector<RecoveredRecording> results =
          Recover(Find(folder, saveFormat, startedStamp, probes), probes);
      // Delivered on the owner's thread; dropped when the recovery is gone by then.
      QMetaObject::invokeMethod(
          this,
          [this, results = std::move(results)] {
            running_ = false;
            emit finished(results);
          },
          Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    // Without a worker nothing is recovered this time; the captures wait for the next start.
    running_ = false;
  }
}

}  // namespace vortane
