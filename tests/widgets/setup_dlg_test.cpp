// The settings dialog on the offscreen platform. Cameras come from a camera fixture through the
// real device lookup; microphones come from an in-process lister, since these tests run without
// a sound server.
#include "settings/setup_dlg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "platform/folders.h"
#include "platform/program_info.h"
#include "platform/record_file.h"
#include "settings/capture_settings.h"
#include "settings/settings.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

using platform::DeviceCategory;
using D = SetupDlg;

// One user data folder and one camera fixture for the whole program, set before the settings
// record is first loaded.
class SetupEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath("config")));
    QFile fixture(home_.filePath("cameras.txt"));
    ASSERT_TRUE(fixture.open(QIODevice::WriteOnly));
    fixture.write(
        "camera USB Camera 2\nsize 640x480\n"
        "camera USB Camera\nsize 640x480\nsize 1920x1080\n"
        "camera HD Webcam C920\nsize 1280x720\n"
        "camera Old Capture Card\nsize 720x576\n");
    qputenv(platform::kDeviceFixtureVariable, QFile::encodeName(fixture.fileName()));
    qunsetenv("DISPLAY");
  }

 private:
  QTemporaryDir home_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new SetupEnvironment);

// Fixture cameras plus the virtual desktop device; microphones plus the virtual speaker device.
SetupDlg::DeviceLister Lister() {
  return [](DeviceCategory category) {
    if (category == DeviceCategory::kAudioInput)
      return QStringList{"virtual-audio-capturer", "VirtualMic", "Built-in Microphone",
                         "USB Headset"};
    return platform::ListCaptureDevices(category) << platform::kScreenCaptureDeviceName;
  };
}

// The settings the dialogs edit (the toolbar's, in the program).
Settings& Edited() {
  static Settings settings;
  return settings;
}

// A dialog that has filled itself, with its messages recorded instead of shown.
struct OpenDialog {
  explicit OpenDialog(SetupDlg::DeviceLister lister = Lister())
      : dialog(std::make_unique<SetupDlg>(Edited(), nullptr, std::move(lister))) {
    dialog->SetMessageSink([this](QWidget*, const QString& text) { messages.append(text); });
    dialog->show();
    EXPECT_TRUE(QTest::qWaitFor([this] { return dialog->IsFilled(); }, 5000));
  }
  template <typename Widget = QWidget>
  Widget* Get(int id) {
    auto* widget = dialog->findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
  }
  QComboBox* List(int id) { return Get<QComboBox>(id); }
  QString SizeLabel() { return Get<QLabel>(D::kCameraSizeLabelId)->text(); }
  // Presses OK; true when the dialog accepted and closed.
  bool PressOk() {
    messages.clear();
    Get<QPushButton>(D::kOkId)->click();
    return dialog->result() == QDialog::Accepted && !dialog->isVisible();
  }

  std::unique_ptr<SetupDlg> dialog;
  QStringList messages;
};

QStringList Items(QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i)
    items.append(list->itemText(i));
  return items;
}

// Fresh settings that OK accepts as they are, and no config.cfg yet.
Settings& ResetSettings(const QString& folder) {
  Settings& s = Edited();
  s = Settings{};
  s.saveFolder = folder;
  s.audioDevice = "VirtualMic";
  QFile::remove(ConfigFilePath());
  return s;
}

