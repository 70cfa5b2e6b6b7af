#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The encoder's outputs. Capture, final and clip names are predictable, and the folder they are
// in may be shared with other users: a link planted at such a name would make ffmpeg write
// through it, a FIFO would let it wait forever. So vortenc opens every file output itself, without
// following a link, refuses anything that is not a regular file of this user's, and hands ffmpeg
// the open file. A network output may use only the live protocols, so an address can never make
// ffmpeg write a file.
namespace vortenc {

// The live protocols and what they travel on; ffmpeg refuses any other ("file", "tee", ...).
inline constexpr char kLiveProtocols[] = "rtmp,rtmps,tcp,tls,udp";

// One output that is a file of the teacher's.
struct FileOutput {
  std::size_t argument = 0;  // its position among the encoder's arguments
  std::string path;
  bool exclusive = false;  // must be made new: a capture, a clip, or any output without -y
  bool lock = false;       // a capture: locked for the encoder's life
};

struct OutputPlan {
  std::vector<FileOutput> files;
  std::vector<std::string> inputs;  // every "-i" value, to keep an output off its own input
  std::string error;                // the user's message when the command cannot run
  bool ok() const { return error.empty(); }
};

// Adds to the translated `arguments` what their outputs need, and says which outputs are files:
//   - a network output ("rtmp://...", "tee:...") gets -protocol_whitelist kLiveProtocols;
//   - a file output without -f gets its container from its name, as ffmpeg would choose it: ffmpeg
//     is handed the open file, whose name tells nothing;
//   - a copy between files (no capture device: the remux, the cut) gets -xerror: without it
//     ffmpeg exits 0 when the MP4's index cannot be written at the end (a full disk);
//   - a command without -y gets it (its files are made new instead), -n is dropped;
//   - a copy of a capture whose lesson ends before the capture does (`lessonSeconds`, see
//     platform/lesson_marks.h) gets -t LESSON-SECONDS before each file output, unless the command
//     chooses its own range.
// `captures`: the inputs are capture devices.
OutputPlan PlanOutputs(std::vector<std::string>& arguments, bool captures,
                       std::optional<double> lessonSeconds = std::nullopt);

// Opens a planned file output for writing: -1 and the user's message when it is refused. A
// capture is created new and locked (an fcntl lock on the open file, which a recovery on this or
// another machine asks for before it touches a capture); the descriptor is left open across exec.
struct OpenedOutput {
  int fd = -1;
  std::string error;
};
OpenedOutput OpenOutput(const FileOutput& output, const std::vector<std::string>& inputs);

// What ffmpeg is handed for an opened output: a name that reaches that open file, seekable (the
// MP4 muxer goes back to its start at the end).
std::string OpenedOutputName(int fd);

}  // namespace vortenc
