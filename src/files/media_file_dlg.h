#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <unordered_map>

#include "files/recording_library.h"
#include "http/destination_choice.h"
#include "http/upload_queue.h"
#include "http/upload_target.h"
#include "platform/window_message.h"
#include "ui/list_ctrl_ex.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace vortane {

class CRangeSlider;
class ClipTrimmer;
class MediaPlayerPane;

// "文件管理": the modeless window in which the teacher browses the recordings of the recording
// folder (newest first, with time, size and length), plays one, cuts a clip out of it by stream
// copy, deletes what is no longer needed and uploads them to the platform: a destination chosen
// in the column "上传位置" queues a row, 开始上传 switches the queue on (UploadQueue), and the
// column "状态" and the log box follow each upload.
// The toolbar makes it on first use and afterwards only shows and hides it; the close button
// and Esc hide it (the close guard), they never destroy it.
//
// On a screen too small for it (a 1366 × 768 laptop) the whole window shrinks to fit.
//
// The list fills from a worker thread (RecordingLibrary); when that takes longer than a moment a
// progress bar says so. A cut runs on as a job when the window is hidden.
//
// Controls carry their dialog ids as object names ("1047" is the list).
class CMediaFileDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 137;
  enum ControlId : int {
    kIdPlay = 1,
    kIdCancel = 2,
    kIdPlayer = 1031,
    kIdFullScreen = 1034,
    kIdInPoint = 1035,
    kIdOutPoint = 1036,
    kIdInEdit = 1037,
    kIdOutEdit = 1038,
    kIdPlayFromIn = 1039,
    kIdInSpin = 1040,
    kIdOutSpin = 1041,
    kIdPlayFromOut = 1042,
    kIdSlider = 1044,
    kIdLength = 1046,
    kIdList = 1047,
    kIdTrimStatus = 1048,
    kIdDelete = 1049,
    kIdName = 1050,
    kIdOpenFolder = 1051,
    kIdUploadLog = 1059,
    kIdTargetCombo = 1061,
    kIdStartUpload = 1062,
    kIdStopUpload = 1063,
    kIdCut = 2042,
  };
  // The list's columns.
  static constexpr int kTargetColumn = 5;
  // How long the list may take to fill before the progress bar appears.
  static constexpr int kProgressDelayMs = 300;

  // What the window reaches outside itself; empty members take the program's own behaviour.
  struct Services {
    // A modal OK box with the program's title.
    std::function<void(QWidget* owner, const QString& text)> showMessage;
    // A yes/no question with the program's title; true for yes.
    std::function<bool(QWidget* owner, const QString& text)> askYesNo;
    // Opens a folder in the desktop's file manager (default: xdg-open); false when it failed.
    std::function<bool(const QString& folder)> openFolder;
    // Where the window's status texts and list rows are written for the whole-program tests.
    std::function<void(const QString& text)> trace;
    // Lengths of media files (default: libavformat). Called on worker threads.
    RecordingLibrary::DurationProbe probe;
    // The upload destinations (default: those of the upload account).
    std::function<std::vector<UploadTarget>()> uploadTargets;
    // Starts an upload thread (default: the real one); tests put in their own.
    UploadQueue::Launcher uploadLauncher;
  };

  explicit CMediaFileDlg(Services services = {}, QWidget* parent = nullptr);
  ~CMediaFileDlg() override;

  // The list: rebuilt from a folder, or one recording added at the top.
  void RefreshFileList(const QString& folder);
  void AddFileToList(const QString& nameOrPath);
  bool IsListFilling() const;

  // The upload destinations were loaded (after a login): the destination editor of column 5 and
  // the upload buttons work; otherwise both are off, except the stop of a queue that is on or an
  // upload that runs.
  void ShowUploadDestinations(bool loaded);
  // The in-cell editor of column 5 (the destination combo 1061) and its callbacks, used while
  // the destinations are loaded (by default BeginTargetEdit and EndTargetEdit).
  void SetTargetEditCallbacks(ui::CListCtrlEx::EditCallback begin,
                              ui::CListCtrlEx::EditCallback end);
  // Refills the destination combo from the upload destinations.
  void FillUploadTargets();
  // The editor callbacks of column 5: the combo starts on the cell's destination; the end
  // applies the choice to the row (ChooseDestination).
  int BeginTargetEdit(QWidget*& editor, int row, int column, QString& text, void* userData,
                      ui::CListCtrlEx* list, int flag);
  int EndTargetEdit(QWidget*& editor, int row, int column, QString& text, void* userData,
                    ui::CListCtrlEx* list, int flag);
  void UpdateUploadButtons();
  // Newest line on top.
  void AppendUploadLog(const QString& text);
  // A recording starts: the window goes and its player falls silent (its sound would be recorded).
  void HideForRecording();
  // The close guard (command 2, Esc, the caption's close): stops the player and hides the
  // window. False when it refused to close.
  bool CloseGuard();
  // The program ends: open message boxes are closed, the player stops, a running cut is stopped
  // and its unfinished clip removed, and the window hides. It is destroyed only after the box
  // loops have returned.
  void ShutDown();

  // Commands, by control id (buttons, and the menu-less keyboard equivalents).
  void OnCommand(int id);
  void PlaySelected();
  void SeekAndShowLength(int seconds);
  // One of the two is a whole second (≥ 0), the other -1.
  void UpdateInOut(int in, int out);

  // What the window shows and holds.
  QString RecordingFolder() const { return library_->Folder(); }
  QString CurrentMediaPath() const { return currentMediaPath_; }
  double MediaDuration() const { return mediaDuration_; }
  RecordingEntry* EntryOf(int row) const;
  ui::CListCtrlEx* List() const { return list_; }
  MediaPlayerPane* Player() const { return player_; }
  CRangeSlider* Slider() const { return slider_; }
  QSpinBox* InSpin() const { return inSpin_; }
  QSpinBox* OutSpin() const { return outSpin_; }
  QLabel* TrimStatus() const { return trimStatus_; }
  QLabel* LengthLabel() const { return lengthLabel_; }
  QProgressBar* FillProgress() const { return fillProgress_; }
  QComboBox* TargetCombo() const { return targetCombo_; }
  QPlainTextEdit* UploadLog() const { return uploadLog_; }
  QPushButton* StartUploadButton() const { return startUploadButton_; }
  QPushButton* StopUploadButton() const { return stopUploadButton_; }
  UploadQueue& Uploads() const { return *uploads_; }
  ClipTrimmer& Trimmer() const { return *trimmer_; }
  RecordingLibrary& Library() const { return *library_; }

  void reject() override;

 signals:
  // The list has been filled by a refresh.
  void listFilled();
  // A recording was loaded into the player (or refused: an empty path).
  void mediaLoaded(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void SetUpList();
  void ConnectLibrary();
  void ConnectTrimmer();
  void ClearRows();
  void AddRow(int at, const ListedRecording& recording);
  void LoadMedia(const QString& path, double duration);
  void FullScreen();
  void DeleteSelected();
  void OpenFolder();
  void MarkPoint(bool in);
  void OnCounterStep(bool in);
  void OnRangeChanged();
  void PlayFromPoint(bool in);
  void StartCut();
  void ShowTrimStatus(const QString& text, bool failed);
  void ShowFillProgress(int done, int total);
  void TraceRows();
  void Trace(const QString& text) const;
  // Uploads.
  std::vector<RecordingUploadPart*> UploadRows() const;
  QString FilePathOf(const RecordingUploadPart& part) const;
  void OnUploadTick();
  void OnUploadReport(const UploadReport& report);
  void ForgetEntry(const RecordingEntry* entry);

  Services services_;
  // Below 1 on a screen too small for the dialog as designed.
  double scale_ = 1.0;
  std::unique_ptr<RecordingLibrary> library_;
  std::unique_ptr<ClipTrimmer> trimmer_;
  // The rows' entries; a row's user data points at its entry here.
  std::unordered_map<const RecordingEntry*, std::unique_ptr<RecordingEntry>> entries_;
  QString currentMediaPath_;
  double mediaDuration_ = 0;
  // The slider's ends at its last change message, to tell which end moved.
  double lastLeft_ = 0;
  double lastRight_ = 0;
  // Every play command counts; a length read for an older one is dropped.
  int playRequest_ = 0;
  // The player's first second of a newly loaded file has been traced.
  bool playerTraced_ = false;
  std::unique_ptr<UploadQueue> uploads_;
  // Upload destinations are there (logged in): the queue may be switched on.
  bool destinationsLoaded_ = false;
  // The entries of the destination combo, copies of the destinations they show.
  std::vector<DestinationEntry> destinations_;
  QTimer* uploadTimer_ = nullptr;

  ui::CListCtrlEx* list_ = nullptr;
  MediaPlayerPane* player_ = nullptr;
  QPushButton* playButton_ = nullptr;
  QPushButton* fullScreenButton_ = nullptr;
  QPushButton* deleteButton_ = nullptr;
  QPushButton* startUploadButton_ = nullptr;
  QPushButton* stopUploadButton_ = nullptr;
  QComboBox* targetCombo_ = nullptr;
  QLabel* nameLabel_ = nullptr;
  CRangeSlider* slider_ = nullptr;
  QLabel* lengthLabel_ = nullptr;
  QSpinBox* inSpin_ = nullptr;
  QSpinBox* outSpin_ = nullptr;
  QPushButton* cutButton_ = nullptr;
  QLabel* trimStatus_ = nullptr;
  QPlainTextEdit* uploadLog_ = nullptr;
  QProgressBar* fillProgress_ = nullptr;
  QTimer* progressDelay_ = nullptr;
  ui::CListCtrlEx::EditCallback beginTargetEdit_;
  ui::CListCtrlEx::EditCallback endTargetEdit_;
};

}  // namespace vortane
