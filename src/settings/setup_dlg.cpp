#include "settings/setup_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPromise>
#include <QPushButton>
#include <QThreadPool>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "platform/folders.h"
#include "platform/program_info.h"
#include "settings/camera_graph.h"
#include "settings/capture_settings.h"
#include "settings/settings.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

using platform::DeviceCategory;

const QString kFolderPickerTitle = QStringLiteral("选择文件夹：");
const QString kLookingForDevices = QStringLiteral("正在查找设备…");
const QString kNoDeviceFound = QStringLiteral("未找到设备");
const QString kChooseDevice = QStringLiteral("请选择设备");

QString IdName(int id) {
  return QString::number(id);
}

template <typename Widget>
Widget* Named(Widget* widget, int id) {
  widget->setObjectName(IdName(id));
  return widget;
}

template <typename Choice>
void FillList(QComboBox* list, const std::vector<Choice>& choices, int selected) {
  list->clear();
  for (int i = 0; i < static_cast<int>(choices.size()); ++i)
    list->insertItem(i, choices[i].label);
  list->setCurrentIndex(selected);
}

// What a device list shows while nothing is selected. Never empty: clearing the placeholder of a
// list without a selection makes Qt select the first entry.
void SetDevicePlaceholder(QComboBox* list) {
  list->setPlaceholderText(list->count() == 0 ? kNoDeviceFound : kChooseDevice);
}

std::optional<QString> SelectedText(const QComboBox* list) {
  if (list->currentIndex() < 0) return std::nullopt;
  return list->currentText();
}

// Labels sit at the left of their row, as in the template; the fields take the remaining width.
QGridLayout* AddRow(QGridLayout* grid, const QString& caption, QWidget* field,
                    QWidget* extra = nullptr) {
  const int row = grid->rowCount();
  auto* label = new QLabel(caption);
  label->setBuddy(field);
  grid->addWidget(label, row, 0);
  if (extra) {
    grid->addWidget(field, row, 1);
    grid->addWidget(extra, row, 2);
  } else {
    grid->addWidget(field, row, 1, 1, 2);
  }
  return grid;
}

QGridLayout* NewGrid(QGroupBox* box) {
  auto* grid = new QGridLayout(box);
  grid->setColumnStretch(1, 1);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(6);
  return grid;
}

}  // namespace

SetupDlg::SetupDlg(Settings& settings, QWidget* parent, DeviceLister lister)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      lister_(lister ? std::move(lister) : DeviceLister(&platform::ListCaptureDevices)),
      messageSink_(&SetupDlg::ShowWarning) {
  setWindowTitle(QStringLiteral("设置"));
  setModal(true);
  QFont font(ui::MapFontFace(QStringLiteral("宋体")));
  font.setPointSize(9);
  setFont(font);
  BuildControls();

  // The dialog shows itself empty and fills itself on the first tick, so it appears at once.
  okButton_->setEnabled(false);
  fillTimer_ = startTimer(kFillDelayMs);
}

SetupDlg::~SetupDlg() {
  ReleasePreview();
}

void SetupDlg::SetMessageSink(MessageSink sink) {
  messageSink_ = sink ? std::move(sink) : MessageSink(&SetupDlg::ShowWarning);
}

void SetupDlg::ShowWarning(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, ProgramTitle(), text);
}

QSize SetupDlg::DialogUnits(int x, int y) const {
  // A dialog unit is a quarter of the font's average letter width and an eighth of its height.
  QFontMetrics metrics(font());
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int averageWidth = (metrics.horizontalAdvance(kLetters) / 26 + 1) / 2;
  return QSize((x * averageWidth + 2) / 4, (y * metrics.height() + 4) / 8);
}

