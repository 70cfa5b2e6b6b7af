#include "encoder/encoder_job.h"

#include <vector>

#include "encoder/command_lines.h"
#include "platform/process.h"

namespace vortane {

std::shared_ptr<ProcessJob> MakeEncoderJob(const QString& commandLine, EncoderOutput output) {
  return std::make_shared<ProcessJob>(commandLine, output == EncoderOutput::kKeepTail
                                                       ? EncoderProgressTailReader
                                                       : EncoderProgressReader);
}

pid_t FindRunningEncoder() {
  const std::vector<pid_t> found = platform::FindProcessesByName(kEncoderProgram);
  return found.empty() ? 0 : found.front();
}

bool TerminateProcessById(pid_t pid) {
  return platform::KillProcess(pid);
}

}  // namespace vortane
