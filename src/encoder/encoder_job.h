#pragma once

#include <sys/types.h>

#include <QString>
#include <cstddef>
#include <memory>

#include "platform/process_job.h"

namespace vortane {

// A capture's progress also says when one of its sound sources has delivered nothing for a few
// seconds (the lesson goes on without it) and when its sound comes after all: the value is one
// of these, the text the source's name.
inline constexpr double kProgressSoundMissing = 1.0;
inline constexpr double kProgressSoundBack = 2.0;

// Whether an encoder job keeps the end of the encoder's output (a remux does: its last time is
// the finished file's length).
enum class EncoderOutput { kDrop, kKeepTail };

// A job that runs an encoder command line and reports each "time=" of its output as progress.
std::shared_ptr<ProcessJob> MakeEncoderJob(const QString& commandLine,
                                           EncoderOutput output = EncoderOutput::kDrop);

// The readers of encoder jobs: turn "time=hh:mm:ss.xx" in the child's output into progress. The
// tail reader also keeps the last kOutputTailBytes of the output in collectedOutput, so the owner
// can tell the user what the encoder said before it failed.
unsigned EncoderProgressReader(ChildRun* run);
unsigned EncoderProgressTailReader(ChildRun* run);
inline constexpr std::size_t kOutputTailBytes = 4096;

// The process id of the first running encoder (a process whose program file or argv[0] is named
// "vortenc"), or 0.
pid_t FindRunningEncoder();
// Ends the process at once; false when it could not be signalled.
bool TerminateProcessById(pid_t pid);

}  // namespace vortane
