#include "encoder/command_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/process.h"

namespace vortane {
namespace {

const QString kDesktop = QStringLiteral("screen-capture-recorder");
const QString kCamera = QStringLiteral("USB Camera");
const QString kMicrophone = QStringLiteral("麦克风 (Realtek)");
const QString kSpeaker = QStringLiteral("virtual-audio-capturer");
const QString kNone;

struct Capture {
  QString video = kDesktop;
  QString output = QStringLiteral("/home/t/Videos/lesson.ts");
  QString firstAudio;
  QString secondAudio;
  int videoBitrate = 0;
  int audioBitrate = 0;
  int frameRate = 0;
  int width = 0;
  int height = 0;
  int fluency = 0;
  CaptureRegion region;

  std::optional<QString> Build() const {
    return BuildCaptureCommand(video, output, firstAudio, secondAudio, videoBitrate, audioBitrate,
                               frameRate, width, height, fluency, 1, region);
  }
  QString Text() const {
    std::optional<QString> command = Build();
    EXPECT_TRUE(command.has_value());
    return command.value_or(QString());
  }
};

TEST(CommandLines, WholeCommandsAreExactlyWhatTheEncoderExpects) {
  Capture live;
  live.output = QStringLiteral("rtmp://127.0.0.1/live/lesson");
  live.firstAudio = kMicrophone;
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
  region.secondAudio = kSpeaker;
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
  camera.video = kCamera;
  camera.output = QStringLiteral("/v/a.mp4");
  EXPECT_EQ(camera.Text(),
            QStringLiteral("vortenc -y -rtbufsize 100M -f dshow -thread_queue_size 32 -i "
                           "video=\"USB Camera\"  -pix_fmt yuv420p -vcodec libx264 -x264opts "
                           "keyint=100:min-keyint=50:threads=4 -preset fast  -copyinkf "
                           "\"/v/a.mp4\""));

  EXPECT_EQ(
      BuildTrimCommand(40, 12, QStringLiteral("/v/A.mp4"), QStringLiteral("/v/A剪辑12-40.mp4")),
      QStringLiteral("vortenc -y -ss 12 -t 28 -i \"/v/A.mp4\" -c:v copy -c:a copy "
                     "\"/v/A剪辑12-40.mp4\""));
  EXPECT_EQ(BuildRemuxCommand(QStringLiteral("/v/x.ts"), QStringLiteral("/v/xm.mp4")),
            QStringLiteral("vortenc -y -i \"/v/x.ts\" -c:v copy -c:a copy \"/v/xm.mp4\""));
}

TEST(CommandLines, LiveAdjustsNumbersAndPicksProfileAndContainer) {
  Capture camera;
  camera.video = kCamera;
  camera.output = QStringLiteral("rtmp://host/app");
  camera.frameRate = 40;
  EXPECT_TRUE(camera.Text().contains(QStringLiteral("-framerate 25 -i video=\"USB Camera\"")));
  EXPECT_TRUE(camera.Text().contains(QStringLiteral("  -r 25  ")));
  camera.frameRate = 30;  // the camera's upper bound is 30
  EXPECT_TRUE(camera.Text().contains(QStringLiteral(" -r 30 ")));
  camera.frameRate = 4;
  EXPECT_TRUE(camera.Text().contains(QStringLiteral(" -r 25 ")));

  Capture desktop;
  desktop.output = QStringLiteral("rtmp://host/app");
  desktop.frameRate = 30;
  EXPECT_TRUE(desktop.Text().contains(QStringLiteral("-framerate 20  -i desktop")));
  EXPECT_TRUE(desktop.Text().contains(QStringLiteral(" -r 20 ")));
  desktop.frameRate = 25;
  EXPECT_TRUE(desktop.Text().contains(QStringLiteral(" -r 25 ")));
  // No sound source: the live audio bitrate is not added.
  EXPECT_FALSE(desktop.Text().contains(QStringLiteral("-b:a")));
  EXPECT_TRUE(desktop.Text().contains(QStringLiteral(" -maxrate 1200k -bufsize 3000k ")));

  // Fluency mode 1 gives the zero-latency profile live, never in a recording.
  desktop.fluency = 1;
  EXPECT_TRUE(desktop.Text().contains(QStringLiteral(
      "-tune:v zerolatency -x264opts keyint=50:min-keyint=25:threads=4 -preset superfast")));
  Capture recording;
  recording.fluency = 1;
  EXPECT_FALSE(recording.Text().contains(QStringLiteral("zerolatency")));
  EXPECT_TRUE(recording.Text().contains(QStringLiteral("-preset fast ")));

  // udp wins over rtmp for the container; both are live.
  Capture udp;
  udp.output = QStringLiteral("udp://239.0.0.1:1234?rtmp:x");
  EXPECT_TRUE(
      udp.Text().endsWith(QStringLiteral("  -copyinkf -f mpegts \"udp://239.0.0.1:1234?rtmp:x\"")));
  EXPECT_TRUE(udp.Text().contains(QStringLiteral("-preset veryfast")));
  EXPECT_TRUE(IsLiveOutput(QStringLiteral("rtmp://a")));
  EXPECT_TRUE(IsLiveOutput(QStringLiteral("srt+udp://a")));
  EXPECT_FALSE(IsLiveOutput(QStringLiteral("RTMP://a")));  // the test is case-sensitive
  EXPECT_FALSE(IsLiveOutput(QStringLiteral("/v/lesson.mp4")));
}

TEST(CommandLines, RecordingKeepsNumbersAndLeavesOutWhatIsNotGiven) {
  Capture recording;
  recording.firstAudio = kMicrophone;
  recording.audioBitrate = 0;
  recording.videoBitrate = -5;
  recording.frameRate = 0;
  recording.width = 1280;
  recording.height = 0;
  recording.region = {10, 20, 0, 500};  // right 0: no region
  const QString text = recording.Text();
  EXPECT_FALSE(text.contains(QStringLiteral("-framerate")));
  EXPECT_FALSE(text.contains(QStringLiteral(" -r ")));
  EXPECT_FALSE(text.contains(QStringLiteral(" -s ")));
  EXPECT_FALSE(text.contains(QStringLiteral("-maxrate")));
  EXPECT_FALSE(text.contains(QStringLiteral("-b:a")));
  EXPECT_FALSE(text.contains(QStringLiteral("-offset_x")));
  EXPECT_TRUE(text.contains(QStringLiteral("-thread_queue_size 32  -i desktop")));

  recording.region = {10, 20, 300, 0};  // bottom 0: no region either
  EXPECT_FALSE(recording.Text().contains(QStringLiteral("-offset_x")));

  // A recording keeps an out-of-range frame rate as it is.
  recording.frameRate = 60;
  EXPECT_TRUE(recording.Text().contains(QStringLiteral("-framerate 60  -i desktop")));
  EXPECT_TRUE(recording.Text().contains(QStringLiteral(" -r 60 ")));

  // An audio bitrate without a sound source adds nothing; a second source alone is ignored.
  Capture silent;
  silent.audioBitrate = 128;
  silent.secondAudio = kSpeaker;
  EXPECT_FALSE(silent.Text().contains(QStringLiteral("-b:a")));
  EXPECT_FALSE(silent.Text().contains(QStringLiteral("audio=")));

  // The container follows the file name: ".ts" → MPEG-TS, else the encoder's own choice.
  Capture mp4;
  mp4.output = QStringLiteral("/v/a.mp4");
  EXPECT_TRUE(mp4.Text().endsWith(QStringLiteral("  -copyinkf \"/v/a.mp4\"")));
}

TEST(CommandLines, EveryQuotedTextArrivesAsOneArgument) {
  Capture capture;
  capture.video = QStringLiteral("HD Pro Webcam C920");
  capture.output = QStringLiteral("/home/t/我的 视频/课堂 1.mp4");
  capture.firstAudio = kMicrophone;
  capture.secondAudio = kSpeaker;
  const std::vector<std::string> args = platform::SplitCommandLine(capture.Text().toStdString());
  ASSERT_GE(args.size(), 3u);
  EXPECT_EQ(args.front(), "vortenc");
  EXPECT_EQ(args.back(), "/home/t/我的 视频/课堂 1.mp4");
  auto has = [&](const std::string& arg) {
    return std::find(args.begin(), args.end(), arg) != args.end();
  };
  EXPECT_TRUE(has("video=HD Pro Webcam C920"));
  EXPECT_TRUE(has("audio=麦克风 (Realtek)"));
  EXPECT_TRUE(has("audio=virtual-audio-capturer"));
  EXPECT_FALSE(has(""));  // doubled blanks make no empty arguments

  const std::vector<std::string> trim = platform::SplitCommandLine(
      BuildTrimCommand(20, 5, QStringLiteral("C:\\v\\a b.mp4"), QStringLiteral("/v/c d.mp4"))
          ->toStdString());
  EXPECT_EQ(trim, (std::vector<std::string>{"vortenc", "-y", "-ss", "5", "-t", "15", "-i",
                                            "C:\\v\\a b.mp4", "-c:v", "copy", "-c:a", "copy",
                                            "/v/c d.mp4"}));
}

TEST(CommandLines, TextsThatCannotBePassedSafelyAreRefused) {
  Capture capture;
  capture.video = QStringLiteral("Cam\"era");
  EXPECT_FALSE(capture.Build());
  capture.video = kDesktop;
  capture.firstAudio = QStringLiteral("Mic\" -i x");
  EXPECT_FALSE(capture.Build());
  capture.firstAudio = kMicrophone;
  capture.secondAudio = QStringLiteral("Sp\"eaker");
  EXPECT_FALSE(capture.Build());
  capture.secondAudio = kNone;
  capture.output = QStringLiteral("/v/a\".mp4");
  EXPECT_FALSE(capture.Build());
  // A trailing backslash would swallow the closing quote when the line is split.
  capture.output = QStringLiteral("/v/odd\\");
  EXPECT_FALSE(capture.Build());
  capture.output = QStringLiteral("/v/a.mp4");
  EXPECT_TRUE(capture.Build());

  EXPECT_FALSE(BuildTrimCommand(20, 5, QStringLiteral("/v/\"a.mp4"), QStringLiteral("/v/b.mp4")));
  EXPECT_FALSE(BuildTrimCommand(20, 5, QStringLiteral("/v/a.mp4"), QStringLiteral("/v/b\".mp4")));
  EXPECT_FALSE(BuildRemuxCommand(QStringLiteral("/v/a\".ts"), QStringLiteral("/v/b.mp4")));
  EXPECT_FALSE(BuildRemuxCommand(QStringLiteral("/v/a.ts"), QStringLiteral("/v/b.mp4\\")));
  // A length that does not fit 32 bits is refused rather than wrapped.
  EXPECT_FALSE(BuildTrimCommand(2147483647, -10, QStringLiteral("/a"), QStringLiteral("/b")));
}

TEST(CommandLines, PiecesLongerThanTheirCapacityAreRefusedNeverCut) {
  // One audio source: the fixed text plus the name must leave room for the terminator.
  const int audioFixed =
      QStringLiteral("-f dshow -thread_queue_size 32 -i audio=\"\" -acodec aac").size();
  Capture capture;
  capture.firstAudio = QString(kAudioPieceCapacity - 1 - audioFixed, QChar(u'麦'));
  EXPECT_TRUE(capture.Build());
  capture.firstAudio += QChar(u'x');
  EXPECT_FALSE(capture.Build());
  // Capacity counts UTF-16 units: a character outside the basic plane takes two.
  capture.firstAudio =
      QString(kAudioPieceCapacity - 2 - audioFixed, QChar(u'a')) + QStringLiteral("😀");
  EXPECT_FALSE(capture.Build());

  const int videoFixed =
      QStringLiteral("-f dshow -thread_queue_size 32 -framerate 25 -i video=\"\"").size();
  Capture camera;
  camera.video = QString(kVideoPieceCapacity - 1 - videoFixed, QChar(u'c'));
  camera.frameRate = 25;
  EXPECT_TRUE(camera.Build());
  camera.video += QChar(u'c');
  EXPECT_FALSE(camera.Build());

  const int outputFixed = QStringLiteral("-copyinkf \"\"").size();
  Capture longOutput;
  longOutput.output = QStringLiteral("/") + QString(kOutputPieceCapacity - 2 - outputFixed, u'v');
  std::optional<QString> fits = longOutput.Build();
  ASSERT_TRUE(fits);
  EXPECT_TRUE(fits->endsWith(longOutput.output + QLatin1Char('"')));
  longOutput.output += QChar(u'v');
  EXPECT_FALSE(longOutput.Build());

  const int trimFixed =
      QStringLiteral("vortenc -y -ss 0 -t 20 -i \"\" -c:v copy -c:a copy \"/o.mp4\"").size();
  const QString source = QStringLiteral("/") + QString(kTrimCommandCapacity - 2 - trimFixed, u's');
  std::optional<QString> trim = BuildTrimCommand(20, 0, source, QStringLiteral("/o.mp4"));
  ASSERT_TRUE(trim);
  EXPECT_EQ(trim->size(), kTrimCommandCapacity - 1);
  EXPECT_FALSE(BuildTrimCommand(20, 0, source + u's', QStringLiteral("/o.mp4")));

  const int remuxFixed = QStringLiteral("vortenc -y -i \"/s.ts\" -c:v copy -c:a copy \"\"").size();
  const QString target = QString(kRemuxCommandCapacity - 1 - remuxFixed, u'o');
  EXPECT_TRUE(BuildRemuxCommand(QStringLiteral("/s.ts"), target));
  EXPECT_FALSE(BuildRemuxCommand(QStringLiteral("/s.ts"), target + u'o'));
}

TEST(CommandLines, DeviceNamesArePlacedLiterally) {
  // Percent signs and backslashes inside names are data, not place markers or escapes.
  Capture capture;
  capture.video = QStringLiteral("Cam %1 %2 \\x");
  capture.firstAudio = QStringLiteral("Mic %1");
  capture.secondAudio = QStringLiteral("%2 Speaker");
  capture.frameRate = 10;
  const QString text = capture.Text();
  EXPECT_TRUE(text.contains(QStringLiteral("-framerate 10 -i video=\"Cam %1 %2 \\x\"")));
  EXPECT_TRUE(
      text.contains(QStringLiteral("-i audio=\"Mic %1\" -f dshow -i audio=\"%2 Speaker\"")));
}

}  // namespace
}  // namespace vortane
