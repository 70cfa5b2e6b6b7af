#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

#include "files/recording_entry.h"
#include "files/recording_library.h"
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
class ClipCutPane;
class ClipTrimmer;
class MediaPlayerPane;
class RecordingBrowser;
class RecordingPlayback;

// "文件管理": the modeless window in which the teacher browses the recordings of the recording
// folder (newest first, with time, size and length), plays one, cuts a clip out of it by stream
// copy, deletes what is no longer needed and uploads them to the platform. The upload part is
// attached by the program (SetUploads): the window lays out its controls, and without it the
// upload buttons stay off.
// The toolbar makes it on first use and afterwards only shows and hides it; the close button
// and Esc hide it (the close guard), they never destroy it.
//
// On a screen too small for it (a 1366 × 768 laptop) the whole window shrinks to fit.
//
// The window lays out its controls and hands them to its parts: browsing the list
// (RecordingBrowser), playing (RecordingPlayback), cutting (ClipCutPane) and, attached by the
// program, uploading. A cut runs on as a job when the window is hidden.
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
  };

  // What the window asks of its upload part.
  struct UploadHooks {
    // 开始上传 (true) and 停止上传 (false).
    std::function<void(bool start)> switchQueue;
    // The queue is on; an upload runs.
    std::function<bool()> queueOn;
    std::function<bool()> busy;
    std::function<void(bool loaded)> showDestinations;
    // A row's part is about to go.
    std::function<void(const RecordingUploadPart* part)> forget;
    // The program ends.
    std::function<void()> shutDown;
  };

  explicit CMediaFileDlg(Services services = {}, QWidget* parent = nullptr);
  ~CMediaFileDlg() override;

  // The list: rebuilt from a folder, or one recording added at the top.
  void RefreshFileList(const QString& folder);
  void AddFileToList(const QString& nameOrPath);
  bool IsListFilling() const;

  void SetUploads(UploadHooks hooks);
  // The upload part's controls, laid out by the window.
  QComboBox* TargetCombo() const { return targetCombo_; }
  QPlainTextEdit* UploadLog() const { return uploadLog_; }
  QPushButton* StartUploadButton() const { return startUploadButton_; }
  QPushButton* StopUploadButton() const { return stopUploadButton_; }
  // Saves a row's side file after an upload changed its part; false when it could not.
  bool SaveRowSideFile(int row);
  // The first rows, where they are on the screen and what they show (for the trace).
  void TraceRows();
  // The upload destinations were loaded (after a login) or are gone (passed to the upload part).
  void ShowUploadDestinations(bool loaded);
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
  QString RecordingFolder() const;
  QString CurrentMediaPath() const;
  double MediaDuration() const;
  RecordingEntry* EntryOf(int row) const;
  ui::CListCtrlEx* List() const { return list_; }
  MediaPlayerPane* Player() const { return player_; }
  CRangeSlider* Slider() const { return slider_; }
  QSpinBox* InSpin() const { return inSpin_; }
  QSpinBox* OutSpin() const { return outSpin_; }
  QLabel* TrimStatus() const { return trimStatus_; }
  QLabel* LengthLabel() const { return lengthLabel_; }
  QProgressBar* FillProgress() const { return fillProgress_; }
  ClipTrimmer& Trimmer() const;
  RecordingLibrary& Library() const;

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
  void ConnectParts();
  void DeleteSelected();
  void OpenFolder();
  void Trace(const QString& text) const;

  Services services_;
  // Below 1 on a screen too small for the dialog as designed.
  double scale_ = 1.0;
  UploadHooks uploads_;
  std::unique_ptr<RecordingBrowser> browser_;
  std::unique_ptr<RecordingPlayback> playback_;
  std::unique_ptr<ClipCutPane> cut_;

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
};

}  // namespace vortane
