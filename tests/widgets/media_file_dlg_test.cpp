// The file manager on the offscreen platform with real recordings made by ffmpeg, the real
// player, the real encoder (vortenc + ffmpeg) for the cuts and the freedesktop trash of a private
// data folder. Message boxes are recorded and answered by the test.
#include "files/media_file_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVideoWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "app/file_manager_uploads.h"
#include "files/media_player_pane.h"
#include "files/range_slider.h"
#include "platform/dialog_units.h"
#include "platform/media_duration.h"
#include "support/media.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

using D = CMediaFileDlg;

// A private trash and the encoder beside the program; the recordings are made once.
class FilesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("XDG_DATA_HOME", QFile::encodeName(home_.filePath(QStringLiteral("data"))));
    qputenv("PATH",
            QFile::encodeName(qEnvironmentVariable("VORTANE_PROGRAM_DIR")) + ':' + qgetenv("PATH"));
    ASSERT_TRUE(test::MakeVideo(Lesson(), 45.0)) << "ffmpeg made the 45-second lesson";
    ASSERT_TRUE(test::MakeVideo(Short(), 12.0));
  }
  static QString Lesson() { return media_.filePath(QStringLiteral("lesson.mp4")); }
  static QString Short() { return media_.filePath(QStringLiteral("short.mp4")); }
  static QString Trash() { return home_.filePath(QStringLiteral("data/Trash/files/")); }

 private:
  static inline QTemporaryDir home_;
  static inline QTemporaryDir media_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FilesEnvironment);

// A file manager on a folder of its own, its boxes recorded.
struct FileManager {
  explicit FileManager(D::Services services = {}) {
    test::WidgetTestApp();
    services.showMessage = [this](QWidget*, const QString& text) { messages << text; };
    services.trace = [this](const QString& text) { trace << text; };
    services.askYesNo = [this](QWidget*, const QString& text) {
      questions << text;
      return answer;
    };
    dialog = std::make_unique<D>(std::move(services));
    QObject::connect(dialog.get(), &D::listFilled, [this] { ++filled; });
    QObject::connect(dialog.get(), &D::mediaLoaded,
                     [this](const QString& path) { loaded << path; });
  }
  ~FileManager() { dialog->ShutDown(); }

  QString Folder() const { return dir.path() + QLatin1Char('/'); }
  void Add(const QString& name, const QString& from = FilesEnvironment::Lesson()) {
    ASSERT_TRUE(QFile::copy(from, Folder() + name)) << name.toStdString();
  }
  // Shows the window and lists the folder, as the toolbar does.
  void Open() {
    const int before = filled;
    dialog->show();
    dialog->RefreshFileList(dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return filled > before; }, 30000));
  }
  QStringList Names() const {
    QStringList names;
    for (int row = 0; row < dialog->List()->GetItemCount(); ++row)
      names << dialog->List()->GetItemText(row, 0);
    return names;
  }
  void Select(const QString& name) {
    const int row = static_cast<int>(Names().indexOf(name));
    ASSERT_GE(row, 0) << name.toStdString();
    dialog->List()->SelectItem(row);
  }
  // Selects and plays a recording, and waits until the player runs.
  void Play(const QString& name) {
    Select(name);
    const qsizetype before = loaded.size();
    dialog->OnCommand(D::kIdPlay);
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded.size() > before; }, 10000))
        << trace.join('\n').toStdString();
    ASSERT_EQ(loaded.last(), Folder() + name);
    ASSERT_TRUE(PlayingPast(0.2));
  }
  // Where the real player is, in seconds (not a seek still waiting to be done).
  double PlayerSeconds() const { return dialog->Player()->Player()->position() / 1000.0; }
  bool PlayerAt(int state, const std::function<bool(double)>& at) {
    return QTest::qWaitFor(
        [&] { return dialog->Player()->PlayState() == state && at(PlayerSeconds()); }, 15000);
  }
  bool PlayingPast(double seconds) {
    return PlayerAt(MediaPlayerPane::kPlaying, [=](double at) { return at > seconds; });
  }
  bool PausedAt(double seconds) {
    return PlayerAt(MediaPlayerPane::kPaused,
                    [=](double at) { return std::abs(at - seconds) < 0.5; });
  }
  // Steps a second counter as its arrows do, from `from` by `steps`.
  void Step(QSpinBox* counter, int from, int steps) {
    counter->setValue(from);
    counter->stepBy(steps);
  }
  // Cuts the current selection and waits for the cut to end.
  QString Cut() {
    dialog->OnCommand(D::kIdCut);
    // While it runs the button is off: one cut at a time.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Button(D::kIdCut)->isEnabled(); }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->IsListFilling(); }, 10000));
    return dialog->TrimStatus()->text();
  }
  QPushButton* Button(int id) const { return dialog->findChild<QPushButton*>(QString::number(id)); }
  std::pair<double, double> Selection() const { return dialog->Slider()->GetRange(); }

  QTemporaryDir dir;
  std::unique_ptr<D> dialog;
  QStringList messages;
  QStringList questions;
  QStringList loaded;
  QStringList trace;
  bool answer = true;
  int filled = 0;
};

