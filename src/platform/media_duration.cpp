#include "platform/media_duration.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>

#include "platform/own_file.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace vortane::platform {

double ProbeMediaDuration(const QString& path) {
  const int fd = OpenOwnRegularFile(path, O_RDONLY);
  if (fd < 0) return -1.0;
  const double seconds = ProbeMediaDurationOf(fd);
  ::close(fd);
  return seconds;
}

double ProbeMediaDurationOf(int fd) {
  static std::once_flag quiet;
  // The library would print its complaints about odd files on our standard error.
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

  // The library opens by name: this one reaches the open file and nothing else.
  const QByteArray name = DescriptorPath(fd);
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, name.constData(), nullptr, nullptr) != 0) return -1.0;
  // MP4 carries its length in its header; MPEG-TS is measured from the time stamps of its first
  // and last packets, which needs the stream information.
  if (context->duration == AV_NOPTS_VALUE || context->duration <= 0) {
    if (avformat_find_stream_info(context, nullptr) < 0) {
      avformat_close_input(&context);
      return -1.0;
    }
  }
  const double seconds =
      context->duration == AV_NOPTS_VALUE || context->duration < 0
          ? 0.0
          : static_cast<double>(context->duration) / static_cast<double>(AV_TIME_BASE);
  avformat_close_input(&context);
  return seconds;
}

}  // namespace vortane::platform