TEST(SetupDlg, FillsItselfFromTheRecord) {
  test::WidgetTestApp();
  QTemporaryDir folder;
  Settings& s = ResetSettings(folder.path());
  s.saveFormat = SaveFormat::kTs;
  s.outputWidth = 1600;  // not offered
  s.frameRate = 30;      // not offered
  s.videoBitrateKbps = 2500;
  s.soundSource = SoundSource::kBoth;
  s.videoSource = VideoSource::kCamera;
  s.audioDevice = "virtualmic";
  s.videoDevice = "USB Camera";
  s.liveUrl = "rtmp://127.0.0.1/live/lesson";
  s.liveEnabled = s.fluencyFirst = s.hideOnStart = s.noiseReduction = true;

  {
    SetupDlg dialog(Edited(), nullptr, Lister());
    EXPECT_EQ(dialog.windowTitle(), "设置");
    EXPECT_FALSE(dialog.findChild<QPushButton*>("1")->isEnabled());
    EXPECT_EQ(dialog.findChild<QComboBox*>("1013")->count(), 0) << "filled on the timer";
    EXPECT_FALSE(dialog.findChild<QPushButton*>("1017")->isVisibleTo(&dialog));
  }

  OpenDialog open;
  const std::tuple<int, QStringList, QString> lists[] = {
      {D::kSaveFormatListId, {"MP4格式文件", "TS格式文件"}, "TS格式文件"},
      {D::kOutputSizeListId,
       {"原画幅（推荐）", "1920x1080", "1280x720", "960x540"},
       "原画幅（推荐）"},
      {D::kFrameRateListId, {"默认", "25帧", "20帧", "15帧", "10帧"}, "默认"},
      {D::kSoundSourceListId, {"麦克风", "扬声器", "麦克风+扬声器"}, "麦克风+扬声器"},
      {D::kVideoSourceListId, {"电脑桌面", "摄像头（或采集卡）"}, "摄像头（或采集卡）"},
      // Sorted, without the virtual devices; a stored name is found whatever its case, and an
      // exact name selects itself rather than a longer one after it.
      {D::kMicrophoneListId, {"Built-in Microphone", "USB Headset", "VirtualMic"}, "VirtualMic"},
      {D::kCameraListId,
       {"HD Webcam C920", "Old Capture Card", "USB Camera", "USB Camera 2"},
       "USB Camera"},
  };
  for (const auto& [id, items, current] : lists) {
    EXPECT_EQ(Items(open.List(id)), items) << id;
    EXPECT_EQ(open.List(id)->currentText(), current) << id;
  }
  EXPECT_EQ(open.List(D::kVideoBitrateListId)->currentText(), "2.5Mbps");
  EXPECT_EQ(open.Get<QLineEdit>(D::kFolderEditId)->text(), folder.path());
  EXPECT_EQ(open.Get<QLineEdit>(D::kLiveUrlEditId)->text(), "rtmp://127.0.0.1/live/lesson");
  for (int id : {D::kLiveCheckId, D::kFluencyCheckId, D::kHideCheckId, D::kNoiseCheckId})
    EXPECT_TRUE(open.Get<QCheckBox>(id)->isChecked()) << id;

  // The stored camera is previewed, its preferred size shown under the preview area.
  EXPECT_TRUE(open.dialog->HasPreview());
  EXPECT_EQ(open.SizeLabel(), "1920x1080");
  EXPECT_TRUE(open.Get(D::kPreviewAreaId)->isVisible());
  EXPECT_GT(open.Get(D::kPreviewAreaId)->width(), 142);

  // The live box switches its two controls.
  open.Get<QCheckBox>(D::kLiveCheckId)->click();
  EXPECT_FALSE(open.Get(D::kLiveUrlEditId)->isEnabled());
  EXPECT_FALSE(open.Get(D::kFluencyCheckId)->isEnabled());
  open.Get<QCheckBox>(D::kLiveCheckId)->click();
  EXPECT_TRUE(open.Get(D::kLiveUrlEditId)->isEnabled());
  EXPECT_TRUE(open.Get(D::kFluencyCheckId)->isEnabled());
}

