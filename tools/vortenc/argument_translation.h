#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vortenc/device_resolver.h"

// The command lines the program hands to the encoder are written for a Windows encoder
// (gdigrab desktop, DirectShow devices). This translation turns them into ffmpeg arguments for
// Linux and leaves everything else exactly as given:
//   -f gdigrab [-offset_x X -offset_y Y] [-video_size WxH] -i desktop
//       → -f x11grab [-video_size WxH] -i $DISPLAY[+X,Y]
//       on a Wayland session: → -f rawvideo -pixel_format F -video_size WxH -framerate R
//       -i file:/proc/self/fd/N, the frames of the desktop portal's screen cast (see
//       screen_main.cpp) on the recording's clock (25 frames per second unless -framerate says
//       otherwise)
//   -f dshow -i video=NAME → -f v4l2 -i /dev/videoN (the camera whose card name is NAME)
//   -f dshow -i audio=NAME → -f pulse -fragment_size 1920 -i SOURCE (virtual-audio-capturer =
//       the speakers' monitor; 10 ms fragments, so each piece of sound is stamped within a few
//       milliseconds of when it was played or spoken)
// Explicit -map options keep the output's order, picture first, and an unlabelled mixing filter
// (-filter_complex amix=inputs=2) gets labels for the sound inputs and its output. Options of
// each input stay with that input.
//
// A capture of picture and sound puts every input on one clock, the wall clock the capture
// devices stamp, counted from `startMicros` (the encoder's start, microseconds since the epoch):
// ffmpeg would otherwise start each input at its own zero, and a sound source that takes seconds
// to wake (a suspended source, the monitor of an idle sink) would sit that much early against the
// picture, which would stand still meanwhile. So:
//   - each sound source is read beside ffmpeg (sound_reader.h), which gets it as raw sound from
//     a pipe ("-f s16le -ar 48000 -ac 2 -i vortenc-sound:SOURCE" until the pipe exists) whose
//     sample 0 is the start, so neither the picture nor the lesson waits on a slow source;
//   - every picture input gets -seek_timestamp 1 -itsoffset -START (the camera also
//     -timestamps abs, its clock made the wall clock); the sound's offset is half a frame
//     interval and the sound server's delivery delay, so a sound is heard at the frame that
//     shows what made it;
//   - every sound goes through aresample=async=1000 before the mix;
//   - the pictures keep their grab times to the millisecond (-fps_mode:v vfr -enc_time_base:v
//     1:1000) instead of being moved to the frame rate's 40 ms steps.
// Such a capture also reports its progress ten times a second (-stats_period 0.1): a stop waits
// for the encoder to write past the stop's moment, and sees it sooner.
// A live push (an output address with "rtmp:" or "udp:") gets x264's look-ahead cut to three
// frames, slice threads and no B-frames
// (-x264opts ...:sync-lookahead=0:rc-lookahead=3:sliced-threads=1:bframes=0) unless it is tuned
// for zero latency.
// Commands this cannot hold for (other inputs, a filter on an input, an output -t/-to/-ss)
// keep ffmpeg's own clock handling.
namespace vortenc {

// The input of a capture's sound, until the encoder starts its reader: "vortenc-sound:SOURCE".
inline constexpr std::string_view kSoundPipePrefix = "vortenc-sound:";

struct SoundInput {
  size_t argument = 0;  // the input's place among the arguments, to become the reader's pipe
  std::string source;   // the sound server's name of the source
  std::string name;     // the source as the teacher chose it
};

struct TranslationResult {
  std::vector<std::string> arguments;  // without the program name
  std::string error;                   // the user's message when the command cannot run
  bool captures = false;               // an input is a capture device (screen, camera, sound)
  bool cancelled = false;              // the teacher declined to share the screen
  std::vector<SoundInput> sounds;      // sound read beside ffmpeg (see sound_reader.h)
  bool ok() const { return error.empty(); }
};

TranslationResult TranslateArguments(const std::vector<std::string>& arguments,
                                     DeviceResolver& resolver, long long startMicros);

// An ffmpeg option that takes a value (every option but the known flags).
bool TakesValue(const std::string& token);

// Removes every "--dry-run"; true when there was one.
bool TakeDryRunFlag(std::vector<std::string>& arguments);

// One argument quoted for a POSIX shell: unchanged when it needs no quotes, else in single
// quotes ('\'' for a quote inside).
std::string ShellQuote(const std::string& argument);
// The whole command as one line a shell would split back into the same arguments.
std::string ShellCommandLine(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace vortenc
