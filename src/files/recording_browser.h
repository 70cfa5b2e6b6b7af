#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <unordered_map>

#include "files/recording_entry.h"
#include "files/recording_library.h"

class QProgressBar;
class QTimer;

namespace vortane {

namespace ui {
class CListCtrlEx;
}

// The browse part of the file manager: the list of the recording folder (newest first, with
// time, size, length, upload state and destination), filled from a worker (RecordingLibrary).
// When filling takes longer than a moment a progress bar says so. Each row's user data is its
// RecordingEntry, kept here.
class RecordingBrowser : public QObject {
  Q_OBJECT

 public:
  // How long the list may take to fill before the progress bar appears.
  static constexpr int kProgressDelayMs = 300;

  // `scale` shrinks the columns with a window that had to shrink to fit the screen.
  RecordingBrowser(ui::CListCtrlEx& list, QProgressBar& progress, double scale,
                   RecordingLibrary::DurationProbe probe,
                   std::function<void(const QString& text)> trace);
  ~RecordingBrowser() override;

  void Refresh(const QString& folder);
  void Add(const QString& nameOrPath);
  bool IsFilling() const;
  // The folder, ending in '/'.
  QString Folder() const;
  RecordingLibrary& Library() const { return *library_; }
  RecordingEntry* EntryOf(int row) const;
  // The row of an entry now (rows may have moved), or -1.
  int RowOf(const RecordingEntry* entry) const;
  // Removes a row and its entry.
  void RemoveRow(int row);
  bool SaveSideFile(int row);
  // The first rows, where they are on the screen and what they show.
  void TraceRows();

 signals:
  // The list has been filled by a refresh.
  void listFilled();
  // A refresh began; `searched` when the folder is read anew.
  void refreshStarted(bool searched);
  // The row's entry is about to be destroyed.
  void entryGoing(const RecordingEntry* entry);

 private:
  void SetUpColumns(double scale);
  void ConnectLibrary();
  void ClearRows();
  void AddRow(int at, const ListedRecording& recording);

  ui::CListCtrlEx& list_;
  QProgressBar& progress_;
  std::function<void(const QString& text)> trace_;
  std::unique_ptr<RecordingLibrary> library_;
  std::unordered_map<const RecordingEntry*, std::unique_ptr<RecordingEntry>> entries_;
  QTimer* progressDelay_ = nullptr;
};

}  // namespace vortane