void SetupDlg::BuildControls() {
  // Output.
  folderEdit_ = Named(new QLineEdit, kFolderEditId);
  folderButton_ = Named(new QPushButton(QStringLiteral("选择目录...")), kFolderButtonId);
  saveFormatList_ = Named(new QComboBox, kSaveFormatListId);
  auto* outputBox = new QGroupBox(QStringLiteral("输出配置"));
  QGridLayout* outputGrid = NewGrid(outputBox);
  AddRow(outputGrid, QStringLiteral("存放目录："), folderEdit_, folderButton_);
  AddRow(outputGrid, QStringLiteral("保存格式："), saveFormatList_);

  // Live push.
  liveCheck_ =
      Named(new QCheckBox(QStringLiteral("开启直播（登录云平台后，优先使用所选择直播任务）")),
            kLiveCheckId);
  liveUrlEdit_ = Named(new QLineEdit, kLiveUrlEditId);
  liveUrlEdit_->setPlaceholderText(QStringLiteral("rtmp://… 或 udp://…"));
  fluencyCheck_ = Named(new QCheckBox(QStringLiteral("流畅度优先")), kFluencyCheckId);
  auto* liveBox = new QGroupBox(QStringLiteral("视频直播"));
  QGridLayout* liveGrid = NewGrid(liveBox);
  liveGrid->addWidget(liveCheck_, 0, 0, 1, 3);
  AddRow(liveGrid, QStringLiteral("直播地址："), liveUrlEdit_);
  liveGrid->addWidget(fluencyCheck_, liveGrid->rowCount(), 1, 1, 2);

  // Video capture, with the camera preview beneath the lists.
  videoSourceList_ = Named(new QComboBox, kVideoSourceListId);
  cameraList_ = Named(new QComboBox, kCameraListId);
  cameraPropertiesButton_ =
      Named(new QPushButton(QStringLiteral("设置")), kCameraPropertiesButtonId);
  cameraPropertiesButton_->setVisible(false);
  outputSizeList_ = Named(new QComboBox, kOutputSizeListId);
  videoBitrateList_ = Named(new QComboBox, kVideoBitrateListId);
  frameRateList_ = Named(new QComboBox, kFrameRateListId);
  previewArea_ = Named(new QFrame, kPreviewAreaId);
  previewArea_->setFrameShape(QFrame::Box);
  previewArea_->setFixedSize(DialogUnits(142, 83));
  previewArea_->setAutoFillBackground(true);
  QPalette previewPalette = previewArea_->palette();
  previewPalette.setColor(QPalette::Window, Qt::black);
  previewPalette.setColor(QPalette::WindowText, QColor(96, 96, 96));
  previewArea_->setPalette(previewPalette);
  cameraSizeLabel_ = Named(new QLabel(QStringLiteral("x")), kCameraSizeLabelId);
  cameraSizeLabel_->setAlignment(Qt::AlignCenter);
  auto* videoBox = new QGroupBox(QStringLiteral("视频采集"));
  QGridLayout* videoGrid = NewGrid(videoBox);
  AddRow(videoGrid, QStringLiteral("视频来源："), videoSourceList_);
  AddRow(videoGrid, QStringLiteral("采集设备："), cameraList_);
  AddRow(videoGrid, QStringLiteral("视频画幅："), outputSizeList_);
  AddRow(videoGrid, QStringLiteral("视频码率："), videoBitrateList_);
  AddRow(videoGrid, QStringLiteral("视频帧率："), frameRateList_);
  const int previewRow = videoGrid->rowCount();
  videoGrid->addWidget(previewArea_, previewRow, 0, 1, 3, Qt::AlignHCenter);
  videoGrid->addWidget(cameraSizeLabel_, previewRow + 1, 0, 1, 3, Qt::AlignHCenter);
  videoGrid->addWidget(cameraPropertiesButton_, previewRow + 2, 0, 1, 3, Qt::AlignHCenter);
  videoGrid->setRowStretch(previewRow + 3, 1);

  // Sound.
  soundSourceList_ = Named(new QComboBox, kSoundSourceListId);
  noiseCheck_ = Named(new QCheckBox(QStringLiteral("音频降噪")), kNoiseCheckId);
  microphoneList_ = Named(new QComboBox, kMicrophoneListId);
  audioBitrateList_ = Named(new QComboBox, kAudioBitrateListId);
  auto* audioBox = new QGroupBox(QStringLiteral("音频采集"));
  QGridLayout* audioGrid = NewGrid(audioBox);
  AddRow(audioGrid, QStringLiteral("声音来源："), soundSourceList_, noiseCheck_);
  AddRow(audioGrid, QStringLiteral("录音设备："), microphoneList_);
  AddRow(audioGrid, QStringLiteral("音频码率："), audioBitrateList_);

  // Other.
  hideCheck_ = Named(new QCheckBox(QStringLiteral("开始录制后隐藏窗口")), kHideCheckId);
  auto* otherBox = new QGroupBox(QStringLiteral("其他"));
  auto* otherLayout = new QVBoxLayout(otherBox);
  otherLayout->addWidget(hideCheck_);

  for (QComboBox* list : {cameraList_, microphoneList_})
    list->setPlaceholderText(kLookingForDevices);
  // Long device names must not widen the dialog; the open list shows them in full.
  for (QComboBox* list :
       {saveFormatList_, videoSourceList_, cameraList_, outputSizeList_, videoBitrateList_,
        frameRateList_, soundSourceList_, microphoneList_, audioBitrateList_}) {
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(12);
  }

  auto* buttons = new QDialogButtonBox;
  okButton_ =
      Named(buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole), kOkId);
  cancelButton_ =
      Named(buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole), kCancelId);
  okButton_->setDefault(true);
  // Enter accepts the dialog; it must never open the folder picker or the camera controls.
  for (QPushButton* button : {folderButton_, cameraPropertiesButton_, cancelButton_})
    button->setAutoDefault(false);

  auto* left = new QVBoxLayout;
  left->addWidget(outputBox);
  left->addWidget(liveBox);
  left->addWidget(audioBox);
  left->addWidget(otherBox);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(videoBox, 1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 3);
  columns->addLayout(right, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(buttons, &QDialogButtonBox::accepted, this, &SetupDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SetupDlg::reject);
  connect(folderButton_, &QPushButton::clicked, this, &SetupDlg::ChooseFolder);
  connect(liveCheck_, &QCheckBox::toggled, this, &SetupDlg::UpdateLiveControls);
  connect(cameraList_, &QComboBox::currentIndexChanged, this, &SetupDlg::OnCameraChanged);
  connect(cameraPropertiesButton_, &QPushButton::clicked, this, [this] {
    if (preview_) preview_->ShowPropertyPages(this);
  });
}

void SetupDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() != fillTimer_) {
    QDialog::timerEvent(event);
    return;
  }
  killTimer(fillTimer_);
  fillTimer_ = 0;
  FillFromSettings();
  StartDeviceQuery();
}

void SetupDlg::FillFromSettings() {
  const Settings& s = settings_;
  filling_ = true;
  ReleasePreview();
  chosenCameraSize_ = QSize(0, 0);

  saveFormats_ = SaveFormatChoices();
  outputSizes_ = OutputSizeChoices();
  videoBitrates_ = VideoBitrateChoices();
  frameRates_ = FrameRateChoices();
  audioBitrates_ = AudioBitrateChoices();
  soundSources_ = SoundSourceChoices();
  videoSources_ = VideoSourceChoices();

  const auto count = [](const auto& table) { return static_cast<int>(table.size()); };
  FillList(saveFormatList_, saveFormats_,
           PositionOrFirst(static_cast<int>(s.saveFormat), count(saveFormats_)));
  FillList(outputSizeList_, outputSizes_, LastWidthMatchOrFirst(outputSizes_, s.outputWidth));
  FillList(videoBitrateList_, videoBitrates_, LastMatchOrFirst(videoBitrates_, s.videoBitrateKbps));
  FillList(frameRateList_, frameRates_, LastMatchOrFirst(frameRates_, s.frameRate));
  FillList(audioBitrateList_, audioBitrates_, LastMatchOrFirst(audioBitrates_, s.audioBitrateKbps));
  FillList(soundSourceList_, soundSources_,
           PositionOrFirst(static_cast<int>(s.soundSource), count(soundSources_)));
  FillList(videoSourceList_, videoSources_,
           PositionOrFirst(static_cast<int>(s.videoSource), count(videoSources_)));

  const QString& folder = s.saveFolder;
  folderEdit_->setText(folder.isEmpty() ? GetPublicVideoFolder() : folder);
  const QString& liveUrl = s.liveUrl;
  if (!liveUrl.isEmpty()) liveUrlEdit_->setText(liveUrl);

  liveCheck_->setChecked(s.liveEnabled);
  UpdateLiveControls();
  fluencyCheck_->setChecked(s.fluencyFirst);
  hideCheck_->setChecked(s.hideOnStart);
  noiseCheck_->setChecked(s.noiseReduction);
  filling_ = false;
}

