#include "encoder/command_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/process.h"

namespace vortane {
namespace {

struct Capture {
  QString video = QString::fromLatin1(kDesktopSourceName);
  QString output = QStringLiteral("/home/t/Videos/lesson.ts");
  QString firstAudio, secondAudio;
  int videoBitrate = 0, audioBitrate = 0, frameRate = 0, width = 0, height = 0, fluency = 0;
  CaptureRegion region;

  std::optional<QString> Build() const {
    return BuildCaptureCommand(video, output, firstAudio, secondAudio, videoBitrate, audioBitrate,
                               frameRate, width, height, fluency, 1, region);
  }
  QString Text() const { return Build().value_or(QStringLiteral("<refused>")); }
};

TEST(CommandLines, WholeCommandsAreExactlyWhatTheEncoderExpects) {
  Capture live;
  live.output = QStringLiteral("rtmp://127.0.0.1/live/lesson");
  live.firstAudio = QStringLiteral("麦克风 (Realtek)");
  EXPECT_EQ(live.Text(),
            QStringLiteral(
                "vortenc -y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 20  -i "
                "desktop -f dshow -thread_queue_size 32 -i audio=\"麦克风 (Realtek)\" -acodec aac "
                "-pix_fmt yuv420p -vcodec libx264 -x264opts keyint=80:min-keyint=40:threads=4 "
                "-preset veryfast  -r 20  -maxrate 1200k -bufsize 3000k  -b:a 96k  -copyinkf -f "
                "flv \"rtmp://127.0.0.1/live/lesson\""));

  Capture region;
  region.output = QStringLiteral("/home/t/Videos/20240301080000.ts");
  region.firstAudio = QStringLiteral("麦克风");
  region.secondAudio = QString::fromLatin1(kSpeakerSourceName);
  region.videoBitrate = 2000;
  region.audioBitrate = 128;
  region.frameRate = 15;
  region.width = 1280;
  region.height = 720;
  region.fluency = 1;
  region.region = {100, 50, 1380, 770};
  EXPECT_EQ(region.Text(),
            QStringLiteral(
                "vortenc -y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 15 "
                "-offset_x 100 -offset_y 50 -video_size 1280x720 -i desktop -f dshow "
                "-thread_queue_size 32 -i audio=\"麦克风\" -f dshow -i "
                "audio=\"virtual-audio-capturer\" -filter_complex amix=inputs=2 -acodec aac "
                "-pix_fmt yuv420p -vcodec libx264 -x264opts keyint=100:min-keyint=50:threads=4 "
                "-preset fast  -r 15  -s 1280x720  -maxrate 2000k -bufsize 3000k  -b:a 128k  "
                "-copyinkf -f mpegts \"/home/t/Videos/20240301080000.ts\""));

  Capture camera;
  camera.video = QStringLiteral("Cam %1");  // a percent sign is data, not a place marker
  camera.output = QStringLiteral("/v/a.mp4");
  EXPECT_EQ(camera.Text(),
            QStringLiteral("vortenc -y -rtbufsize 100M -f dshow -thread_queue_size 32 -i "
                           "video=\"Cam %1\"  -pix_fmt yuv420p -vcodec libx264 -x264opts "
                           "keyint=100:min-keyint=50:threads=4 -preset fast  -copyinkf "
                           "\"/v/a.mp4\""));

  EXPECT_EQ(
      BuildTrimCommand(40, 12, QStringLiteral("/v/A.mp4"), QStringLiteral("/v/A剪辑12-40.mp4")),
      QStringLiteral("vortenc -y -ss 12 -t 28 -i \"/v/A.mp4\" -c:v copy -c:a copy "
                     "\"/v/A剪辑12-40.mp4\""));
  EXPECT_EQ(BuildRemuxCommand(QStringLiteral("/v/x.ts"), QStringLiteral("/v/xm.mp4")),
            QStringLiteral("vortenc -y -i \"/v/x.ts\" -c:v copy -c:a copy \"/v/xm.mp4\""));
}

TEST(CommandLines, LiveAdjustsTheNumbersRecordingsKeepThem) {
  Capture camera;
  camera.video = QStringLiteral("USB Camera");
  camera.output = QStringLiteral("rtmp://host/app");
  camera.frameRate = 40;
  EXPECT_TRUE(camera.Text().contains(QStringLiteral("-framerate 25 -i video=\"USB Camera\"")));
  EXPECT_TRUE(camera.Text().contains(QStringLiteral("  -r 25  ")));

  Capture desktop;
  desktop.output = QStringLiteral("rtmp://host/app");
  desktop.frameRate = 30;
  desktop.audioBitrate = 128;  // no sound source: no audio bitrate, live or not
  desktop.fluency = 1;
  EXPECT_TRUE(desktop.Text().contains(QStringLiteral("-framerate 20  -i desktop")));
  EXPECT_TRUE(desktop.Text().contains(QStringLiteral(" -r 20 ")));
  EXPECT_FALSE(desktop.Text().contains(QStringLiteral("-b:a")));
  EXPECT_TRUE(
      desktop.Text().contains(QStringLiteral("-tune:v zerolatency -x264opts "
                                             "keyint=50:min-keyint=25:threads=4 -preset "
                                             "superfast")));

  // udp wins over rtmp for the container.
  Capture udp;
  udp.output = QStringLiteral("udp://239.0.0.1:1234?rtmp:x");
  EXPECT_TRUE(
      udp.Text().endsWith(QStringLiteral("  -copyinkf -f mpegts \"udp://239.0.0.1:1234?rtmp:x\"")));
  EXPECT_FALSE(IsLiveOutput(QStringLiteral("RTMP://a")));  // case-sensitive
  // An rtmp address is always sent as FLV, even when its host or key holds ".ts" or "udp:".
  for (const char* address :
       {"rtmp://live.example.ts.edu/app/key", "rtmp://host/app/lesson.ts", "rtmp://h/a/udp:1"}) {
    Capture rtmp;
    rtmp.output = QString::fromLatin1(address);
    EXPECT_TRUE(rtmp.Text().endsWith(QStringLiteral("  -copyinkf -f flv \"%1\"").arg(address)))
        << rtmp.Text().toStdString();
  }
  // A file whose name holds "rtmp:" is still a file: ".ts" decides.
  Capture file;
  file.output = QStringLiteral("/v/rtmp:old/20240301080000.ts");
  EXPECT_TRUE(file.Text().endsWith(QStringLiteral("-f mpegts \"/v/rtmp:old/20240301080000.ts\"")));

  // A recording: frame rate 0, width without height, right or bottom 0, and fluency 1.
  Capture recording;
  recording.firstAudio = QStringLiteral("Mic");
  recording.width = 1280;
  recording.region = {10, 20, 0, 500};
  recording.fluency = 1;
  const QString text = recording.Text();
  for (const char* absent :
       {"-framerate", " -r ", " -s ", "-maxrate", "-b:a", "-offset_x", "zerolatency"})
    EXPECT_FALSE(text.contains(QLatin1StringView(absent))) << absent;
  EXPECT_TRUE(text.contains(QStringLiteral("-thread_queue_size 32  -i desktop")));
  recording.region = {10, 20, 300, 0};
  recording.frameRate = 60;  // kept as it is
  EXPECT_FALSE(recording.Text().contains(QStringLiteral("-offset_x")));
  EXPECT_TRUE(recording.Text().contains(QStringLiteral("-framerate 60  -i desktop")));
}

TEST(CommandLines, RefusesWhatCannotBePassedSafelyOrDoesNotFit) {
  for (auto change : std::vector<void (*)(Capture&)>{
           [](Capture& c) { c.video = QStringLiteral("Cam\"era"); },
           [](Capture& c) { c.firstAudio = QStringLiteral("Mic\" -i x"); },
           [](Capture& c) {
             c.firstAudio = QStringLiteral("Mic");
             c.secondAudio = QStringLiteral("Sp\"eaker");
           },
           [](Capture& c) { c.output = QStringLiteral("/v/a\".mp4"); },
           // A trailing backslash would swallow the closing quote when the line is split.
           [](Capture& c) { c.output = QStringLiteral("/v/odd\\"); }}) {
    Capture capture;
    change(capture);
    EXPECT_FALSE(capture.Build()) << capture.Text().toStdString();
  }
  EXPECT_FALSE(BuildTrimCommand(20, 5, QStringLiteral("/v/\"a.mp4"), QStringLiteral("/v/b.mp4")));
  EXPECT_FALSE(BuildRemuxCommand(QStringLiteral("/v/a.ts"), QStringLiteral("/v/b.mp4\\")));
  EXPECT_FALSE(BuildTrimCommand(2147483647, -10, QStringLiteral("/a"), QStringLiteral("/b")));

  // Capacities count UTF-16 units with the terminator: the longest name fits, one more is
  // refused, never cut; a character outside the basic plane takes two units. The audio piece
  // holds 256 (54 of them its own text), the output piece 1024 (12), the trim command 512 (53
  // with these times and output), the remux command 2560 (41 with this source).
  Capture capture;
  capture.firstAudio = QString(201, QChar(u'麦'));
  EXPECT_TRUE(capture.Build());
  capture.firstAudio.chop(1);
  capture.firstAudio += QStringLiteral("😀");
  EXPECT_FALSE(capture.Build());

  Capture longOutput;
  longOutput.output = QString(1011, u'v');
  EXPECT_TRUE(longOutput.Text().endsWith(longOutput.output + u'"'));
  longOutput.output += u'v';
  EXPECT_FALSE(longOutput.Build());

  const QString source(458, u's');
  EXPECT_EQ(BuildTrimCommand(20, 0, source, QStringLiteral("/o"))->size(), 511);
  EXPECT_FALSE(BuildTrimCommand(20, 0, source + u's', QStringLiteral("/o")));
  const QString target(2518, u'o');
  EXPECT_TRUE(BuildRemuxCommand(QStringLiteral("/s"), target));
  EXPECT_FALSE(BuildRemuxCommand(QStringLiteral("/s"), target + u'o'));
}

TEST(CommandLines, EveryQuotedTextArrivesAsOneArgument) {
  Capture capture;
  capture.video = QStringLiteral("HD Pro Webcam C920");
  capture.output = QStringLiteral("/home/t/我的 视频/课堂 1.mp4");
  capture.firstAudio = QStringLiteral("麦克风 (Realtek)");
  capture.secondAudio = QString::fromLatin1(kSpeakerSourceName);
  const std::vector<std::string> args = platform::SplitCommandLine(capture.Text().toStdString());
  const std::vector<std::string> expected = {"vortenc",
                                             "-y",
                                             "-rtbufsize",
                                             "100M",
                                             "-f",
                                             "dshow",
                                             "-thread_queue_size",
                                             "32",
                                             "-i",
                                             "video=HD Pro Webcam C920",
                                             "-f",
                                             "dshow",
                                             "-thread_queue_size",
                                             "32",
                                             "-i",
                                             "audio=麦克风 (Realtek)",
                                             "-f",
                                             "dshow",
                                             "-i",
                                             "audio=virtual-audio-capturer",
                                             "-filter_complex",
                                             "amix=inputs=2",
                                             "-acodec",
                                             "aac",
                                             "-pix_fmt",
                                             "yuv420p",
                                             "-vcodec",
                                             "libx264",
                                             "-x264opts",
                                             "keyint=100:min-keyint=50:threads=4",
                                             "-preset",
                                             "fast",
                                             "-copyinkf",
                                             "/home/t/我的 视频/课堂 1.mp4"};
  EXPECT_EQ(args, expected);
}

}  // namespace
}  // namespace vortane