TEST(MediaFileDlg, EveryControlAtItsPlaceAndTheListsColumns) {
  D::Services services;
  QStringList opened;
  services.openFolder = [&](const QString& folder) {
    opened << folder;
    return false;
  };
  FileManager files(services);
  D& d = *files.dialog;
  EXPECT_EQ(d.windowTitle(), QStringLiteral("文件管理"));
  EXPECT_FALSE(d.isModal());
  EXPECT_EQ(d.size(), QSize(1055, 878)) << "603 × 439 dialog units";
  struct Expected {
    int id;
    QRect dialogUnits;
    const char* text;
    bool visible;
    bool enabled;
  };
  const Expected controls[] = {
      {D::kIdList, {0, 0, 602, 186}, nullptr, true, true},
      {D::kIdPlayer, {0, 188, 352, 250}, nullptr, true, true},
      {D::kIdPlay, {369, 188, 38, 22}, "播放", true, true},
      {D::kIdFullScreen, {407, 188, 38, 22}, "全屏", true, true},
      {D::kIdDelete, {449, 188, 38, 22}, "删除", true, true},
      {D::kIdStartUpload, {503, 188, 44, 22}, "开始上传", true, false},
      {D::kIdStopUpload, {549, 188, 44, 22}, "停止上传", true, false},
      {D::kIdCancel, {477, 217, 27, 14}, "Cancel", false, true},
      {D::kIdOpenFolder, {509, 216, 36, 17}, "打开目录", false, true},
      {D::kIdName, {381, 244, 198, 9}, ".", true, true},
      {D::kIdSlider, {376, 260, 210, 12}, nullptr, true, true},
      {D::kIdLength, {381, 277, 117, 9}, "0:00", true, true},
      {D::kIdInPoint, {380, 292, 26, 14}, "入点", true, true},
      {D::kIdPlayFromIn, {483, 292, 47, 14}, "从入点播放", true, true},
      {D::kIdOutPoint, {380, 317, 26, 14}, "出点", true, true},
      {D::kIdPlayFromOut, {483, 319, 47, 14}, "从出点播放", true, true},
      {D::kIdCut, {381, 341, 40, 20}, "开始剪辑", true, true},
      {D::kIdTrimStatus, {433, 345, 137, 12}, " ...", true, true},
      {D::kIdUploadLog, {372, 376, 220, 61}, nullptr, true, true},
  };
  d.show();
  for (const Expected& c : controls) {
    QWidget* widget = d.findChild<QWidget*>(QString::number(c.id));
    ASSERT_NE(widget, nullptr) << c.id;
    EXPECT_EQ(widget->geometry(), DialogUnitsToPixels(c.dialogUnits)) << c.id;
    EXPECT_EQ(widget->isVisible(), c.visible) << c.id;
    EXPECT_EQ(widget->isEnabled(), c.enabled) << c.id;
    if (c.text == nullptr) continue;
    const QString text = widget->property("text").toString();
    EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.id;
  }
  EXPECT_TRUE(files.Button(D::kIdPlay)->isDefault());
  EXPECT_FALSE(d.findChild<QComboBox*>(QString::number(D::kIdTargetCombo))->isVisible());
  EXPECT_TRUE(d.findChild<QPlainTextEdit*>(QString::number(D::kIdUploadLog))->isReadOnly());
  for (int id : {D::kIdInEdit, D::kIdOutEdit})
    EXPECT_NE(d.findChild<QWidget*>(QString::number(id)), nullptr) << "the counters' edits";

  const QStringList titles{"文件", "录制时间", "大小", "时长", "状态", "上传位置"};
  const int widths[] = {280, 180, 80, 80, 120, 280};
  const bool right[] = {false, false, true, true, false, false};
  ui::CListCtrlEx* list = d.List();
  ASSERT_EQ(list->GetColumnCount(), 6);
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(list->headerItem()->text(column), titles[column]);
    EXPECT_EQ(list->columnWidth(column), widths[column]) << column;
    EXPECT_EQ(bool(list->headerItem()->textAlignment(column) & Qt::AlignRight), right[column])
        << column;
  }
  EXPECT_TRUE(list->GridLines());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);

  // On a 1366 × 768 laptop (a 728-pixel high work area) the window shrinks to fit with its frame.
  const double laptop = FittingScale(d.size(), QRect(0, 0, 1366, 728));
  EXPECT_LE(ScaledRect(d.rect(), laptop).height() + 40, 728);
  EXPECT_GT(laptop, 0.75);
  EXPECT_EQ(FittingScale(d.size(), QRect(0, 0, 1920, 1040)), 1.0);

  // Upload destinations not loaded: no editor for column 5, upload buttons off.
  RecordingUploads& uploads = AttachUploads(d, {});
  d.ShowUploadDestinations(false);
  EXPECT_FALSE(files.Button(D::kIdStartUpload)->isEnabled());
  // Logged in, the queue switched on, logged out again: the queue can still be stopped (closing
  // is refused while an upload runs), and then nothing can be started.
  d.ShowUploadDestinations(true);
  EXPECT_TRUE(files.Button(D::kIdStartUpload)->isEnabled());
  d.OnCommand(D::kIdStartUpload);
  d.ShowUploadDestinations(false);
  EXPECT_FALSE(files.Button(D::kIdStartUpload)->isEnabled());
  EXPECT_TRUE(files.Button(D::kIdStopUpload)->isEnabled());
  d.OnCommand(D::kIdStopUpload);
  EXPECT_FALSE(uploads.QueueOn());
  EXPECT_FALSE(files.Button(D::kIdStartUpload)->isEnabled());
  EXPECT_FALSE(files.Button(D::kIdStopUpload)->isEnabled());
  // With nothing loaded the trim buttons do nothing.
  for (int id : {D::kIdInPoint, D::kIdOutPoint, D::kIdPlayFromIn, D::kIdPlayFromOut, D::kIdCut})
    d.OnCommand(id);
  EXPECT_EQ(d.Player()->PlayState(), MediaPlayerPane::kUndefined);
  EXPECT_EQ(d.Slider()->GetRange(), std::make_pair(0.0, 100.0));
  EXPECT_TRUE(files.messages.isEmpty());

  // "打开目录" asks the desktop to show the folder and closes the window; a desktop that cannot
  // is told.
  files.Open();
  d.OnCommand(D::kIdOpenFolder);
  EXPECT_EQ(opened, QStringList({files.Folder()}));
  EXPECT_EQ(files.messages, QStringList({"无法打开目录 " + files.Folder()}));
  EXPECT_FALSE(d.isVisible());
}

