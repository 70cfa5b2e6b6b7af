#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "vortenc/argument_translation.h"
#include "vortenc/output_files.h"

namespace vortenc {
namespace {

using Args = std::vector<std::string>;

// Devices of a pretend machine; records what was asked so tests can see nothing else was.
class FakeResolver : public DeviceResolver {
 public:
  std::string display = ":5";
  std::map<std::string, std::string> cameras{{"USB Camera", "/dev/video2"}};
  std::map<std::string, std::string> sounds{{"VirtualMic", "virtual_mic"},
                                            {"virtual-audio-capturer", "speaker.monitor"},
                                            {"Mic: \"Front\"", "alsa_input.front"}};
  std::vector<std::string> asked;

  // A Wayland session: the portal's frames, whose size is the monitor's without a region.
  bool wayland = false;
  bool shareDeclined = false;
  bool IsWaylandSession() override { return wayland; }
  ResolvedScreenStream PortalScreen(const ScreenArea& area, const std::string& rate) override {
    asked.push_back("portal " + std::to_string(area.x) + "," + std::to_string(area.y) + " " +
                    std::to_string(area.width) + "x" + std::to_string(area.height) + " @" + rate);
    if (shareDeclined) return {{}, 0, 0, {}, "screen sharing was cancelled", true, 0};
    const bool whole = area.width == 0;
    return {"pipe:7",
            whole ? 1920 : int(area.width),
            whole ? 1080 : int(area.height),
            "bgr0",
            {},
            false,
            520'000};
  }
  ResolvedDevice Screen() override {
    asked.push_back("screen");
    if (display.empty()) return {{}, "no display"};
    return {display, {}};
  }
  ResolvedDevice Camera(const std::string& name) override {
    asked.push_back("camera " + name);
    auto it = cameras.find(name);
    if (it == cameras.end()) return {{}, "no such camera: \"" + name + "\""};
    return {it->second, {}};
  }
  ResolvedDevice SoundSource(const std::string& name) override {
    asked.push_back("sound " + name);
    auto it = sounds.find(name);
    if (it == sounds.end()) return {{}, "no such microphone: \"" + name + "\""};
    return {it->second, {}};
  }
};

// Splits like the job runner does for these texts: blanks separate, quotes group (no escapes
// are needed by any test here).
Args Split(const std::string& text) {
  Args out;
  std::string current;
  bool quoted = false;
  bool any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

std::string Join(const Args& args) {
  std::string text;
  for (const std::string& a : args)
    text += (text.empty() ? "" : " ") + a;
  return text;
}

// The encoder's start on the wall clock: 1 800 000 000 s after the epoch (January 2027).
constexpr long long kStart = 1'800'000'000'000'000;

std::string Translate(const std::string& command, FakeResolver& resolver) {
  TranslationResult result = TranslateArguments(Split(command), resolver, kStart);
  return result.ok() ? Join(result.arguments) : "ERROR " + result.error;
}

TEST(VortencArguments, DesktopCapturesBecomeX11GrabWithTheRegionAndOptionsKept) {
  FakeResolver resolver;
  // The whole screen, exactly as the builder spaces it (two blanks before -i desktop).
  EXPECT_EQ(Translate("-y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 25  -i "
                      "desktop -pix_fmt yuv420p -vcodec libx264 -x264opts "
                      "keyint=100:min-keyint=50:threads=4 -preset fast  -r 25  -copyinkf -f "
                      "mpegts \"/r/20261209101500.ts\"",
                      resolver),
            "-y -rtbufsize 100M -f x11grab -thread_queue_size 32 -framerate 25 -i :5 -pix_fmt "
            "yuv420p -vcodec libx264 -x264opts keyint=100:min-keyint=50:threads=4 -preset fast "
            "-r 25 -copyinkf -f mpegts /r/20261209101500.ts");
  // A live push keeps x264 from holding pictures back (short look-ahead, slice threads, no
  // B-frames), unless the zero-latency tune already does.
  EXPECT_EQ(Translate("-f gdigrab -i desktop -vcodec libx264 -x264opts "
                      "keyint=80:min-keyint=40:threads=4 -preset veryfast -copyinkf -f flv "
                      "\"rtmp://h/live/x\"",
                      resolver),
            "-f x11grab -i :5 -vcodec libx264 -x264opts "
            "keyint=80:min-keyint=40:threads=4:sync-lookahead=0:rc-lookahead=3:sliced-threads=1:"
            "bframes=0 -preset veryfast "
            "-copyinkf -f flv rtmp://h/live/x");
  EXPECT_EQ(Translate("-f gdigrab -i desktop -vcodec libx264 -tune:v zerolatency -x264opts "
                      "keyint=50:min-keyint=25:threads=4 -preset superfast -copyinkf -f mpegts "
                      "\"udp://239.0.0.1:1234\"",
                      resolver),
            "-f x11grab -i :5 -vcodec libx264 -tune:v zerolatency -x264opts "
            "keyint=50:min-keyint=25:threads=4 -preset superfast -copyinkf -f mpegts "
            "udp://239.0.0.1:1234");
  // A region: the offset moves into the display name, the size stays an input option.
  EXPECT_EQ(Translate("-y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -offset_x 100 "
                      "-offset_y 50 -video_size 640x480 -i desktop -copyinkf \"out.mp4\"",
                      resolver),
            "-y -rtbufsize 100M -f x11grab -thread_queue_size 32 -video_size 640x480 -i "
            ":5+100,50 -copyinkf out.mp4");
  // A region at the screen's corner still names its offset.
  EXPECT_EQ(
      Translate("-f gdigrab -offset_x 0 -offset_y 0 -video_size 2x2 -i desktop o.ts", resolver),
      "-f x11grab -video_size 2x2 -i :5+0,0 o.ts");
  // Offsets that cannot be a screen position, other gdigrab inputs and no display are refused.
  EXPECT_EQ(Translate("-f gdigrab -offset_x -5 -offset_y 0 -i desktop o.ts", resolver),
            "ERROR the capture region must start at a screen position (got -offset_x -5 "
            "-offset_y 0)");
  EXPECT_EQ(Translate("-f gdigrab -offset_x 1e3 -i desktop o.ts", resolver).substr(0, 35),
            "ERROR the capture region must start");
  EXPECT_EQ(Translate("-f gdigrab -i title=Notepad o.ts", resolver),
            "ERROR unsupported screen input \"title=Notepad\": only \"desktop\" can be captured");
  resolver.display.clear();
  EXPECT_EQ(Translate("-f gdigrab -i desktop o.ts", resolver), "ERROR no display");

  // A Wayland session: the desktop portal's raw frames through a pipe, the region cropped by the
  // reader, 25 frames per second unless the command says otherwise.
  resolver.wayland = true;
  resolver.asked.clear();
  EXPECT_EQ(Translate("-y -f gdigrab -thread_queue_size 32 -framerate 15 -offset_x 100 "
                      "-offset_y 50 -video_size 640x480 -i desktop -copyinkf \"out.mp4\"",
                      resolver),
            "-y -f rawvideo -thread_queue_size 32 -pixel_format bgr0 -framerate 15 -video_size "
            "640x480 -i pipe:7 -copyinkf out.mp4");
  EXPECT_EQ(Translate("-f gdigrab -i desktop o.ts", resolver),
            "-f rawvideo -pixel_format bgr0 -framerate 25 -video_size 1920x1080 -i pipe:7 o.ts");
  EXPECT_EQ(resolver.asked,
            (std::vector<std::string>{"portal 100,50 640x480 @15", "portal 0,0 0x0 @25"}));
  EXPECT_EQ(
      Translate("-f gdigrab -offset_x 10 -offset_y 10 -video_size 0x5 -i desktop o.ts", resolver),
      "ERROR the capture region must have a size in pixels (got -video_size 0x5)");
  // The teacher declining the share is told apart from a missing device.
  resolver.shareDeclined = true;
  TranslationResult declined =
      TranslateArguments(Split("-f gdigrab -i desktop o.ts"), resolver, kStart);
  EXPECT_EQ(declined.error, "screen sharing was cancelled");
  EXPECT_TRUE(declined.cancelled);
}

TEST(VortencArguments, PictureAndSoundShareTheWallClockFromTheEncodersStart) {
  FakeResolver resolver;
  // Two sources mixed, 25 frames per second: each source becomes the raw sound of its reader's
  // pipe, whose sample 0 is the encoder's start (the queue size stays, the fragment size is the
  // reader's), then the screen (-y and -rtbufsize stay with it). The picture's clock starts at the
  // encoder's start, the sound 30 ms later (half a frame and the sound server's delivery), each
  // sound goes through the resampler before the mix, picture mapped first and kept at its grab
  // time to the millisecond; progress comes ten times a second.
  TranslationResult mixed = TranslateArguments(
      Split("-y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 25  -i desktop -f "
            "dshow -thread_queue_size 32 -i audio=\"VirtualMic\" -f dshow -i "
            "audio=\"virtual-audio-capturer\" -filter_complex amix=inputs=2 -acodec aac -pix_fmt "
            "yuv420p -vcodec libx264  -r 25  -b:a 96k  -copyinkf -f flv \"rtmp://h/live/x\""),
      resolver, kStart);
  EXPECT_EQ(
      Join(mixed.arguments),
      "-stats_period 0.1 -thread_queue_size 32 -nofind_stream_info -f s16le -ar 48000 -ac 2 "
      "-itsoffset 0.030000 -i vortenc-sound:virtual_mic -nofind_stream_info -f s16le -ar "
      "48000 -ac 2 -itsoffset 0.030000 -i vortenc-sound:speaker.monitor -y -rtbufsize 100M -f "
      "x11grab -thread_queue_size 32 -framerate 25 -seek_timestamp 1 -itsoffset "
      "-1800000000.000000 -i :5 -map 2:v -map [mixed] -fps_mode:v vfr -enc_time_base:v "
      "1:1000 -filter_complex "
      "[0:a]aresample=async=1000[s0];[1:a]aresample=async=1000[s1];[s0][s1]amix=inputs=2["
      "mixed] -acodec aac -pix_fmt yuv420p -vcodec libx264 -r 25 -b:a 96k -copyinkf -f flv "
      "rtmp://h/live/x");
  // Each reader knows its source and the name the teacher chose, for the message when it is
  // silent, and where its pipe goes.
  ASSERT_EQ(mixed.sounds.size(), 2u);
  EXPECT_EQ(mixed.sounds[0].source, "virtual_mic");
  EXPECT_EQ(mixed.sounds[0].name, "VirtualMic");
  EXPECT_EQ(mixed.arguments[mixed.sounds[0].argument], "vortenc-sound:virtual_mic");
  EXPECT_EQ(mixed.sounds[1].name, "virtual-audio-capturer");
  EXPECT_EQ(mixed.arguments[mixed.sounds[1].argument], "vortenc-sound:speaker.monitor");
  // One source with the camera, whose kernel clock is made the wall clock.
  EXPECT_EQ(Translate("-y -rtbufsize 100M -f dshow -thread_queue_size 32 -framerate 25 -i "
                      "video=\"USB Camera\" -f dshow -thread_queue_size 32 -i "
                      "audio=\"virtual-audio-capturer\" -acodec aac -copyinkf \"o.mp4\"",
                      resolver),
            "-stats_period 0.1 -thread_queue_size 32 -nofind_stream_info -f s16le -ar 48000 -ac 2 "
            "-itsoffset 0.030000 -i vortenc-sound:speaker.monitor -y -rtbufsize 100M -f v4l2 "
            "-thread_queue_size 32 -framerate 25 -timestamps abs -seek_timestamp 1 -itsoffset "
            "-1800000000.000000 -i /dev/video2 -filter_complex [0:a]aresample=async=1000[s0] -map "
            "1:v -map [s0] -fps_mode:v vfr -enc_time_base:v 1:1000 -acodec aac -copyinkf o.mp4");
  // 10 frames per second from the output's -r: the sound 60 ms after the picture.
  EXPECT_EQ(
      Translate("-f gdigrab -video_size 640x360 -offset_x 0 -offset_y 0 -i desktop -f dshow "
                "-i audio=VirtualMic -acodec aac -r 10 o.ts",
                resolver),
      "-stats_period 0.1 -nofind_stream_info -f s16le -ar 48000 -ac 2 -itsoffset 0.060000 -i "
      "vortenc-sound:virtual_mic -f x11grab -video_size 640x360 -seek_timestamp 1 -itsoffset "
      "-1800000000.000000 -i :5+0,0 -filter_complex [0:a]aresample=async=1000[s0] -map 1:v -map "
      "[s0] -fps_mode:v vfr -enc_time_base:v 1:1000 -acodec aac -r 10 o.ts");
  // The portal's frames count from the encoder's start, the first one 0.52 s after it.
  resolver.wayland = true;
  EXPECT_EQ(Translate("-f gdigrab -framerate 25 -i desktop -f dshow -i audio=VirtualMic "
                      "-acodec aac o.ts",
                      resolver),
            "-stats_period 0.1 -nofind_stream_info -f s16le -ar 48000 -ac 2 -itsoffset 0.030000 "
            "-i vortenc-sound:virtual_mic -f rawvideo -pixel_format bgr0 -framerate 25 -video_size "
            "1920x1080 -seek_timestamp 1 -itsoffset 0.520000 -i pipe:7 -filter_complex "
            "[0:a]aresample=async=1000[s0] -map 1:v -map [s0] -fps_mode:v vfr -enc_time_base:v "
            "1:1000 -acodec aac o.ts");
  resolver.wayland = false;
  // Device names are taken whole: colons and quotes inside belong to the name.
  TranslationResult named = TranslateArguments(
      {"-f", "gdigrab", "-i", "desktop", "-f", "dshow", "-i", "audio=Mic: \"Front\"", "o.ts"},
      resolver, kStart);
  ASSERT_EQ(named.sounds.size(), 1u);
  EXPECT_EQ(named.sounds[0].name, "Mic: \"Front\"");
  EXPECT_EQ(named.arguments[named.sounds[0].argument], "vortenc-sound:alsa_input.front");
  // A fragment size given with the input is kept; sound alone keeps ffmpeg's own clock.
  EXPECT_EQ(Translate("-f dshow -fragment_size 4096 -i audio=VirtualMic o.ts", resolver),
            "-f pulse -fragment_size 4096 -i virtual_mic o.ts");
  // A length limit on the output counts from the output's start: the inputs keep their order
  // and ffmpeg's own clock, picture mapped first.
  EXPECT_EQ(Translate("-f gdigrab -i desktop -f dshow -i audio=VirtualMic -t 5 o.ts", resolver),
            "-f x11grab -i :5 -f pulse -fragment_size 1920 -i virtual_mic -map 0:v -map 1:a -t 5 "
            "o.ts");
}

TEST(VortencArguments, OtherCommandsPassThroughUnchanged) {
  FakeResolver resolver;
  const std::string trim =
      "-y -ss 5 -t 10 -i \"/r/a b.mp4\" -c:v copy -c:a copy \"/r/剪辑5-15.mp4\"";
  EXPECT_EQ(TranslateArguments(Split(trim), resolver, kStart).arguments,
            (Args{"-y", "-ss", "5", "-t", "10", "-i", "/r/a b.mp4", "-c:v", "copy", "-c:a", "copy",
                  "/r/剪辑5-15.mp4"}));
  const std::string remux = "-y -i \"/r/x.ts\" -c:v copy -c:a copy \"/r/xm.mp4\"";
  EXPECT_EQ(TranslateArguments(Split(remux), resolver, kStart).arguments, Split(remux));
  EXPECT_TRUE(resolver.asked.empty());
  // A file input, an explicit mapping or a labelled filter keeps the given input order.
  EXPECT_EQ(Translate("-f gdigrab -i desktop -f dshow -i audio=VirtualMic -map 0:v -map 1:a o.ts",
                      resolver),
            "-f x11grab -i :5 -f pulse -fragment_size 1920 -i virtual_mic -map 0:v -map 1:a o.ts");
  EXPECT_EQ(Translate("-f gdigrab -i desktop -f dshow -i audio=VirtualMic -f dshow -i "
                      "audio=VirtualMic -filter_complex [1:a][2:a]amix[m] -map [m] o.ts",
                      resolver),
            "-f x11grab -i :5 -f pulse -fragment_size 1920 -i virtual_mic -f pulse -fragment_size "
            "1920 -i virtual_mic -filter_complex [1:a][2:a]amix[m] -map [m] o.ts");
  // An option value that reads "-i" is a value, not an input; nothing is asked for it.
  EXPECT_EQ(Translate("-metadata -i -i in.ts -c copy out.ts", resolver),
            "-metadata -i -i in.ts -c copy out.ts");
  // Flags take no value, so the input after them is still seen and translated.
  EXPECT_EQ(Translate("-re -f dshow -i video=\"USB Camera\" -an o.ts", resolver),
            "-re -f v4l2 -i /dev/video2 -an o.ts");
  // No arguments at all: ffmpeg itself prints its usage.
  EXPECT_EQ(TranslateArguments({}, resolver, kStart).arguments, Args{});
}

// The encoder's arguments after the outputs are planned, then each file output vortenc opens
// itself: "| path" plus "new" (made exclusively) and "locked".
std::string Plan(const std::string& command, std::optional<double> lessonSeconds) {
  FakeResolver resolver;
  TranslationResult translation = TranslateArguments(Split(command), resolver, kStart);
  if (!translation.ok()) return "ERROR " + translation.error;
  OutputPlan plan = PlanOutputs(translation.arguments, translation.captures, lessonSeconds);
  if (!plan.ok()) return "ERROR " + plan.error;
  std::string text = Join(translation.arguments);
  for (const FileOutput& file : plan.files) {
    // The name vortenc replaces with the open file.
    EXPECT_TRUE(translation.arguments.at(file.argument).ends_with(file.path)) << command;
    text += " | " + file.path + (file.exclusive ? " new" : "") + (file.lock ? " locked" : "");
  }
  return text;
}

TEST(VortencArguments, FileOutputsAreOpenedByVortencAndAddressesKeptToTheLiveProtocols) {
  const struct {
    const char* command;
    const char* planned;
    std::optional<double> lessonSeconds = std::nullopt;  // marked on the input
  } kCases[] = {
      // The remux keeps -y (its final is written over only when it is the teacher's own file)
      // and fails on any write error; ffmpeg is told the container the name would have told.
      {"-y -i \"/r/x.ts\" -c:v copy -c:a copy \"/r/xm.mp4\"",
       "-xerror -y -i /r/x.ts -c:v copy -c:a copy -f mp4 /r/xm.mp4 | /r/xm.mp4"},
      // A capture whose lesson ended at the stop key is copied up to there; a clip keeps its own
      // range, and a capture being made has no end yet.
      {"-y -i \"/r/x.ts\" -c:v copy -c:a copy \"/r/xm.ts\"",
       "-xerror -y -i /r/x.ts -c:v copy -c:a copy -f mpegts -t 5.250 /r/xm.ts | /r/xm.ts", 5.25},
      {"-y -ss 5 -t 10 -i \"/r/a.mp4\" -c:v copy -c:a copy \"/r/c.mp4\"",
       "-xerror -y -ss 5 -t 10 -i /r/a.mp4 -c:v copy -c:a copy -f mp4 /r/c.mp4 | /r/c.mp4 new",
       5.25},
      {"-y -f gdigrab -i desktop -copyinkf -f mpegts \"/r/o.ts\"",
       "-y -f x11grab -i :5 -copyinkf -f mpegts /r/o.ts | /r/o.ts new locked", 5.25},
      // A clip and a capture are made new; the capture is locked while it is written.
      {"-y -ss 5 -t 10 -i \"/r/a b.mp4\" -c:v copy -c:a copy \"/r/剪辑5-15.mp4\"",
       "-xerror -y -ss 5 -t 10 -i /r/a b.mp4 -c:v copy -c:a copy -f mp4 /r/剪辑5-15.mp4 | "
       "/r/剪辑5-15.mp4 new"},
      {"-y -f gdigrab -i desktop -copyinkf -f mpegts \"/r/20261209101500.ts\"",
       "-y -f x11grab -i :5 -copyinkf -f mpegts /r/20261209101500.ts | /r/20261209101500.ts new "
       "locked"},
      // A push address from the platform that names a finished lesson can only make a new file.
      {"-y -f gdigrab -i desktop -copyinkf \"/home/t/20240301093000m.mp4\"",
       "-y -f x11grab -i :5 -copyinkf -f mp4 /home/t/20240301093000m.mp4 | "
       "/home/t/20240301093000m.mp4 new locked"},
      {"-y -f gdigrab -i desktop -copyinkf -f mpegts \"file:/r/o.ts\"",
       "-y -f x11grab -i :5 -copyinkf -f mpegts file:/r/o.ts | /r/o.ts new locked"},
      // Addresses may use the live protocols only: "tee" or "file" behind one is refused by ffmpeg.
      {"-y -f gdigrab -i desktop -copyinkf -f flv \"rtmp://h/live/s\"",
       "-y -f x11grab -i :5 -copyinkf -f flv -protocol_whitelist rtmp,rtmps,tcp,tls,udp "
       "rtmp://h/live/s"},
      {"-y -f gdigrab -i desktop -copyinkf -f flv \"tee:/home/t/x.flv|rtmp://h/s\"",
       "-y -f x11grab -i :5 -copyinkf -f flv -protocol_whitelist rtmp,rtmps,tcp,tls,udp "
       "tee:/home/t/x.flv|rtmp://h/s"},
      {"-y -f gdigrab -i desktop -copyinkf -f mpegts \"udp://239.0.0.1:1234\"",
       "-y -f x11grab -i :5 -copyinkf -f mpegts -protocol_whitelist rtmp,rtmps,tcp,tls,udp "
       "udp://239.0.0.1:1234"},
      // Without -y nothing is written over: the file is made new, and ffmpeg need not ask.
      {"-n -i a.ts b.mp4", "-xerror -y -i a.ts -f mp4 b.mp4 | b.mp4 new"},
      {"-y -i a.ts /r/lesson",
       "ERROR cannot tell from the name \"/r/lesson\" which kind of file "
       "to write"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(Plan(c.command, c.lessonSeconds), c.planned) << c.command;
}

TEST(VortencArguments, UnknownDevicesAreRefusedWithTheUsersMessage) {
  FakeResolver resolver;
  EXPECT_EQ(Translate("-f dshow -i video=\"usb camera\" o.ts", resolver),
            "ERROR no such camera: \"usb camera\"");
  EXPECT_EQ(Translate("-f gdigrab -i desktop -f dshow -i audio=\"Headset\" o.ts", resolver),
            "ERROR no such microphone: \"Headset\"");
  EXPECT_EQ(Translate("-f dshow -i \"video=USB Camera:audio=VirtualMic\" o.ts", resolver),
            "ERROR no such camera: \"USB Camera:audio=VirtualMic\"");
  EXPECT_EQ(Translate("-f dshow -i dummy o.ts", resolver),
            "ERROR unsupported device input \"dummy\": expected video=\"NAME\" or audio=\"NAME\"");
}

TEST(VortencArguments, DryRunFlagAndShellQuotingRoundTripThroughARealShell) {
  Args args{"--dry-run", "-y", "-i", "--dry-run", "x"};
  EXPECT_TRUE(TakeDryRunFlag(args));
  EXPECT_EQ(args, (Args{"-y", "-i", "x"}));
  EXPECT_FALSE(TakeDryRunFlag(args));

  EXPECT_EQ(ShellQuote("-filter_complex"), "-filter_complex");
  EXPECT_EQ(ShellQuote(":0.0+10,20"), ":0.0+10,20");
  EXPECT_EQ(ShellQuote(""), "''");
  EXPECT_EQ(ShellQuote("[mixed]"), "'[mixed]'");
  const Args tricky{"a b", "it's",        "$HOME",       "[0:a][1:a]amix=inputs=2[mixed]",
                    "",    "剪辑1-2.mp4", "back\\slash", "new\nline",
                    "*"};
  QProcess shell;
  shell.start("sh", {"-c", QString::fromStdString("printf '%s\\0' " +
                                                  ShellCommandLine("first", tricky).substr(6))});
  ASSERT_TRUE(shell.waitForFinished(5000));
  QByteArray output = shell.readAllStandardOutput();
  Args parsed;
  for (const QByteArray& part : output.split('\0'))
    parsed.push_back(part.toStdString());
  parsed.pop_back();  // after the last terminator
  EXPECT_EQ(parsed, tricky);
}

}  // namespace
}  // namespace vortenc
