#include "files/clip_trimmer.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"
#include "encoder/progress_reader.h"
#include "platform/code_page.h"
#include "platform/own_file.h"

namespace vortane {
namespace {

constexpr qsizetype kLongestWords = 200;

}  // namespace

QString LastProgressTime(const std::string& output) {
  // The reader takes the first progress line of each chunk it reads; a quick cut writes its first
  // and its last line in one chunk, and the last one tells how long the clip came out.
  const std::optional<std::string> time = FindLastProgressTime(output);
  return time ? QString::fromStdString(*time) : QString();
}

QString LastEncoderWords(const std::string& output) {
  const QStringList lines = QString::fromUtf8(output.data(), qsizetype(output.size()))
                                .split(QRegularExpression(QStringLiteral("[\r\n]")));
  for (qsizetype i = lines.size() - 1; i >= 0; --i) {
    const QString line = lines[i].trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1String("frame=")) ||
        line.startsWith(QLatin1String("size=")) || line == QLatin1String("Conversion failed!"))
      continue;
    return line.left(kLongestWords);
  }
  return {};
}

ClipTrimmer::ClipTrimmer(QObject* parent) : QObject(parent) {}

ClipTrimmer::~ClipTrimmer() {
  // Whoever listened may already be half gone.
  blockSignals(true);
  Abort();
}

std::optional<QString> ClipTrimmer::ClipPath(const QString& source, double in, double out) {
  // The extension's dot belongs to the file name; a dot in a folder name would put the clip
  // into a folder that does not exist.
  const qsizetype nameStart = source.lastIndexOf(QLatin1Char('/')) + 1;
  const qsizetype dot = source.lastIndexOf(QLatin1Char('.'));
  if (dot <= nameStart) return std::nullopt;
  return source.left(dot) +
         QStringLiteral("剪辑%1-%2").arg(static_cast<int>(in)).arg(static_cast<int>(out)) +
         source.mid(dot);
}

ClipTrimmer::StartResult ClipTrimmer::Start(const QString& source, double in, double out) {
  if (cutting_ || source.isEmpty() || !QFileInfo(source).isFile()) return StartResult::kIgnored;
  if (in >= out || out - in <= kShortestCutSeconds) return StartResult::kInvalidRange;
  const std::optional<QString> output = ClipPath(source, in, out);
  if (!output) return StartResult::kIgnored;
  const std::optional<QString> command = BuildTrimCommand(
      static_cast<std::int32_t>(out), static_cast<std::int32_t>(in), source, *output);
  if (!command) {
    emit statusChanged(QStringLiteral("无法剪辑：文件路径过长或含有引号"), true);
    return StartResult::kRefused;
  }
  // The same stretch cut again replaces the teacher's own earlier clip. The encoder makes a clip
  // new, so whatever else stands at its name (a link, a FIFO, another user's file) is refused.
  if (platform::IsOwnRegularFile(*output)) QFile::remove(*output);
  std::shared_ptr<ProcessJob> job = MakeEncoderJob(*command, EncoderOutput::kKeepTail);
  // A report of an earlier cut changes nothing.
  const std::uint64_t serial = job->serial;
  auto current = [this, serial] { return job_ && job_->serial == serial; };
  connect(job.get(), &Job::started, this, [this, current] {
    if (!current()) return;
    lastProgress_.clear();
    emit statusChanged(QStringLiteral("开始剪辑..."), false);
  });
  connect(job.get(), &Job::progressed, this, [this, current](const QString& text, double) {
    if (!current()) return;
    lastProgress_ = text;
    emit statusChanged(lastProgress_, false);
  });
  connect(job.get(), &Job::finished, this, [this, current](const JobOutcome& outcome) {
    if (current()) OnCutEnded(outcome);
  });
  job_ = job;
  outputPath_ = *output;
  before_ = StateOf(outputPath_);
  SetCutting(true);
  job->Start();
  return StartResult::kStarted;
}

void ClipTrimmer::OnCutEnded(const JobOutcome& outcome) {
  SetCutting(false);
  switch (outcome.end) {
    case JobOutcome::End::kExited: {
      if (outcome.exitCode == 0 && QFileInfo(outputPath_).isFile()) {
        const QString finalTime = LastProgressTime(outcome.outputTail);
        if (!finalTime.isEmpty()) lastProgress_ = finalTime;
        emit statusChanged(QStringLiteral("剪辑完成 ") + lastProgress_, false);
        emit clipFinished(outputPath_);
        break;
      }
      // The encoder gave up: what it left is no clip.
      QString words = LastEncoderWords(outcome.outputTail);
      if (words.isEmpty()) words = QStringLiteral("编码器退出码 %1").arg(outcome.exitCode);
      RemoveUnfinishedClip();
      emit statusChanged(QStringLiteral("剪辑失败：") + words, true);
      break;
    }
    case JobOutcome::End::kStopped:
      emit statusChanged(QStringLiteral("已停止 ") + lastProgress_, false);
      break;
    case JobOutcome::End::kFailed:
      emit statusChanged(outcome.text, true);
      break;
  }
}

void ClipTrimmer::Abort(int waitMs) {
  if (!cutting_ || !job_) return;
  job_->RequestStop();
  // Only an encoder that has ended leaves a file that can be removed for good.
  if (job_->WaitForEnd(waitMs)) RemoveUnfinishedClip();
  SetCutting(false);
}

ClipTrimmer::FileState ClipTrimmer::StateOf(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  return {true, info.size(), info.lastModified()};
}

void ClipTrimmer::RemoveUnfinishedClip() {
  const QFileInfo now(outputPath_);
  if (!now.isFile()) return;
  const FileState after = StateOf(outputPath_);
  const bool untouched =
      before_.existed && after.size == before_.size && after.modified == before_.modified;
  if (!untouched) QFile::remove(outputPath_);
}

void ClipTrimmer::SetCutting(bool cutting) {
  if (cutting_ == cutting) return;
  cutting_ = cutting;
  emit cuttingChanged(cutting);
}

}  // namespace vortane
