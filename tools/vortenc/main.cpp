// vortenc: the encoder the program starts by name. It turns the Windows capture inputs of its
// command line into Linux ones and then becomes ffmpeg (execv in the same process), so ffmpeg's
// progress lines, its exit code, "q" on standard input and signals pass with nothing in between.
// argv[0] stays this program's own path, so the running encoder is still found as "vortenc".
//
//   vortenc [--dry-run] FFMPEG-STYLE-ARGUMENTS...
//
// --dry-run prints the ffmpeg command as one line in POSIX shell quoting instead of running it.
// ffmpeg is taken from PATH; VORTENC_FFMPEG names another program (a path or a name on PATH).
// A capture's sound is read by child processes of this one (see sound_reader.h) that end with it.
// Exit status: ffmpeg's own; 2 when a device or the display does not exist; 3 when an output may
// not be written (see output_files.h); 4 when the teacher declined to share the screen (a Wayland
// session asks through the desktop portal; see screen_main.cpp); 127 when ffmpeg cannot be found or
// started; 1 when the program that started it has already ended.
//
// The encoder never outlives the program that started it (see parent_watch.h).
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/lesson_marks.h"
#include "vortenc/argument_translation.h"
#include "vortenc/output_files.h"
#include "vortenc/parent_watch.h"
#include "vortenc/sound_reader.h"
#include "vortenc/system_device_resolver.h"

namespace {

constexpr int kExitParentGone = 1;
constexpr int kExitNoSuchDevice = 2;
constexpr int kExitOutputRefused = 3;
constexpr int kExitScreenShareCancelled = 4;
constexpr int kExitNoEncoder = 127;

std::string OwnPath(const char* fallback) {
  char buffer[PATH_MAX + 1];
  ssize_t length = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (length <= 0) return fallback;
  return std::string(buffer, static_cast<size_t>(length));
}

bool IsRunnableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool IsThisProgram(const std::string& path, const std::string& self) {
  char resolved[PATH_MAX + 1];
  return realpath(path.c_str(), resolved) && self == resolved;
}

// The ffmpeg to become: VORTENC_FFMPEG, else "ffmpeg", searched on PATH unless it holds a '/'.
// This program itself is never chosen, so a PATH that lists it cannot make it loop.
std::string FindEncoder(const std::string& self) {
  const char* configured = std::getenv("VORTENC_FFMPEG");
  std::string name = configured && *configured ? configured : "ffmpeg";
  if (name.find('/') != std::string::npos)
    return IsRunnableFile(name) && !IsThisProgram(name, self) ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (IsRunnableFile(candidate) && !IsThisProgram(candidate, self)) return candidate;
    start = end + 1;
  }
  return {};
}

// The sound reader lies beside this program.
std::string ReaderPath(const std::string& self) {
  const size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "vortenc-sound";
}

// A copy of one capture whose lesson's end was marked: the lesson's length.
std::optional<double> LessonSeconds(const vortenc::TranslationResult& translation) {
  if (translation.captures) return std::nullopt;
  std::optional<std::string> input;
  const std::vector<std::string>& arguments = translation.arguments;
  for (size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] != "-i") continue;
    if (input) return std::nullopt;
    input = arguments[++i];
  }
  if (!input) return std::nullopt;
  const std::string path = input->rfind("file:", 0) == 0 ? input->substr(5) : *input;
  return vortane::platform::MarkedLessonSeconds(QString::fromStdString(path));
}

}  // namespace

int main(int argc, char** argv) {
  const pid_t program = getppid();
  std::vector<std::string> arguments(argv + 1, argv + argc);
  bool dryRun = vortenc::TakeDryRunFlag(arguments);

  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);  // the clock x11grab, pulse and cameras stamp
  const long long startMicros = now.tv_sec * 1'000'000LL + now.tv_nsec / 1000;
  std::string self = OwnPath(argv[0]);
  // The screen reader of Wayland sessions lives beside this program.
  vortenc::SystemDeviceResolver resolver(self.substr(0, self.rfind('/') + 1) + "vortenc-screen",
                                         startMicros, dryRun);
  vortenc::TranslationResult translation =
      vortenc::TranslateArguments(arguments, resolver, startMicros);
  if (!translation.ok()) {
    std::fprintf(stderr, "vortenc: %s\n", translation.error.c_str());
    return translation.cancelled ? kExitScreenShareCancelled : kExitNoSuchDevice;
  }
  vortenc::OutputPlan outputs =
      vortenc::PlanOutputs(translation.arguments, translation.captures, LessonSeconds(translation));
  if (!outputs.ok()) {
    std::fprintf(stderr, "vortenc: %s\n", outputs.error.c_str());
    return kExitOutputRefused;
  }

  std::string encoder = FindEncoder(self);
  if (encoder.empty()) {
    const char* configured = std::getenv("VORTENC_FFMPEG");
    std::fprintf(stderr, "vortenc: cannot find the encoder \"%s\" (install ffmpeg)\n",
                 configured && *configured ? configured : "ffmpeg");
    return kExitNoEncoder;
  }
  if (dryRun) {
    std::printf("%s\n", vortenc::ShellCommandLine(encoder, translation.arguments).c_str());
    return 0;
  }

  if (!vortenc::WatchProgramEnd(program)) {
    std::fprintf(stderr, "vortenc: the program that started the encoder has ended\n");
    return kExitParentGone;
  }
  // The sound readers start first, so the lesson's sound is read from its first moment; they
  // hold none of the files opened below.
  for (const vortenc::SoundInput& sound : translation.sounds) {
    vortenc::SoundReader reader =
        vortenc::StartSoundReader(ReaderPath(self), sound.source, sound.name, startMicros);
    if (!reader.ok()) {
      std::fprintf(stderr, "vortenc: %s\n", reader.error.c_str());
      return kExitNoSuchDevice;
    }
    fcntl(reader.fd, F_SETFD, 0);  // ffmpeg reads it
    // Not "pipe:N": ffmpeg takes any "pipe:" input for its standard input and would no longer
    // hear "q".
    translation.arguments[sound.argument] = "file:/proc/self/fd/" + std::to_string(reader.fd);
  }
  // Opened last, so that nothing but ffmpeg's own failures can leave a new file behind.
  for (const vortenc::FileOutput& output : outputs.files) {
    vortenc::OpenedOutput opened = vortenc::OpenOutput(output, outputs.inputs);
    if (opened.fd < 0) {
      std::fprintf(stderr, "vortenc: %s\n", opened.error.c_str());
      return kExitOutputRefused;
    }
    // The copy into the final file ends where the lesson did (see lesson_marks.h).
    if (output.lock) vortane::platform::MarkCaptureStart(opened.fd, startMicros);
    translation.arguments[output.argument] = vortenc::OpenedOutputName(opened.fd);
  }
  std::vector<char*> encoderArgv;
  encoderArgv.push_back(self.data());
  for (std::string& argument : translation.arguments)
    encoderArgv.push_back(argument.data());
  encoderArgv.push_back(nullptr);
  std::fflush(nullptr);
  execv(encoder.c_str(), encoderArgv.data());
  std::fprintf(stderr, "vortenc: cannot start %s: %s\n", encoder.c_str(), std::strerror(errno));
  return kExitNoEncoder;
}