void SetupDlg::StartDeviceQuery() {
  // The sound server may take seconds to answer: ask on a worker and fill the lists when the
  // answer arrives. The worker holds only the promise and the lister, never the dialog, so
  // closing the dialog first is safe; the pool is waited for when the application ends.
  auto promise = std::make_shared<QPromise<DeviceLists>>();
  deviceWatcher_ = new QFutureWatcher<DeviceLists>(this);
  connect(deviceWatcher_, &QFutureWatcher<DeviceLists>::finished, this, &SetupDlg::OnDevicesListed);
  deviceWatcher_->setFuture(promise->future());
  promise->start();
  QThreadPool::globalInstance()->start([promise, lister = lister_] {
    DeviceLists lists;
    lists.microphones = lister(DeviceCategory::kAudioInput);
    lists.cameras = lister(DeviceCategory::kVideoInput);
    promise->addResult(std::move(lists));
    promise->finish();
  });
}

void SetupDlg::OnDevicesListed() {
  const QFuture<DeviceLists> future = deviceWatcher_->future();
  const DeviceLists lists = future.resultCount() > 0 ? future.result() : DeviceLists{};
  deviceWatcher_->deleteLater();
  deviceWatcher_ = nullptr;

  const Settings& s = settings_;
  filling_ = true;

  const QStringList microphones =
      DeviceListEntries(lists.microphones, QLatin1String(platform::kSpeakerCaptureDeviceName));
  microphoneList_->clear();
  microphoneList_->addItems(microphones);
  SetDevicePlaceholder(microphoneList_);
  const QString& microphone = s.audioDevice;
  if (!microphone.isEmpty()) {
    microphoneList_->setCurrentIndex(FindDeviceEntry(microphones, microphone));
  } else if (!microphones.isEmpty()) {
    microphoneList_->setCurrentIndex(0);
  }

  const QStringList cameras =
      DeviceListEntries(lists.cameras, QLatin1String(platform::kScreenCaptureDeviceName));
  cameraList_->clear();
  cameraList_->addItems(cameras);
  SetDevicePlaceholder(cameraList_);
  const QString& camera = s.videoDevice;
  QString previewName;
  if (!camera.isEmpty()) {
    cameraList_->setCurrentIndex(FindDeviceEntry(cameras, camera));
    previewName = camera;
  } else if (!cameras.isEmpty()) {
    cameraList_->setCurrentIndex(0);
    previewName = cameras.first();
  }
  filling_ = false;

  if (!previewName.isEmpty()) StartPreview(previewName);

  filled_ = true;
  okButton_->setEnabled(true);
  emit Filled();
}

void SetupDlg::OnCameraChanged(int index) {
  if (filling_ || index < 0) return;
  // The size chosen for the camera shown before says nothing about this one.
  chosenCameraSize_ = QSize(0, 0);
  cameraSizeLabel_->setText(QStringLiteral("x"));
  StartPreview(cameraList_->itemText(index));
}