TEST(MediaFileDlg, PlayingResumesFullScreenWhilePlayingAndDeletingGoesToTheTrash) {
  FileManager files;
  D& d = *files.dialog;
  files.Add(QStringLiteral("20240301080000m.mp4"));
  files.Add(QStringLiteral("20240302090000m.mp4"), FilesEnvironment::Short());
  files.Open();
  ASSERT_EQ(files.Names(), QStringList({"20240302090000m.mp4", "20240301080000m.mp4"}));
  EXPECT_EQ(d.List()->GetItemText(0, 3), QStringLiteral("12秒"));
  EXPECT_EQ(d.List()->GetItemText(1, 3), QStringLiteral("45秒"));

  // "播放" with nothing selected does nothing.
  d.List()->DeselectAll();
  d.OnCommand(D::kIdPlay);
  EXPECT_EQ(d.Player()->PlayState(), MediaPlayerPane::kUndefined);

  files.Play(QStringLiteral("20240301080000m.mp4"));
  const QString lesson = files.Folder() + QStringLiteral("20240301080000m.mp4");
  EXPECT_EQ(d.CurrentMediaPath(), lesson);
  EXPECT_NEAR(d.MediaDuration(), 45.0, 0.2);
  EXPECT_EQ(d.findChild<QLabel*>(QString::number(D::kIdName))->text(),
            QStringLiteral("20240301080000m.mp4"));
  EXPECT_EQ(d.Player()->Volume(), 50);

  // Full screen only while playing; Esc brings the picture back.
  d.Player()->Pause();
  ASSERT_TRUE(QTest::qWaitFor([&] { return d.Player()->PlayState() == 2; }, 5000));
  d.OnCommand(D::kIdFullScreen);
  EXPECT_FALSE(d.Player()->IsFullScreen());
  // "播放" again on the same row resumes where it paused instead of loading again.
  const double pausedAt = d.Player()->CurrentPosition();
  d.OnCommand(D::kIdPlay);
  EXPECT_TRUE(files.PlayingPast(pausedAt + 0.3));
  EXPECT_EQ(files.loaded.size(), 1) << "not loaded again";
  d.OnCommand(D::kIdFullScreen);
  EXPECT_TRUE(d.Player()->IsFullScreen());
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(d.Player()->Video(), &escape);
  EXPECT_FALSE(d.Player()->IsFullScreen());
  EXPECT_TRUE(d.isVisible()) << "Esc left full screen, not the window";

  // Deleting another file asks, and leaves the player alone; "no" keeps everything.
  files.Select(QStringLiteral("20240302090000m.mp4"));
  files.answer = false;
  d.OnCommand(D::kIdDelete);
  EXPECT_EQ(files.questions, QStringList({"要删除文件 20240302090000m.mp4 吗？"}));
  EXPECT_EQ(files.Names().size(), 2);
  files.answer = true;
  d.OnCommand(D::kIdDelete);
  EXPECT_EQ(files.Names(), QStringList({"20240301080000m.mp4"}));
  EXPECT_FALSE(QFile::exists(files.Folder() + "20240302090000m.mp4"));
  EXPECT_TRUE(QFile::exists(FilesEnvironment::Trash() + "20240302090000m.mp4")) << "in the trash";
  EXPECT_TRUE(QFile::exists(files.Folder() + "metas/20240302090000m.mp4.meta"))
      << "side file stays";
  EXPECT_EQ(d.Player()->PlayState(), MediaPlayerPane::kPlaying);
  EXPECT_EQ(d.CurrentMediaPath(), lesson);

  // Deleting the loaded file stops the player first.
  files.Select(QStringLiteral("20240301080000m.mp4"));
  d.OnCommand(D::kIdDelete);
  EXPECT_TRUE(files.Names().isEmpty());
  EXPECT_EQ(d.Player()->PlayState(), MediaPlayerPane::kUndefined);
  EXPECT_EQ(d.CurrentMediaPath(), QString());
  EXPECT_TRUE(QFile::exists(FilesEnvironment::Trash() + "20240301080000m.mp4"));
  EXPECT_TRUE(files.messages.isEmpty());

  // The close guard stops the player and hides the window; it is not destroyed.
  d.OnCommand(D::kIdCancel);
  EXPECT_FALSE(d.isVisible());
}

