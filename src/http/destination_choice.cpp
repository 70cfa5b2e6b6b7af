#include "http/destination_choice.h"

namespace vortane {
namespace {

// Deeper destinations are listed without an indent, as the live list lists deep tasks: a level
// is the platform's word, and (level - 2) * 4 blanks could ask for gigabytes.
constexpr int kMaxIndentLevel = 15;

QString EntryText(const UploadTarget& target) {
  if (target.level > kMaxIndentLevel) return target.name;
  return QString((target.level - 2) * 4, QLatin1Char(' ')) + target.name;
}

}  // namespace

std::vector<DestinationEntry> DestinationEntries(const std::vector<UploadTarget>& targets) {
  std::vector<DestinationEntry> entries{{QStringLiteral("不上传"), std::nullopt}};
  for (const UploadTarget& target : targets) {
    if (target.level <= 1) continue;
    entries.push_back({EntryText(target), target});
  }
  return entries;
}

int EntryForCellText(const std::vector<DestinationEntry>& entries, const QString& cellText) {
  const int count = static_cast<int>(entries.size());
  for (int step = 1; step <= count; ++step) {
    const int index = step % count;
    if (entries[index].text.startsWith(cellText, Qt::CaseInsensitive)) return index;
  }
  return -1;
}

DestinationChoice ChooseDestination(RecordingUploadPart& row,
                                    const std::vector<DestinationEntry>& entries, int chosen) {
  if (row.uploadState == 1 || row.uploadState == 2) return DestinationChoice::kUnchanged;
  if (chosen < 0 || chosen >= static_cast<int>(entries.size()))
    return DestinationChoice::kUnchanged;
  const std::optional<UploadTarget>& target = entries[chosen].target;
  if (!target || target->uploadUrl.empty()) {
    row.targetId = -1;
    row.uploadUrl.clear();
    row.uploadState = -1;
    return target ? DestinationChoice::kInvalid : DestinationChoice::kNoUpload;
  }
  if (target->id == row.targetId) return DestinationChoice::kSameDestination;
  row.uploadUrl = target->uploadUrl;
  row.reportUrl = target->callbackUrl;
  row.uploadState = 0;
  row.targetName = target->name;
  row.targetId = target->id;
  return DestinationChoice::kQueued;
}

}  // namespace vortane