void SetupDlg::StartPreview(const QString& cameraName) {
  ReleasePreview();
  auto graph = std::make_unique<CameraGraph>();
  if (!graph->Open(cameraName)) return;
  if (std::optional<PictureSize> size = ChooseCameraSize(graph->ListSizes());
      size && size->width > 0) {
    chosenCameraSize_ = QSize(size->width, size->height);
    cameraSizeLabel_->setText(QStringLiteral("%1x%2").arg(size->width).arg(size->height));
    graph->SetFormat(size->width, size->height);
  }
  // A camera that opens but cannot show its picture stays opened until it is released.
  if (graph->AttachPreview(previewArea_) && graph->RenderPreview() && graph->Run())
    previewArea_->update();
  preview_ = std::move(graph);
}

void SetupDlg::ReleasePreview() {
  if (!preview_) return;
  preview_->Stop();
  preview_->Release();
  preview_.reset();
}

void SetupDlg::ChooseFolder() {
  // The folder dialog is this dialog's child, so it stays above it.
  QString start = RemoveTrailingSeparators(folderEdit_->text());
  QString chosen = QFileDialog::getExistingDirectory(
      this, kFolderPickerTitle, start,
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (!chosen.isEmpty()) folderEdit_->setText(RemoveTrailingSeparators(chosen));
}

void SetupDlg::UpdateLiveControls() {
  const bool live = liveCheck_->isChecked();
  liveUrlEdit_->setEnabled(live);
  fluencyCheck_->setEnabled(live);
}

SetupInput SetupDlg::ReadInput() const {
  SetupInput input;
  input.folderText = folderEdit_->text();
  input.saveFormatIndex = saveFormatList_->currentIndex();
  input.outputSizeIndex = outputSizeList_->currentIndex();
  input.videoBitrateIndex = videoBitrateList_->currentIndex();
  input.frameRateIndex = frameRateList_->currentIndex();
  input.audioBitrateIndex = audioBitrateList_->currentIndex();
  input.soundSourceIndex = soundSourceList_->currentIndex();
  input.videoSourceIndex = videoSourceList_->currentIndex();
  input.selectedCamera = SelectedText(cameraList_);
  input.selectedMicrophone = SelectedText(microphoneList_);
  input.chosenCameraWidth = chosenCameraSize_.width();
  input.chosenCameraHeight = chosenCameraSize_.height();
  input.hideOnStart = hideCheck_->isChecked();
  input.liveEnabled = liveCheck_->isChecked();
  input.liveUrlText = liveUrlEdit_->text();
  input.fluencyFirst = fluencyCheck_->isChecked();
  input.noiseReduction = noiseCheck_->isChecked();
  return input;
}

void SetupDlg::FocusField(SetupField field) {
  switch (field) {
    case SetupField::kFolder:
      folderEdit_->setFocus();
      folderEdit_->selectAll();
      break;
    case SetupField::kCamera:
    case SetupField::kVideoSource:
      cameraList_->setFocus();
      break;
    case SetupField::kMicrophone:
      microphoneList_->setFocus();
      break;
    case SetupField::kLiveUrl:
      liveUrlEdit_->setFocus();
      liveUrlEdit_->selectAll();
      break;
  }
}

void SetupDlg::accept() {
  if (!filled_) return;
  Settings scratch = settings_;
  if (std::optional<SetupRefusal> refusal = ApplySetupInput(ReadInput(), scratch)) {
    messageSink_(this, refusal->message);
    FocusField(refusal->field);
    return;
  }
  settings_ = scratch;
  if (!SaveSettings(settings_)) {
    // The new settings hold for this run all the same; say that they will not survive it.
    messageSink_(this,
                 QStringLiteral("设置已生效，但无法写入配置文件 %1，下次启动时将恢复原来的设置。")
                     .arg(ConfigFilePath()));
  }
  QDialog::accept();
}

void SetupDlg::done(int result) {
  // The camera must be free for the camera window once this dialog is gone.
  ReleasePreview();
  QDialog::done(result);
}

}  // namespace vortane
