// vortenc-screen: the desktop's picture on a Wayland session, for vortenc. It asks the desktop
// portal for the monitor (once: the restore token is kept), reads the monitor's PipeWire stream
// and writes the recorded area as raw frames at a constant rate to standard output, frame N
// showing the screen at START + N frame intervals on the wall clock. The compositor sends frames
// only when something changes; a still screen is the last frame repeated.
//
//   vortenc-screen START_MICROS RATE X Y WIDTH HEIGHT TOKEN_FILE
//
// START_MICROS: the recording's start (wall clock, microseconds); RATE: frames per second, whole
// or a fraction ("30000/1001"); the area in desktop units, WIDTH 0 for the whole monitor;
// TOKEN_FILE: where the portal's restore token is kept. Descriptor 3 gets one line, then closes:
// "ready WIDTH HEIGHT PIXEL_FORMAT OFFSET" once frames follow, the first of them showing the moment
// OFFSET microseconds after START; "cancelled" when the teacher declined,
// "failed REASON" otherwise. It ends when its reader goes away or its parent ends.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vortenc/portal_session.h"
#include "vortenc/screen_stream.h"

namespace {

constexpr int kStatusFd = 3;
constexpr int kOutputFd = 1;
// A frame arrives 0.5–16 ms after its capture: each moment is written out a little after it, so
// its frame is there.
constexpr long long kArrivalMicros = 20'000;
// On a screen that stays still from the start the compositor may send nothing: black until then.
constexpr long long kFirstFrameWaitMicros = 1'000'000;
constexpr int kFormatWaitMs = 10'000;
// The compositor stamps a frame when it has drawn it: a window's change reaches it a refresh or
// so later (measured 15-40 ms on the test desktop at 60 Hz). Each frame is placed that much
// earlier, where the change was made, as the sound of that change is.
constexpr long long kDrawnAfterMicros = 20'000;
// Two seconds of different pictures may wait for the encoder.
constexpr size_t kMostWaiting = 50;

long long Clock(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return now.tv_sec * 1'000'000LL + now.tv_nsec / 1000;
}

void SleepUntilWall(long long micros) {
  const timespec at{time_t(micros / 1'000'000), long(micros % 1'000'000) * 1000};
  while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

void Report(const std::string& line) {
  const std::string text = line + "\n";
  [[maybe_unused]] ssize_t written = write(kStatusFd, text.data(), text.size());
  close(kStatusFd);
}

bool ParseWhole(const char* text, long long& value) {
  const std::string_view view(text);
  auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  return error == std::errc() && end == view.data() + view.size();
}

std::string ReadToken(const std::string& path) {
  std::ifstream file(path);
  std::string token;
  std::getline(file, token);
  return vortenc::IsPlausibleRestoreToken(token) ? token : std::string();
}

// Written whole or not at all, readable by the teacher only.
void KeepToken(const std::string& path, const std::string& token) {
  if (!vortenc::IsPlausibleRestoreToken(token)) return;
  const std::string temporary = path + ".new";
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string text = token + "\n";
  const bool written = write(fd, text.data(), text.size()) == ssize_t(text.size());
  close(fd);
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) unlink(temporary.c_str());
}

// Hands `data` to the pipe by reference where the output is a pipe (one copy less per frame:
// the reader copies straight out of the picture), else writes it. The pipe then refers to the
// picture's memory until the reader has read it: the caller keeps the picture as it is until a
// pipe's worth has been handed over after it.
bool WriteAll(const std::uint8_t* data, size_t size) {
  static bool byReference = true;
  while (size > 0) {
    ssize_t written;
    if (byReference) {
      iovec piece{const_cast<std::uint8_t*>(data), size};
      written = vmsplice(kOutputFd, &piece, 1, 0);
      if (written < 0 && (errno == EBADF || errno == EINVAL || errno == ENOSYS)) {
        byReference = false;
        continue;
      }
    } else {
      written = write(kOutputFd, data, size);
    }
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= size_t(written);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const pid_t parent = getppid();
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) return 1;
  std::signal(SIGPIPE, SIG_IGN);
  if (argc != 8) {
    Report("failed wrong arguments");
    return 2;
  }
  long long start = 0, x = 0, y = 0, width = 0, height = 0;
  long long rateTop = 0, rateBottom = 1;
  const std::string rate = argv[2];
  const size_t slash = rate.find('/');
  const bool rateOk =
      ParseWhole(rate.substr(0, slash).c_str(), rateTop) &&
      (slash == std::string::npos || ParseWhole(rate.substr(slash + 1).c_str(), rateBottom)) &&
      rateTop > 0 && rateBottom > 0;
  if (!ParseWhole(argv[1], start) || !rateOk || !ParseWhole(argv[3], x) ||
      !ParseWhole(argv[4], y) || !ParseWhole(argv[5], width) || !ParseWhole(argv[6], height) ||
      width < 0 || height < 0 || (width > 0) != (height > 0) || width > 16384 || height > 16384) {
    Report("failed wrong arguments");
    return 2;
  }
  const std::string tokenFile = argv[7];

  vortenc::PortalSession portal;
  switch (portal.Start(ReadToken(tokenFile))) {
    case vortenc::PortalSession::Outcome::kStarted:
      break;
    case vortenc::PortalSession::Outcome::kCancelled:
      Report("cancelled");
      return 4;
    case vortenc::PortalSession::Outcome::kFailed:
      Report("failed " + portal.Error());
      return 2;
  }
  KeepToken(tokenFile, portal.RestoreToken());
  const int pipeWire = portal.OpenPipeWireRemote();
  if (pipeWire < 0) {
    Report("failed " + portal.Error());
    return 2;
  }

  const long long monotonicToWall = Clock(CLOCK_REALTIME) - Clock(CLOCK_MONOTONIC);
  vortenc::ScreenStream stream(portal.Stream(), {x, y, width, height}, monotonicToWall);
  if (!stream.Start(pipeWire) || !stream.WaitForFormat(kFormatWaitMs)) {
    Report("failed " + stream.Error());
    return 2;
  }
  const size_t pictureBytes = stream.PictureBytes();
  // Zeroed by the system, so its pages are not written until a black frame is sent.
  const vortenc::ScreenStream::Picture black(
      static_cast<const std::uint8_t*>(calloc(pictureBytes, 1)),
      [](const std::uint8_t* bytes) { free(const_cast<std::uint8_t*>(bytes)); });
  if (!black) {
    Report("failed out of memory");
    return 2;
  }
  // The picture starts with the first frame, as a grab opened then would: moments before it would
  // only repeat it. Frames come once something changes; on a still screen there may be none.
  const long long now = Clock(CLOCK_REALTIME);
  long long first = stream.WaitForFirstFrame(kFirstFrameWaitMicros / 1000);
  if (first < 0) first = now;
  const long long step = 1'000'000LL * rateBottom / rateTop;
  long long index =
      first > start ? (first - start + step - 1) * rateTop / (1'000'000LL * rateBottom) : 0;
  Report("ready " + std::to_string(stream.Width()) + " " + std::to_string(stream.Height()) + " " +
         stream.PixelFormat() + " " +
         std::to_string(index * 1'000'000LL * rateBottom / rateTop - kDrawnAfterMicros));

  // Fewer, larger writes; the system may refuse, which only costs a little time.
  fcntl(kOutputFd, F_SETPIPE_SZ, 1 << 20);
  // Each moment's frame is chosen on time, whether or not ffmpeg reads yet (it opens the sound
  // first, which can take seconds): the frames wait in a queue, so a late reader still gets
  // every moment's own picture. Past kMostWaiting different pictures the queue repeats its last.
  std::mutex mutex;
  std::condition_variable queued;
  std::deque<vortenc::ScreenStream::Picture> waiting;
  // The encoder has stopped reading when a write fails: the recording is over.
  std::atomic<bool> over = false;
  const int pipeBytes = fcntl(kOutputFd, F_GETPIPE_SZ);
  std::thread writer([&] {
    // The pictures the pipe may still refer to, newest last: kept until a pipe's worth follows.
    std::deque<vortenc::ScreenStream::Picture> handed;
    const size_t pipeWorth = size_t(std::max(pipeBytes, 1 << 20));
    while (!over) {
      vortenc::ScreenStream::Picture picture;
      {
        std::unique_lock lock(mutex);
        queued.wait(lock, [&] { return !waiting.empty(); });
        picture = std::move(waiting.front());
        waiting.pop_front();
      }
      if (!WriteAll(picture.get(), pictureBytes)) over = true;
      handed.push_back(std::move(picture));
      while (handed.size() > 1 && (handed.size() - 1) * pictureBytes >= pipeWorth)
        handed.pop_front();
    }
  });
  for (; !over; ++index) {
    const long long moment = start + index * 1'000'000LL * rateBottom / rateTop;
    // A frame captured up to half an interval after the moment may be the nearest: wait for it.
    SleepUntilWall(moment + step / 2 + kArrivalMicros);
    vortenc::ScreenStream::Picture picture = stream.Take(moment);
    while (!picture && Clock(CLOCK_REALTIME) < moment + kFirstFrameWaitMicros) {
      SleepUntilWall(Clock(CLOCK_REALTIME) + 5'000);
      picture = stream.Take(moment);
    }
    if (!picture) picture = black;
    std::lock_guard lock(mutex);
    size_t different = 0;
    for (size_t i = 1; i < waiting.size(); ++i)
      different += waiting[i] != waiting[i - 1];
    if (different >= kMostWaiting && !waiting.empty()) picture = waiting.back();
    waiting.push_back(std::move(picture));
    queued.notify_one();
  }
  writer.join();
  return 0;
}
