#include "platform/lesson_marks.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <charconv>
#include <ctime>
#include <string>

#include "platform/own_file.h"

namespace vortane::platform {
namespace {

constexpr char kStartMark[] = "user.vortane.capture_start";
constexpr char kEndMark[] = "user.vortane.lesson_end";

bool WriteMark(int fd, const char* name, long long micros) {
  const std::string text = std::to_string(micros);
  return ::fsetxattr(fd, name, text.data(), text.size(), 0) == 0;
}

std::optional<long long> ReadMark(int fd, const char* name) {
  char text[32];
  const ssize_t length = ::fgetxattr(fd, name, text, sizeof text);
  if (length <= 0) return std::nullopt;
  long long micros = 0;
  const auto [end, error] = std::from_chars(text, text + length, micros);
  if (error != std::errc() || end != text + length || micros <= 0) return std::nullopt;
  return micros;
}

}  // namespace

bool MarkCaptureStart(int fd, long long startMicros) {
  return WriteMark(fd, kStartMark, startMicros);
}

long long MarkClockMicros() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);  // the clock the capture's start was taken on
  return now.tv_sec * 1'000'000LL + now.tv_nsec / 1000;
}

bool MarkLessonEnd(const QString& path, long long endMicros) {
  const int fd = OpenOwnRegularFile(path, O_RDONLY);
  if (fd < 0) return false;
  const bool marked = WriteMark(fd, kEndMark, endMicros);
  ::close(fd);
  return marked;
}

std::optional<double> MarkedLessonSeconds(const QString& path) {
  const int fd = OpenOwnRegularFile(path, O_RDONLY);
  if (fd < 0) return std::nullopt;
  const std::optional<long long> start = ReadMark(fd, kStartMark);
  const std::optional<long long> end = ReadMark(fd, kEndMark);
  ::close(fd);
  if (!start || !end || *end <= *start) return std::nullopt;
  return double(*end - *start) / 1e6;
}

}  // namespace vortane::platform
