#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <QSize>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/device_lookup.h"
#include "settings/setup_choices.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vortane {

struct Settings;

class CameraGraph;

// "设置": the modal dialog in which the user edits the capture settings. It shows itself empty,
// fills itself 100 ms later (the device lists arrive from a worker thread, since the sound server
// may take seconds to answer), previews the chosen camera and, on OK, checks the input, copies it
// into the process-wide settings and saves config.cfg. Cancel stores nothing. The camera preview
// is released whenever the dialog closes, so the camera is free for the main window again.
//
// Controls carry their dialog ids as object names ("1004" is the folder edit).
class SetupDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 129;
  static constexpr int kOkId = 1;
  static constexpr int kCancelId = 2;
  static constexpr int kFolderEditId = 1004;
  static constexpr int kFolderButtonId = 1014;
  static constexpr int kSaveFormatListId = 1013;
  static constexpr int kLiveCheckId = 1023;
  static constexpr int kFluencyCheckId = 2026;
  static constexpr int kLiveUrlEditId = 1015;
  static constexpr int kVideoSourceListId = 1018;
  static constexpr int kCameraListId = 1008;
  static constexpr int kCameraPropertiesButtonId = 1017;
  static constexpr int kOutputSizeListId = 1005;
  static constexpr int kVideoBitrateListId = 1006;
  static constexpr int kFrameRateListId = 1007;
  static constexpr int kPreviewAreaId = 1011;
  static constexpr int kCameraSizeLabelId = 1020;
  static constexpr int kSoundSourceListId = 1012;
  static constexpr int kNoiseCheckId = 1066;
  static constexpr int kMicrophoneListId = 1010;
  static constexpr int kAudioBitrateListId = 1009;
  static constexpr int kHideCheckId = 1022;
  static constexpr int kFillDelayMs = 100;

  // Lists the devices of one category; called on a worker thread, so it must be thread-safe.
  using DeviceLister = std::function<QStringList(platform::DeviceCategory)>;
  // Shows one message to the user; the dialog stays open afterwards.
  using MessageSink = std::function<void(QWidget* parent, const QString& text)>;

  // Edits `settings`: OK stores what the dialog shows in them and saves them to config.cfg.
  // Without a lister the machine's capture devices are listed.
  explicit SetupDlg(Settings& settings, QWidget* parent = nullptr, DeviceLister lister = {});
  ~SetupDlg() override;

  // Replaces the warning box (tests record the messages instead of answering boxes).
  void SetMessageSink(MessageSink sink);
  // The warning box every message of this dialog is shown in: the program's title, one OK button.
  static void ShowWarning(QWidget* parent, const QString& text);

  // True once the lists are filled and OK is enabled.
  bool IsFilled() const { return filled_; }
  // The capture size chosen for the previewed camera; 0 × 0 when none.
  QSize ChosenCameraSize() const { return chosenCameraSize_; }
  // True while a camera is opened for the preview.
  bool HasPreview() const { return preview_ != nullptr; }

  void accept() override;
  void done(int result) override;

 signals:
  // Emitted once the dialog has filled itself and enabled OK.
  void Filled();

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  struct DeviceLists {
    QStringList microphones;
    QStringList cameras;
  };

  void BuildControls();
  void FillFromSettings();
  void StartDeviceQuery();
  void OnDevicesListed();
  void OnCameraChanged(int index);
  void StartPreview(const QString& cameraName);
  void ReleasePreview();
  void ChooseFolder();
  void UpdateLiveControls();
  SetupInput ReadInput() const;
  void FocusField(SetupField field);
  // One dialog unit of the template's font, in pixels, horizontally and vertically.
  QSize DialogUnits(int x, int y) const;

  Settings& settings_;
  DeviceLister lister_;
  MessageSink messageSink_;
  int fillTimer_ = 0;
  bool filling_ = false;
  bool filled_ = false;
  QFutureWatcher<DeviceLists>* deviceWatcher_ = nullptr;
  std::unique_ptr<CameraGraph> preview_;
  QSize chosenCameraSize_;

  // The choice tables, in list order.
  std::vector<ValueChoice> saveFormats_;
  std::vector<SizeChoice> outputSizes_;
  std::vector<ValueChoice> videoBitrates_;
  std::vector<ValueChoice> frameRates_;
  std::vector<ValueChoice> audioBitrates_;
  std::vector<ValueChoice> soundSources_;
  std::vector<ValueChoice> videoSources_;

  QLineEdit* folderEdit_ = nullptr;
  QPushButton* folderButton_ = nullptr;
  QComboBox* saveFormatList_ = nullptr;
  QCheckBox* liveCheck_ = nullptr;
  QCheckBox* fluencyCheck_ = nullptr;
  QLineEdit* liveUrlEdit_ = nullptr;
  QComboBox* videoSourceList_ = nullptr;
  QComboBox* cameraList_ = nullptr;
  QPushButton* cameraPropertiesButton_ = nullptr;
  QComboBox* outputSizeList_ = nullptr;
  QComboBox* videoBitrateList_ = nullptr;
  QComboBox* frameRateList_ = nullptr;
  QFrame* previewArea_ = nullptr;
  QLabel* cameraSizeLabel_ = nullptr;
  QComboBox* soundSourceList_ = nullptr;
  QCheckBox* noiseCheck_ = nullptr;
  QComboBox* microphoneList_ = nullptr;
  QComboBox* audioBitrateList_ = nullptr;
  QCheckBox* hideCheck_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};

}  // namespace vortane
