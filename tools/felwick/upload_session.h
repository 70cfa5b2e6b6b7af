#pragma once

#include <functional>
#include <string>

#include "upload_file.h"
#include "uploader_output.h"

// What the two ways of uploading share: the file, where it goes, under which name, and where
// the messages go.
namespace felwick {

struct UploadSession {
  const UploadFile& file;
  UploaderOutput& output;
  std::string url;
  std::string name;                     // the "save_as" name, else the file's own
  std::function<bool()> stopRequested;  // "q" arrived on standard input
};

enum class UploadOutcome {
  kDone,          // the server took the whole file
  kFailed,        // an "error:" line says why
  kStopped,       // the program asked to stop
  kNotResumable,  // the server does not speak tus: nothing was sent yet
};

// Waits `ms` but returns early (false) when a stop arrives.
bool PauseUnlessStopped(const UploadSession& session, int ms);
// The first bytes of a reply for an error line, on one line.
std::string Excerpt(const std::string& body);

}  // namespace felwick
