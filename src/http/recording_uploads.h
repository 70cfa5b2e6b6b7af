#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "http/destination_choice.h"
#include "http/upload_queue.h"
#include "http/upload_target.h"
#include "platform/recording_upload_part.h"
#include "ui/list_ctrl_ex.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace vortane {

// The upload part of the file manager: a destination chosen in the list's column "上传位置"
// queues a row, 开始上传 switches the queue on (UploadQueue), and the column "状态" and the log
// box follow each upload. It works on controls and rows the file manager owns, and reaches the
// rows' files and side files through the hooks.
class RecordingUploads : public QObject {
  Q_OBJECT

 public:
  static constexpr int kTargetColumn = 5;
  static constexpr int kStatusColumn = 4;

  struct Controls {
    ui::CListCtrlEx* list = nullptr;
    QPushButton* start = nullptr;
    QPushButton* stop = nullptr;
    // The in-cell editor of column 5 (the destination combo 1061).
    QComboBox* targets = nullptr;
    QPlainTextEdit* log = nullptr;
  };
  struct Hooks {
    // The upload part of a row, from the row's user data.
    std::function<RecordingUploadPart*(void* rowData)> partOf;
    // The recording folder, ending in '/'.
    std::function<QString()> folder;
    // Saves the row's side file after an upload changed it; false when it could not.
    std::function<bool(int row)> saveSideFile;
    std::function<void(QWidget* owner, const QString& text)> showMessage;
    // The file manager's trace.
    std::function<void(const QString& text)> trace;
    std::function<void()> traceRows;
    // The upload destinations (default: those of the upload account).
    std::function<std::vector<UploadTarget>()> targets;
    // Starts an upload's job (default: the real one); tests put in their own.
    UploadQueue::Launcher launcher;
  };

  // `window` is the file manager: it owns this object and the controls.
  RecordingUploads(QWidget& window, Controls controls, Hooks hooks);
  ~RecordingUploads() override;

  // 开始上传 and 停止上传.
  void StartQueue();
  void StopQueue();
  // The queue is on or an upload runs.
  bool QueueOn() const { return queue_->AutoUpload(); }
  bool Busy() const { return queue_->UploadBusy(); }
  // The upload destinations were loaded (after a login): the destination editor of column 5 and
  // the upload buttons work; otherwise both are off, except the stop of a queue that is on or an
  // upload that runs.
  void ShowDestinations(bool loaded);
  // The editor callbacks of column 5 (by default BeginTargetEdit and EndTargetEdit).
  void SetTargetEditCallbacks(ui::CListCtrlEx::EditCallback begin,
                              ui::CListCtrlEx::EditCallback end);
  // The row's part is about to go: later reports of its upload no longer find it.
  void Forget(const RecordingUploadPart* part);
  // The program ends: the queue is off and a running upload is told to stop.
  void ShutDown();
  // Newest line on top.
  void AppendLog(const QString& text);
  UploadQueue& Queue() const { return *queue_; }

 private:
  void FillTargets();
  int BeginTargetEdit(QWidget*& editor, int column, QString& text);
  int EndTargetEdit(QWidget*& editor, int column, QString& text, void* rowData);
  void UpdateButtons();
  std::vector<RecordingUploadPart*> Rows() const;
  QString FilePathOf(const RecordingUploadPart& part) const;
  void OnTick();
  void OnReport(const UploadReport& report);
  void Trace(const QString& text) const;

  QWidget& window_;
  Controls controls_;
  Hooks hooks_;
  std::unique_ptr<UploadQueue> queue_;
  QTimer* timer_ = nullptr;
  // Upload destinations are there (logged in): the queue may be switched on.
  bool destinationsLoaded_ = false;
  // The entries of the destination combo, copies of the destinations they show.
  std::vector<DestinationEntry> destinations_;
  ui::CListCtrlEx::EditCallback beginEdit_;
  ui::CListCtrlEx::EditCallback endEdit_;
};

}  // namespace vortane
