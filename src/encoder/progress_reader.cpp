#include "encoder/progress_reader.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "encoder/encoder_job.h"
#include "platform/code_page.h"
#include "platform/process.h"

namespace vortane {
namespace {

constexpr std::string_view kTimeKey = "time=";
constexpr std::size_t kTimeLength = 11;
constexpr std::size_t kShortestProgressTail = 19;
// Short, so that a stop sees the encoder's progress soon after it is written and the runner,
// once the encoder has exited, does not wait long for the reader to leave.
constexpr auto kPollInterval = std::chrono::milliseconds(10);

}  // namespace

std::optional<std::string> FindProgressTime(std::string_view chunk) {
  chunk = chunk.substr(0, chunk.find('\0'));
  const std::size_t key = chunk.find(kTimeKey);
  if (key == std::string_view::npos) return std::nullopt;
  if (chunk.size() - key < kShortestProgressTail) return std::nullopt;
  const std::size_t time = key + kTimeKey.size();
  // A capture whose clock starts before its first frame reports "time=-00:00:00.04" at first:
  // no length of the lesson yet.
  if (chunk[time] == '-') return std::nullopt;
  const std::size_t blank = chunk.find(' ', time);
  if (blank == std::string_view::npos || blank - time < kTimeLength) return std::nullopt;
  return std::string(chunk.substr(time, kTimeLength));
}

std::optional<std::string> FindLastProgressTime(std::string_view output) {
  output = output.substr(0, output.find('\0'));
  for (std::size_t key = output.rfind(kTimeKey); key != std::string_view::npos;
       key = key == 0 ? std::string_view::npos : output.rfind(kTimeKey, key - 1)) {
    if (std::optional<std::string> time = FindProgressTime(output.substr(key))) return time;
  }
  return std::nullopt;
}

std::optional<std::int64_t> ProgressTimeMilliseconds(std::string_view time) {
  // "hh:mm:ss.xx"
  if (time.size() != kTimeLength || time[2] != ':' || time[5] != ':' || time[8] != '.') {
    return std::nullopt;
  }
  std::int64_t fields[4] = {};
  const std::size_t starts[4] = {0, 3, 6, 9};
  for (int i = 0; i < 4; ++i) {
    for (std::size_t j = starts[i]; j < starts[i] + 2; ++j) {
      if (time[j] < '0' || time[j] > '9') return std::nullopt;
      fields[i] = fields[i] * 10 + (time[j] - '0');
    }
  }
  return ((fields[0] * 60 + fields[1]) * 60 + fields[2]) * 1000 + fields[3] * 10;
}

namespace {

// The encoder's lines about a silent sound source (see vortenc's sound reader).
constexpr std::string_view kSoundMissing = "vortenc: no sound from \"";
constexpr std::string_view kSoundBack = "vortenc: the sound from \"";

// Reports what the chunk says about silent sources, in order.
void ReportSoundNotes(ChildRun& run, std::string_view chunk) {
  for (std::size_t at = 0; at < chunk.size();) {
    const std::size_t missing = chunk.find(kSoundMissing, at);
    const std::size_t back = chunk.find(kSoundBack, at);
    const std::size_t found = std::min(missing, back);
    if (found == std::string_view::npos) return;
    const std::size_t name = found + (found == missing ? kSoundMissing : kSoundBack).size();
    const std::size_t end = chunk.find('"', name);
    if (end == std::string_view::npos) return;
    ReportChild(run, kChildProgress, found == missing ? kProgressSoundMissing : kProgressSoundBack,
                QString::fromUtf8(chunk.data() + name, static_cast<qsizetype>(end - name)));
    at = end + 1;
  }
}

unsigned ReadProgress(ChildRun* run, bool keepTail) {
  std::vector<char> buffer(kProgressBufferCapacity);
  ReportChild(*run, kChildProgress, 0.0);
  for (;;) {
    const int waiting = platform::BytesWaiting(run->readPipe);
    if (waiting > 0) {
      const auto count = static_cast<std::size_t>(waiting);
      if (count >= buffer.size()) buffer.resize(count + 1);
      const long got = platform::ReadAvailable(run->readPipe, buffer.data(), count);
      if (got > 0) {
        if (keepTail) {
          run->collectedOutput.append(buffer.data(), std::size_t(got));
          if (run->collectedOutput.size() > kOutputTailBytes)
            run->collectedOutput.erase(0, run->collectedOutput.size() - kOutputTailBytes);
        }
        if (auto time = FindProgressTime(std::string_view(buffer.data(), std::size_t(got)))) {
          if (auto media = ProgressTimeMilliseconds(*time)) {
            run->progressArrivedMs.store(SteadyMilliseconds());
            run->progressMediaMs.store(*media);
          }
          ReportChild(*run, kChildProgress, 0.0, platform::AnsiToWide(*time));
        }
        ReportSoundNotes(*run, std::string_view(buffer.data(), std::size_t(got)));
      }
    }
    if (run->finished.load() != 0) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  return 0;
}

}  // namespace

unsigned EncoderProgressReader(ChildRun* run) {
  return ReadProgress(run, false);
}

unsigned EncoderProgressTailReader(ChildRun* run) {
  return ReadProgress(run, true);
}

}  // namespace vortane