TEST(SetupDlg, FirstRunAndCameraChanges) {
  test::WidgetTestApp();
  Settings& s = Edited();
  s = Settings::FromRecord([] {
    CaptureSettings damaged;
    damaged.saveFormat = 7;
    return damaged;
  }());
  OpenDialog open;
  EXPECT_EQ(open.Get<QLineEdit>(D::kFolderEditId)->text(), GetPublicVideoFolder());
  EXPECT_EQ(open.List(D::kSaveFormatListId)->currentIndex(), 0);
  EXPECT_EQ(open.List(D::kMicrophoneListId)->currentText(), "Built-in Microphone");
  EXPECT_EQ(open.List(D::kCameraListId)->currentText(), "HD Webcam C920");
  EXPECT_EQ(open.SizeLabel(), "1280x720");
  EXPECT_FALSE(open.Get(D::kLiveUrlEditId)->isEnabled());
  EXPECT_FALSE(open.Get(D::kFluencyCheckId)->isEnabled());

  // Another camera is previewed at once; one without a preferred size shows none.
  open.List(D::kCameraListId)->setCurrentText("USB Camera");
  EXPECT_EQ(open.SizeLabel(), "1920x1080");
  open.List(D::kCameraListId)->setCurrentText("Old Capture Card");
  EXPECT_EQ(open.SizeLabel(), "x");
  EXPECT_EQ(open.dialog->ChosenCameraSize(), QSize(0, 0));

  // A new user who just presses Enter accepts the suggested folder (it exists) and the dialog.
  open.Get<QLineEdit>(D::kFolderEditId)->setFocus();
  QTest::keyClick(open.Get<QLineEdit>(D::kFolderEditId), Qt::Key_Return);
  EXPECT_EQ(open.dialog->result(), QDialog::Accepted) << open.messages.join(", ").toStdString();
  EXPECT_EQ(s.saveFolder + "/", GetPublicVideoFolder());

  // Stored devices that are gone leave their lists without a selection.
  s.audioDevice = "Unplugged Mic";
  s.videoDevice = "Unplugged Cam";
  OpenDialog again;
  EXPECT_EQ(again.List(D::kMicrophoneListId)->currentIndex(), -1);
  EXPECT_EQ(again.List(D::kCameraListId)->currentIndex(), -1);
  EXPECT_EQ(again.List(D::kCameraListId)->placeholderText(), "请选择设备");
  EXPECT_FALSE(again.dialog->HasPreview());
}

TEST(SetupDlg, DeviceQueryRunsBesideTheWindow) {
  test::WidgetTestApp();
  QTemporaryDir folder;
  ResetSettings(folder.path());
  std::atomic<bool> release{false};
  std::atomic<int> calls{0};
  std::atomic<bool> onUiThread{false};
  QThread* uiThread = QThread::currentThread();
  auto slowLister = [&, inner = Lister()](DeviceCategory category) {
    onUiThread = onUiThread || QThread::currentThread() == uiThread;
    ++calls;
    while (!release)
      QThread::msleep(5);
    return inner(category);
  };

  auto dialog = std::make_unique<SetupDlg>(Edited(), nullptr, slowLister);
  dialog->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
  QTest::qWait(150);  // the window keeps answering meanwhile
  EXPECT_FALSE(dialog->findChild<QPushButton*>("1")->isEnabled());
  EXPECT_EQ(dialog->findChild<QComboBox*>("1013")->count(), 2);
  EXPECT_EQ(dialog->findChild<QComboBox*>("1010")->placeholderText(), "正在查找设备…");
  release = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->IsFilled(); }, 5000));
  EXPECT_FALSE(onUiThread);
  EXPECT_TRUE(dialog->findChild<QPushButton*>("1")->isEnabled());

  // Closing the dialog before the answer arrives is safe and stores nothing.
  release = false;
  calls = 0;
  const Settings before = Edited();
  dialog = std::make_unique<SetupDlg>(Edited(), nullptr, slowLister);
  dialog->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
  dialog->reject();
  dialog.reset();
  release = true;
  QTest::qWait(100);
  EXPECT_EQ(Edited(), before);
  EXPECT_FALSE(QFile::exists(ConfigFilePath()));

  OpenDialog empty([](DeviceCategory) { return QStringList(); });
  EXPECT_EQ(empty.List(D::kMicrophoneListId)->placeholderText(), "未找到设备");
}

