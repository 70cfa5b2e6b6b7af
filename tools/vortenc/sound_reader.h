#pragma once

#include <sys/types.h>

#include <string>

// A capture's sound does not come to ffmpeg from the sound server directly: ffmpeg opens every
// input before it grabs its first picture and waits on each one's first sound, and a source that
// takes seconds to deliver (a sink idling in long blocks, a source that never resumes) would
// hold the whole lesson back, or stop it.
//
// Instead, one reader per sound source runs beside the encoder and writes an unbroken stream of
// 48 kHz stereo 16-bit samples into a pipe that ffmpeg reads as raw sound: sample n is the sound
// of the moment `startMicros` + n/48000 s on the wall clock the picture is stamped with. What the
// source delivers is put at the moment the sound server says it was heard and written at once
// (ffmpeg holds each picture back until it has the sound of its moment); what it has not
// delivered 0.2 s after that moment is written as silence, so the picture never waits and a late
// source joins the lesson at its true time. A source that has delivered nothing after a few seconds
// is named on standard error ("vortenc: no sound from ...") and the lesson goes on without it.
namespace vortenc {

inline constexpr int kSoundRate = 48000;
// The reader is the program "vortenc-sound SOURCE NAME START" beside vortenc, writing to its
// descriptor 3.
inline constexpr int kSoundReaderFd = 3;
inline constexpr int kSoundChannels = 2;

struct SoundReader {
  pid_t pid = -1;
  int fd = -1;        // the pipe's read end, for ffmpeg
  std::string error;  // why it could not start
  bool ok() const { return pid > 0 && fd >= 0; }
};

// Starts the reader program `reader` for `source` (a sound server source name) as a child process;
// `name` is the source as the teacher chose it, for the message about a silent source. The child
// ends when the pipe's reader goes away or this process ends.
SoundReader StartSoundReader(const std::string& reader, const std::string& source,
                             const std::string& name, long long startMicros);

// The reader's own life: writes the lesson's sound into `fd` until its reader goes away.
[[noreturn]] void RunSoundReader(const std::string& source, const std::string& name,
                                 long long startMicros, int fd);

}  // namespace vortenc
