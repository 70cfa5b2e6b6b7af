#include "vortenc/lesson_cut.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "vortenc/media_library.h"

namespace vortenc {
namespace {

// How far past the lesson's end a cut may go (the sound runs on that long at most).
constexpr double kLongestExtraSeconds = 0.2;
// Read from this long before the lesson's end: more than any picture is decoded ahead of time.
constexpr double kLookBackSeconds = 3.0;

struct Packet {
  double decodedAt;   // decode time stamp, seconds from the capture's start
  double shownUntil;  // presentation time stamp plus the frame's duration
};

// The video packets around the lesson's end, on the capture's own clock.
std::vector<Packet> PacketsNear(const MediaLibrary& av, AVFormatContext* input, int video,
                                double lessonSeconds) {
  std::vector<Packet> packets;
  const AVStream* stream = input->streams[video];
  const double base = av_q2d(stream->time_base);
  const double start = input->start_time == AV_NOPTS_VALUE ? 0 : input->start_time / 1e6;
  const double frame =
      stream->avg_frame_rate.num > 0 ? 1 / av_q2d(stream->avg_frame_rate) : 1.0 / 25;
  const double from = start + std::max(0.0, lessonSeconds - kLookBackSeconds);
  av.seekFrame(input, -1, static_cast<int64_t>(from * 1e6), AVSEEK_FLAG_BACKWARD);
  AVPacket* packet = av.packetAlloc();
  while (packet && av.readFrame(input, packet) >= 0) {
    const bool ours = packet->stream_index == video && packet->dts != AV_NOPTS_VALUE &&
                      packet->pts != AV_NOPTS_VALUE;
    const double decodedAt = packet->dts * base - start;
    const double shownUntil =
        packet->pts * base - start + (packet->duration > 0 ? packet->duration * base : frame);
    av.packetUnref(packet);
    if (!ours) continue;
    if (decodedAt > lessonSeconds + kLongestExtraSeconds + 1) break;
    packets.push_back({decodedAt, shownUntil});
  }
  av.packetFree(&packet);
  return packets;
}

}  // namespace

double LessonCutSeconds(const std::string& path, double lessonSeconds) {
  const MediaLibrary* av = Media();
  AVFormatContext* input = nullptr;
  if (av == nullptr || av->openInput(&input, path.c_str(), nullptr, nullptr) != 0)
    return lessonSeconds;
  double cut = lessonSeconds;
  const int video = av->findStreamInfo(input, nullptr) >= 0
                        ? av->findBestStream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                        : -1;
  if (video >= 0) {
    const std::vector<Packet> packets = PacketsNear(*av, input, video, lessonSeconds);
    // Each place to cut: the lesson's end, or just before a packet decoded in the 0.2 s after.
    double best = INFINITY;
    std::vector<double> places{lessonSeconds};
    for (const Packet& packet : packets)
      if (packet.decodedAt > lessonSeconds &&
          packet.decodedAt <= lessonSeconds + kLongestExtraSeconds)
        places.push_back(packet.decodedAt);
    for (double place : places) {
      double pictureEnd = -INFINITY;
      for (const Packet& packet : packets)
        if (packet.decodedAt < place) pictureEnd = std::max(pictureEnd, packet.shownUntil);
      if (pictureEnd == -INFINITY) continue;
      const double apart = std::fabs(pictureEnd - place);
      if (apart < best - 1e-6) {
        best = apart;
        cut = place;
      }
    }
  }
  av->closeInput(&input);
  return cut;
}

}  // namespace vortenc
