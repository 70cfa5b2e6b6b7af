#pragma once

#include <QString>

// The temporary capture is all a lesson has until its final copy (the remux) is known to be good:
// the encoder may exit 0 although the MP4's index could not be written, and after a power cut
// the capture's removal can reach the disk before the copy's data. Used by the recording's own
// remux and by the recovery of unfinished lessons, before either removes a capture.
namespace vortane {

// The copy may be this much shorter or longer than its capture.
inline constexpr double kFinalCopyToleranceSeconds = 1.0;

// True when `finalPath` is a regular file of the teacher's, it and its folder are on the disk
// (synced), and it opens as media with a length within kFinalCopyToleranceSeconds of the
// capture's, or of the lesson marked on the capture (platform/lesson_marks.h). Blocks (the sync
// can take seconds after a long lesson): never on the UI thread.
bool VerifyFinalCopy(const QString& capturePath, const QString& finalPath);

// Gives `from` the name `to` only while nothing has that name (no file, link or anything else is
// ever replaced). Also on file systems without an atomic no-replace rename (NFS): a hard link,
// then the old name removed.
bool MoveWithoutReplacing(const QString& from, const QString& to);

// Puts the folder holding `path` on the disk: its new names and removed ones survive a power cut.
bool SyncFolderOf(const QString& path);

}  // namespace vortane
