#pragma once

#include <sys/types.h>

// The encoder never outlives the program that started it. When that program ends (a crash, a
// kill, the end of the session) ffmpeg is asked once, with SIGTERM, to finish: it answers SIGTERM
// like "q", completes the file it writes (an MPEG-TS stays playable) and ends.
//
// A parent death signal (PR_SET_PDEATHSIG) on ffmpeg itself does not do this reliably: it is sent
// when the *thread* that started the process ends, and when the whole program dies the encoder
// passes from one dying thread to the next and gets the signal again at each step; ffmpeg counts
// the signals and, from the second one on, abandons the writes still due (the file stays empty
// or cut off). So a small watcher process waits for the program's end instead and sends the one
// signal.
namespace vortenc {

// The signal that asks ffmpeg to finish.
inline constexpr int kFinishSignal = 15;  // SIGTERM

// Call in the process that is about to become ffmpeg, with the id of the program that started
// it (its parent when it started). Forks the watcher, which ends with this process. False when
// the program has already ended: nobody would read the encoder's output or stop it.
bool WatchProgramEnd(pid_t program);

}  // namespace vortenc