TEST(MediaFileDlg, ARecordingThatCannotBeDeletedKeepsItsRow) {
  FileManager files;
  files.Add(QStringLiteral("kept.mp4"), FilesEnvironment::Short());
  const QString path = files.Folder() + QStringLiteral("kept.mp4");
  // Immutable even for root: neither the trash nor a plain delete can take it.
  QProcess chattr;
  chattr.start(QStringLiteral("chattr"), {QStringLiteral("+i"), path});
  if (!chattr.waitForFinished(5000) || chattr.exitCode() != 0)
    GTEST_SKIP() << "the file system cannot make a file immutable";
  struct Unlock {
    QString path;
    ~Unlock() { QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path}); }
  } unlock{path};
  files.Open();
  files.Play(QStringLiteral("kept.mp4"));
  files.Select(QStringLiteral("kept.mp4"));
  files.dialog->OnCommand(D::kIdDelete);
  EXPECT_EQ(files.messages, QStringList({"无法删除文件 kept.mp4"}));
  EXPECT_EQ(files.Names(), QStringList({"kept.mp4"}));
  EXPECT_TRUE(QFile::exists(path));
  EXPECT_NE(files.dialog->EntryOf(0), nullptr) << "the row keeps its data";
}

TEST(MediaFileDlg, InAndOutPointsTheTenSecondRuleAndRealClipsOfClips) {
  FileManager files;
  D& d = *files.dialog;
  files.Add(QStringLiteral("A.mp4"));
  files.Open();
  files.Play(QStringLiteral("A.mp4"));
  ASSERT_EQ(static_cast<int>(d.MediaDuration()), 45);
  EXPECT_EQ(d.OutSpin()->maximum(), 45);
  EXPECT_EQ(files.Selection(), std::make_pair(0.0, 0.0));
  EXPECT_EQ(d.Slider()->GetMinMax(), std::make_pair(0.0, d.MediaDuration()));

  // The out arrow moves the out point and leaves the player paused there.
  files.Step(d.OutSpin(), 19, 1);
  EXPECT_EQ(files.Selection(), std::make_pair(0.0, 20.0));
  EXPECT_TRUE(files.PausedAt(20.0));
  EXPECT_EQ(d.LengthLabel()->text(), QStringLiteral("选择长度：00分20秒"));
  // An in point at or after the out point moves the out point to the end.
  files.Step(d.InSpin(), 24, 1);
  EXPECT_EQ(files.Selection(), std::make_pair(25.0, d.MediaDuration()));
  EXPECT_EQ(d.OutSpin()->value(), 45);
  EXPECT_TRUE(files.PausedAt(25.0));
  // An out point at or before the in point moves the in point to 0.
  files.Step(d.OutSpin(), 11, -1);
  EXPECT_EQ(files.Selection(), std::make_pair(0.0, 10.0));
  EXPECT_EQ(d.InSpin()->value(), 0);
  EXPECT_EQ(d.LengthLabel()->text(), QStringLiteral("选择长度：00分10秒"));

  // Exactly ten seconds is refused.
  EXPECT_EQ(files.Cut(), QString()) << "no cut started";
  EXPECT_EQ(files.messages, QStringList({"无效的剪切范围，或者剪切时长过短！"}));

  // Both slider ends dragged at once: the player seeks to both and stays at the out point; the
  // counters follow.
  d.Slider()->SetRange(12.7, 40.2);
  emit d.Slider()->rangeChanged(1);
  EXPECT_EQ(d.InSpin()->value(), 12);
  EXPECT_EQ(d.OutSpin()->value(), 40);
  EXPECT_TRUE(files.PausedAt(40.0));
  // "从入点播放" plays from the in point.
  d.OnCommand(D::kIdPlayFromIn);
  EXPECT_TRUE(files.PlayingPast(12.7));
  EXPECT_LT(files.PlayerSeconds(), 30.0) << "from the in point, not the out point";

  // 12.7 … 40.2 is cut while the window is hidden; the clip is listed on top when it is done.
  d.OnCommand(D::kIdCut);
  EXPECT_FALSE(files.Button(D::kIdCut)->isEnabled()) << "one cut at a time";
  d.OnCommand(D::kIdCancel);
  ASSERT_FALSE(d.isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return files.Names().size() == 2; }, 30000))
      << d.TrimStatus()->text().toStdString();
  EXPECT_EQ(files.Names().first(), QStringLiteral("A剪辑12-40.mp4"));
  EXPECT_TRUE(d.TrimStatus()->text().startsWith(QStringLiteral("剪辑完成 ")))
      << d.TrimStatus()->text().toStdString();
  EXPECT_EQ(d.List()->GetItemText(0, 3), QStringLiteral("28秒"));

  // The clip is real: the streams are copied (same codecs, profile and size), and it lasts the
  // selection in whole seconds within one key-frame interval (1 s).
  const test::MediaStreams source = test::ProbeStreams(files.Folder() + "A.mp4");
  const test::MediaStreams clip = test::ProbeStreams(files.Folder() + "A剪辑12-40.mp4");
  EXPECT_EQ(clip.videoCodec, source.videoCodec);
  EXPECT_EQ(clip.videoProfile, source.videoProfile);
  EXPECT_EQ(clip.audioCodec, source.audioCodec);
  EXPECT_EQ(clip.width, source.width);
  EXPECT_EQ(clip.audioSampleRate, source.audioSampleRate);
  EXPECT_NEAR(clip.duration, 28.0, 1.1);

  // A clip of the clip, 10.5 seconds: accepted, named with a second suffix.
  files.Open();
  files.Play(QStringLiteral("A剪辑12-40.mp4"));
  d.Slider()->SetRange(0.0, 10.5);
  EXPECT_TRUE(files.Cut().startsWith(QStringLiteral("剪辑完成 ")));
  EXPECT_EQ(files.Names().first(), QStringLiteral("A剪辑12-40剪辑0-10.mp4"));
  EXPECT_NEAR(test::ProbeStreams(files.Folder() + "A剪辑12-40剪辑0-10.mp4").duration, 10.0, 1.1);
  // The clip is still loaded: 0 … 15 s of it.
  d.Slider()->SetRange(0.0, 15.0);
  files.Cut();
  EXPECT_EQ(files.Names().first(), QStringLiteral("A剪辑12-40剪辑0-15.mp4"));
  EXPECT_EQ(files.messages.size(), 1);
}

