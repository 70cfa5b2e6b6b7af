#pragma once

#include <string>
#include <vector>

#include "vortenc/device_resolver.h"

// The command lines the program hands to the encoder are written for a Windows encoder
// (gdigrab desktop, DirectShow devices). This translation turns them into ffmpeg arguments for
// Linux and leaves everything else exactly as given:
//   -f gdigrab [-offset_x X -offset_y Y] [-video_size WxH] -i desktop
//       → -f x11grab [-video_size WxH] -i $DISPLAY[+X,Y]
//   -f dshow -i video=NAME → -f v4l2 -i /dev/videoN (the camera whose card name is NAME)
//   -f dshow -i audio=NAME → -f pulse -frame_size 19200 -i SOURCE (virtual-audio-capturer = the
//       speakers' monitor; 100 ms packets, so a queue of packets holds seconds as with DirectShow)
// Inputs keep the command's order (picture first, so sound and picture start together).
// Explicit -map options keep the output's order, picture first, and an unlabelled mixing filter
// (-filter_complex amix=inputs=2) gets labels for the sound inputs and its output. Options of
// each input stay with that input.
namespace vortenc {

struct TranslationResult {
  std::vector<std::string> arguments;  // without the program name
  std::string error;                   // the user's message when the command cannot run
  bool ok() const { return error.empty(); }
};

TranslationResult TranslateArguments(const std::vector<std::string>& arguments,
                                     DeviceResolver& resolver);

// Removes every "--dry-run"; true when there was one.
bool TakeDryRunFlag(std::vector<std::string>& arguments);

// One argument quoted for a POSIX shell: unchanged when it needs no quotes, else in single
// quotes ('\'' for a quote inside).
std::string ShellQuote(const std::string& argument);
// The whole command as one line a shell would split back into the same arguments.
std::string ShellCommandLine(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace vortenc