TEST(SetupDlg, OkRefusesInOrderAndStaysOpen) {
  test::WidgetTestApp();
  QTemporaryDir folder;
  Settings& s = ResetSettings(folder.path());
  s.audioDevice.clear();
  s.videoSource = VideoSource::kCamera;
  const Settings before = s;

  OpenDialog open([](DeviceCategory) { return QStringList(); });  // no devices at all
  auto* folderEdit = open.Get<QLineEdit>(D::kFolderEditId);
  auto* url = open.Get<QLineEdit>(D::kLiveUrlEditId);
  open.Get<QCheckBox>(D::kLiveCheckId)->click();
  url->setText("RTMP://127.0.0.1/live/a");
  folderEdit->setText(folder.filePath("absent"));

  const std::pair<std::function<void()>, QString> steps[] = {
      {[] {}, "目标目录不存在！"},
      {[&] { folderEdit->setText(folder.path()); }, "请选择录音设备！"},
      {[&] { open.List(D::kSoundSourceListId)->setCurrentIndex(1); },
       "请选择采集视频的摄像头或采集卡！"},
      {[&] { open.List(D::kVideoSourceListId)->setCurrentIndex(0); },
       "请输入有效的直播地址！软件支持UDP协议和RTMP协议。"},
      {[&] { url->setText("rtmp://127.0.0.1/live/" + QString(240, 'a')); }, "直播地址过长！"},
  };
  for (const auto& [change, message] : steps) {
    change();
    EXPECT_FALSE(open.PressOk());
    EXPECT_EQ(open.messages, QStringList{message});
  }
  EXPECT_EQ(Edited(), before) << "a refused OK changes nothing";
  EXPECT_FALSE(QFile::exists(ConfigFilePath()));
  EXPECT_EQ(open.dialog->focusWidget(), url);

  // An empty push address is accepted with live on; the speakers need no microphone.
  url->clear();
  EXPECT_TRUE(open.PressOk()) << open.messages.join(", ").toStdString();
  EXPECT_TRUE(s.liveEnabled);
  EXPECT_EQ(s.liveUrl, "");
  EXPECT_EQ(s.soundSource, SoundSource::kSpeaker);
}

