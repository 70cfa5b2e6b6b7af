#include "files/recording_recovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <system_error>
#include <thread>

#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"
#include "platform/disk_space.h"
#include "platform/media_duration.h"
#include "platform/process.h"
#include "platform/window_messages.h"

namespace vortane {
namespace {

// Short enough for the status line: one lesson is named by the time it started ("15:34").
const char kRecovered[] = "已恢复上次未完成的录像 %1";
const char kRecoveredCount[] = "已恢复上次未完成的录像 %1 个";
const char kNotRecovered[] = "上次的录像未能恢复，原始录像已保留";
const char kNotRecoveredCount[] = "%1 个录像未能恢复，原始录像已保留";

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

// The lesson of `capture` lives in `final` already: it opens and is as long as the capture.
bool IsFinished(const QString& finalPath, std::optional<double> captureSeconds,
                const RecordingRecovery::Probes& probes) {
  if (!QFileInfo(finalPath).isFile()) return false;
  const std::optional<double> finalSeconds = probes.duration(finalPath);
  if (!finalSeconds) return false;
  return !captureSeconds ||
         *finalSeconds >= *captureSeconds - RecordingRecovery::kShortFinalSeconds;
}

bool CopyIntoFinal(const UnfinishedRecording& recording, const RecordingRecovery::Probes& probes) {
  const QFileInfo capture(recording.capturePath);
  const std::optional<std::int64_t> free = probes.freeSpace(capture.absolutePath());
  if (free && *free < capture.size() + RecordingRecovery::kCopyReserveBytes) return false;
  const std::optional<QString> command =
      BuildRemuxCommand(recording.capturePath, recording.finalPath);
  if (!command) return false;
  EncoderJob job;
  job.commandLineWide = *command;
  // Read the encoder's output so it never waits on a full pipe; nobody is told of progress.
  job.readerProc = EncoderProgressReader;
  return RunEncoderJob(job) == 0 && probes.duration(recording.finalPath).has_value();
}

std::optional<double> MediaSeconds(const QString& path) {
  const double seconds = platform::ProbeMediaDuration(path);
  return seconds < 0 ? std::nullopt : std::optional<double>(seconds);
}

}  // namespace

RecordingRecovery::Probes RecordingRecovery::SystemProbes() {
  return {MediaSeconds, EncoderWorksOn, platform::FreeDiskSpace};
}

std::vector<UnfinishedRecording> RecordingRecovery::Find(const QString& folder, int saveFormat,
                                                         const QString& startedStamp,
                                                         const Probes& probes) {
  std::vector<UnfinishedRecording> found;
  const QDir dir(folder);
  // Sorted by name: the stamps put the oldest lesson first.
  for (const QFileInfo& file :
       dir.entryInfoList({QStringLiteral("*.ts")}, QDir::Files, QDir::Name)) {
    const QRegularExpressionMatch match = kCaptureName.match(file.fileName());
    if (!match.hasMatch()) continue;
    const QString stamp = match.captured(1);
    if (stamp >= startedStamp || file.size() == 0) continue;
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
    RecoveredRecording result{recording, CopyIntoFinal(recording, probes)};
    if (result.recovered) {
      QFile::remove(recording.capturePath);
    } else if (QFileInfo(recording.finalPath).isFile() &&
               !probes.duration(recording.finalPath).has_value()) {
      // A broken copy beside a capture that holds everything it would.
      QFile::remove(recording.finalPath);
    }
    results.push_back(result);
  }
  return results;
}

std::optional<RecoveryReport> RecordingRecovery::Describe(
    const std::vector<RecoveredRecording>& results) {
  if (results.empty()) return std::nullopt;
  std::vector<const RecoveredRecording*> failed;
  for (const RecoveredRecording& result : results) {
    if (!result.recovered) failed.push_back(&result);
  }
  if (failed.size() == 1) return RecoveryReport{Text(kNotRecovered), true};
  if (!failed.empty()) return RecoveryReport{Text(kNotRecoveredCount).arg(failed.size()), true};
  if (results.size() == 1) {
    return RecoveryReport{Text(kRecovered).arg(StartedAt(results.front().recording.capturePath)),
                          false};
  }
  return RecoveryReport{Text(kRecoveredCount).arg(results.size()), false};
}

void RecordingRecovery::Start(const QString& folder, int saveFormat, const QString& startedStamp,
                              platform::WindowHandle owner, Probes probes) {
  running_ = true;
  try {
    std::thread([=] {
      std::vector<RecoveredRecording> results =
          Recover(Find(folder, saveFormat, startedStamp, probes), probes);
      platform::PostWindowMessage(owner, {WM_RECOVERY_DONE, 0, 0, std::move(results)});
    }).detach();
  } catch (const std::system_error&) {
    // Without a worker nothing is recovered this time; the captures wait for the next start.
    running_ = false;
  }
}

}  // namespace vortane