TEST(MediaFileDlg, ATenHourLessonTrimsAtItsEnd) {
  FileManager files;
  D& d = *files.dialog;
  // Ten hours of a small picture, one frame a second, each a key frame.
  ASSERT_TRUE(test::MakeVideo(files.Folder() + "long.mp4", 36000, "32x32", 1, 1, false));
  files.Open();
  EXPECT_EQ(d.List()->GetItemText(0, 3), QStringLiteral("600分0秒"));
  files.Play(QStringLiteral("long.mp4"));
  EXPECT_EQ(d.OutSpin()->maximum(), 36000) << "the counters cover the whole lesson";
  files.Step(d.OutSpin(), 35998, 1);
  files.Step(d.InSpin(), 35979, 1);
  EXPECT_EQ(files.Selection(), std::make_pair(35980.0, 35999.0));
  EXPECT_EQ(d.LengthLabel()->text(), QStringLiteral("选择长度：00分19秒"));
  EXPECT_TRUE(files.PausedAt(35980.0));
  EXPECT_TRUE(files.Cut().startsWith(QStringLiteral("剪辑完成 ")));
  EXPECT_EQ(files.Names().first(), QStringLiteral("long剪辑35980-35999.mp4"));
  EXPECT_NEAR(test::ProbeStreams(files.Folder() + "long剪辑35980-35999.mp4").duration, 19.0, 1.1);
}

