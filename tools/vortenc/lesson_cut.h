#pragma once

#include <string>

// Where a copy of a capture stops so that the lesson's picture and sound end together. A copy
// cannot end the picture at any frame: it keeps packets in the order they are decoded, and a
// picture shown before the cut may be decoded after a later one it refers to (x264's B-frames).
// ffmpeg's -t stops each stream at the first packet decoded at or after the length, so the
// picture ends up to several frames after the sound. Cut instead just before a packet whose
// picture follows everything decoded before it: from the lesson's end onwards, at the first place
// where the picture ends within a frame of the cut.
namespace vortenc {

// The length in seconds to copy of the capture at `path` whose lesson ends `lessonSeconds` after
// its start (both on the capture's own clock, zero at its first packet). At least
// `lessonSeconds`, and at most 0.2 s more; `lessonSeconds` itself when the capture cannot be read.
double LessonCutSeconds(const std::string& path, double lessonSeconds);

}  // namespace vortenc
