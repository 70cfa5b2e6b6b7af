#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "http/upload_target.h"
#include "platform/recording_upload_part.h"

// The destination of a recording, chosen in the column "上传位置": the entries the choice offers
// and what a choice does to the row.
namespace vortane {

struct DestinationEntry {
  QString text;
  std::optional<UploadTarget> target;  // none for "不上传"
};

// "不上传" first, then every destination below the top level (level > 1) in list order, indented
// by four spaces per level below 2 (levels above 15 are not indented). The entries hold copies:
// they never outlive what they show.
std::vector<DestinationEntry> DestinationEntries(const std::vector<UploadTarget>& targets);

// The entry an edit starts on: the first whose text begins with the cell's text, searching from
// entry 1 and wrapping to entry 0; -1 when none does.
int EntryForCellText(const std::vector<DestinationEntry>& entries, const QString& cellText);

enum class DestinationChoice {
  kUnchanged,        // the row uploads now, or nothing was chosen: the cell keeps its text
  kNoUpload,         // "不上传": the row leaves the queue
  kInvalid,          // a destination without an upload address: "请选择一个有效的课时！"
  kSameDestination,  // chosen again: the row stays as it is (a finished one is not queued again)
  kQueued,           // the row waits in the queue for this destination
};

// Applies the entry `chosen` (-1: none) to the row.
DestinationChoice ChooseDestination(RecordingUploadPart& row,
                                    const std::vector<DestinationEntry>& entries, int chosen);

}  // namespace vortane