TEST(MediaFileDlg, ASlowListShowsItsProgressAndTheWindowKeepsAnswering) {
  // Each new recording takes 150 ms to measure, as on a slow network share.
  D::Services services;
  auto measured = std::make_shared<std::atomic<int>>(0);
  services.probe = [measured](const QString& path) {
    ++*measured;
    QThread::msleep(150);
    return platform::ProbeMediaDuration(path);
  };
  FileManager files(services);
  for (int i = 0; i < 8; ++i)
    files.Add(QStringLiteral("2024030") + QString::number(i + 1) + QStringLiteral("080000m.mp4"),
              FilesEnvironment::Short());
  D& d = *files.dialog;
  d.show();
  d.RefreshFileList(files.dir.path());
  EXPECT_TRUE(d.IsListFilling());
  // Rows arrive while the rest is still being measured, the newest first, and a progress bar
  // tells the list is not complete yet.
  ASSERT_TRUE(QTest::qWaitFor([&] { return d.FillProgress()->isVisible(); }, 10000));
  EXPECT_EQ(d.FillProgress()->maximum(), 8);
  ASSERT_TRUE(QTest::qWaitFor([&] { return files.filled == 1; }, 30000));
  EXPECT_FALSE(d.FillProgress()->isVisible());
  EXPECT_EQ(files.Names().size(), 8);
  EXPECT_EQ(files.Names().first(), QStringLiteral("20240308080000m.mp4"));
  // Listed again, the side files answer: nothing is measured a second time.
  files.dialog->CloseGuard();
  files.Open();
  EXPECT_EQ(files.Names().size(), 8);
  EXPECT_EQ(measured->load(), 8);
}

}  // namespace
}  // namespace vortane
