#include "app/leftover_encoder.h"

#include <QFile>

#include "app/startup_check.h"
#include "encoder/encoder_job.h"
#include "platform/device_lookup.h"
#include "platform/process.h"

namespace vortane {
namespace {

// The value of `name` in the environment the process was started with; empty when unreadable.
QByteArray StartEnvironment(pid_t pid, const QByteArray& name) {
  QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray prefix = name + '=';
  for (const QByteArray& entry : file.read(1 << 20).split('\0')) {
    if (entry.startsWith(prefix)) return entry.mid(prefix.size());
  }
  return {};
}

}  // namespace

pid_t FindLeftoverEncoder(const QString& display) {
  if (display.isEmpty()) return 0;
  const QByteArray wanted = display.toLocal8Bit();
  for (pid_t pid : platform::FindProcessesByName(kEncoderProgram)) {
    if (StartEnvironment(pid, "DISPLAY") == wanted) return pid;
  }
  return 0;
}

pid_t EndLeftoverEncoder() {
  const pid_t pid = FindLeftoverEncoder(platform::DisplayName());
  if (pid != 0) TerminateProcessById(pid);
  return pid;
}

}  // namespace vortane
