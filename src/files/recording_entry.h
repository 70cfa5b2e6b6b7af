#pragma once

#include "files/recording_meta.h"
#include "platform/recording_upload_part.h"

namespace vortane {

// The data of one row of the recordings list: the side-file record and the upload part.
struct RecordingEntry : RecordingUploadPart {
  RecordingMeta meta;
};

}  // namespace vortane