TEST(SetupDlg, OkSavesConfigFileAndCancelStoresNothing) {
  test::WidgetTestApp();
  QTemporaryDir folder;
  Settings& s = ResetSettings(folder.path());
  s.platformUser = "teacher";
  s.liveUrl = "udp://127.0.0.1:5000";
  s.fluencyFirst = true;

  // Cancel after changing everything.
  const Settings before = s;
  {
    OpenDialog open;
    open.Get<QLineEdit>(D::kFolderEditId)->setText("/");
    open.List(D::kFrameRateListId)->setCurrentIndex(1);
    open.Get<QCheckBox>(D::kLiveCheckId)->setChecked(true);
    EXPECT_TRUE(open.dialog->HasPreview());
    open.Get<QPushButton>(D::kCancelId)->click();
    EXPECT_EQ(open.dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(open.dialog->HasPreview()) << "the camera is freed";
    EXPECT_EQ(s, before);
    EXPECT_FALSE(QFile::exists(ConfigFilePath()));
  }

  OpenDialog open;
  open.Get<QLineEdit>(D::kFolderEditId)->setText(folder.path() + "//");
  open.List(D::kFrameRateListId)->setCurrentText("10帧");  // a 0x0A byte in the record
  open.List(D::kOutputSizeListId)->setCurrentText("960x540");
  open.List(D::kVideoSourceListId)->setCurrentIndex(1);
  open.List(D::kCameraListId)->setCurrentText("USB Camera");
  open.List(D::kMicrophoneListId)->setCurrentText("USB Headset");
  open.Get<QCheckBox>(D::kNoiseCheckId)->setChecked(true);
  // With live off a changed address is not stored; the old one stays for next time.
  open.Get<QLineEdit>(D::kLiveUrlEditId)->setText("rtmp://elsewhere/live");
  ASSERT_TRUE(open.PressOk()) << open.messages.join(", ").toStdString();
  EXPECT_FALSE(open.dialog->HasPreview()) << "the camera is freed";

  EXPECT_EQ(s.saveFolder, folder.path()) << "trailing separators removed";
  EXPECT_EQ(s.frameRate, 10);
  EXPECT_EQ(QSize(s.outputWidth, s.outputHeight), QSize(960, 540));
  EXPECT_EQ(s.videoSource, VideoSource::kCamera);
  EXPECT_EQ(s.videoDevice, "USB Camera");
  EXPECT_EQ(QSize(s.cameraWidth, s.cameraHeight), QSize(1920, 1080));
  EXPECT_EQ(s.audioDevice, "USB Headset");
  EXPECT_TRUE(s.noiseReduction);
  EXPECT_FALSE(s.liveEnabled);
  EXPECT_EQ(s.liveUrl, "udp://127.0.0.1:5000");
  EXPECT_TRUE(s.fluencyFirst);
  EXPECT_EQ(s.platformUser, "teacher");

  QFile file(ConfigFilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  const CaptureSettings record = s.ToRecord();
  EXPECT_EQ(bytes, QByteArray::fromStdString(EncodeTextMode(&record, sizeof(record))));
  EXPECT_EQ(bytes.size(), 1981);
  EXPECT_EQ(bytes.mid(8, 5), QByteArray("\r\n\0\0\0", 5)) << "frame rate 10";
  // The folder field starts at 28, one byte later in the file after the 0x0D added before it.
  EXPECT_EQ(bytes.mid(29, folder.path().size()), folder.path().toUtf8());
}

// Answers the next modal window of type T once it appears.
template <typename T>
void AnswerNextModal(std::function<void(T*)> answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, answer] {
    if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
      poll->deleteLater();
      poll->stop();
      answer(modal);
    }
  });
  poll->start(20);
}

TEST(SetupDlg, FolderPickerAndWarningBox) {
  test::WidgetTestApp();
  QTemporaryDir folder;
  ResetSettings(folder.path());
  ASSERT_TRUE(QDir().mkpath(folder.filePath("lessons")));
  OpenDialog open;
  auto* edit = open.Get<QLineEdit>(D::kFolderEditId);
  auto pick = [&](const QString& directory) {
    AnswerNextModal<QFileDialog>([directory](QFileDialog* picker) {
      EXPECT_EQ(picker->windowTitle(), "选择文件夹：");
      EXPECT_EQ(picker->fileMode(), QFileDialog::Directory);
      picker->setDirectory(directory);
      if (directory.isEmpty())
        picker->reject();
      else
        static_cast<QDialog*>(picker)->accept();  // the picker's own OK
    });
    open.Get<QPushButton>(D::kFolderButtonId)->click();
  };
  pick(folder.filePath("lessons"));
  EXPECT_EQ(edit->text(), folder.filePath("lessons"));
  pick("/");
  EXPECT_EQ(edit->text(), "/") << "the root keeps its separator";
  pick("");
  EXPECT_EQ(edit->text(), "/") << "a cancelled picker changes nothing";

  // Without a sink of its own the dialog warns in a box with the program's title.
  open.dialog->SetMessageSink(nullptr);
  edit->setText(folder.filePath("absent"));
  QString shown;
  AnswerNextModal<QMessageBox>([&](QMessageBox* box) {
    shown = QStringList{box->windowTitle(), box->text(), QString::number(box->icon()),
                        QString::number(box->buttons().size())}
                .join('|');
    box->accept();
  });
  open.Get<QPushButton>(D::kOkId)->click();
  EXPECT_EQ(shown,
            ProgramTitle() + "|目标目录不存在！|" + QString::number(QMessageBox::Warning) + "|1");
  EXPECT_TRUE(open.dialog->isVisible());
}

}  // namespace
}  // namespace vortane
