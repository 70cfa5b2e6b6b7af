#include "files/media_file_dlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <algorithm>

#include "files/clip_cut_pane.h"
#include "files/clip_trimmer.h"
#include "files/media_player_pane.h"
#include "files/range_slider.h"
#include "files/recording_browser.h"
#include "files/recording_playback.h"
#include "platform/dialog_units.h"
#include "platform/media_duration.h"
#include "platform/program_info.h"
#include "platform/trash.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

// A second counter: an edit with its up-down arrows. Only the arrows act (a typed number takes
// effect with the next arrow press, which starts from it).
class SecondCounter : public QSpinBox {
 public:
  SecondCounter(int editId, QWidget* parent) : QSpinBox(parent) {
    lineEdit()->setObjectName(QString::number(editId));
    setRange(0, 0);
    setAlignment(Qt::AlignRight);
  }
  std::function<void()> onStep;

  void stepBy(int steps) override {
    QSpinBox::stepBy(steps);
    if (onStep) onStep();
  }
};

void ShowMessageBox(QWidget* owner, const QString& text) {
  QMessageBox::information(owner, ProgramTitle(), text);
}

bool AskYesNoBox(QWidget* owner, const QString& text) {
  return QMessageBox::question(owner, ProgramTitle(), text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

// The desktop's file manager shows the folder; false when it could not be asked to.
bool OpenFolderWithDesktop(const QString& folder) {
  return QProcess::startDetached(QStringLiteral("xdg-open"), {folder});
}

}  // namespace

CMediaFileDlg::CMediaFileDlg(Services services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(std::move(services)) {
  if (!services_.showMessage) services_.showMessage = ShowMessageBox;
  if (!services_.askYesNo) services_.askYesNo = AskYesNoBox;
  if (!services_.openFolder) services_.openFolder = OpenFolderWithDesktop;
  if (!services_.probe) services_.probe = &platform::ProbeMediaDuration;

  setWindowTitle(QStringLiteral("文件管理"));
  setModal(false);
  const QSize designed = DialogUnitsToPixels(QSize(603, 439));
  if (QScreen* screen = QGuiApplication::primaryScreen())
    scale_ = FittingScale(designed, screen->availableGeometry());
  QFont font(ui::MapFontFace(QStringLiteral("宋体")));
  font.setPointSizeF(std::max(7.0, 10.0 * scale_));
  setFont(font);
  setFixedSize(ScaledRect(QRect(QPoint(0, 0), designed), scale_).size());
  BuildControls();
  ConnectParts();
}

CMediaFileDlg::~CMediaFileDlg() {
  // A running upload is told to stop; the queue waits for its job as it goes.
  if (uploads_.shutDown) uploads_.shutDown();
  // The trimmer and the library stop their workers before the controls go; the rows go with
  // the list.
  cut_.reset();
  playback_.reset();
  browser_.reset();
}

// --- Controls -------------------------------------------------------------------------------

void CMediaFileDlg::BuildControls() {
  const auto place = [this](QWidget* widget, int id, const QRect& dialogUnits) {
    if (id != 0) widget->setObjectName(QString::number(id));
    widget->setGeometry(ScaledRect(DialogUnitsToPixels(dialogUnits), scale_));
    return widget;
  };
  const auto button = [this, &place](int id, const char* text, const QRect& dialogUnits) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    place(b, id, dialogUnits);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    return b;
  };
  const auto label = [this, &place](int id, const char* text, const QRect& dialogUnits) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    place(l, id, dialogUnits);
    return l;
  };

  // The group box first: the controls inside it lie above it.
  place(new QGroupBox(QStringLiteral("剪辑"), this), 0, QRect(372, 226, 221, 144));

  list_ = new ui::CListCtrlEx(this);
  place(list_, kIdList, QRect(0, 0, 602, 186));
  player_ = new MediaPlayerPane(this);
  place(player_, kIdPlayer, QRect(0, 188, 352, 250));

  playButton_ = button(kIdPlay, "播放", QRect(369, 188, 38, 22));
  playButton_->setDefault(true);
  fullScreenButton_ = button(kIdFullScreen, "全屏", QRect(407, 188, 38, 22));
  deleteButton_ = button(kIdDelete, "删除", QRect(449, 188, 38, 22));
  startUploadButton_ = button(kIdStartUpload, "开始上传", QRect(503, 188, 44, 22));
  stopUploadButton_ = button(kIdStopUpload, "停止上传", QRect(549, 188, 44, 22));
  button(kIdCancel, "Cancel", QRect(477, 217, 27, 14))->hide();
  button(kIdOpenFolder, "打开目录", QRect(509, 216, 36, 17))->hide();
  targetCombo_ = new QComboBox(this);
  place(targetCombo_, kIdTargetCombo, QRect(371, 218, 98, 62));
  targetCombo_->setFixedHeight(
      ScaledRect(DialogUnitsToPixels(QRect(0, 0, 98, 12)), scale_).height());
  targetCombo_->hide();

  nameLabel_ = label(kIdName, ".", QRect(381, 244, 198, 9));
  slider_ = new CRangeSlider(kIdSlider, this);
  place(slider_, kIdSlider, QRect(376, 260, 210, 12));
  lengthLabel_ = label(kIdLength, "0:00", QRect(381, 277, 117, 9));

  button(kIdInPoint, "入点", QRect(380, 292, 26, 14));
  auto* inCounter = new SecondCounter(kIdInEdit, this);
  inSpin_ = inCounter;
  place(inSpin_, kIdInSpin, QRect(407, 291, 58, 17));
  label(0, "秒", QRect(468, 296, 25, 8));
  button(kIdPlayFromIn, "从入点播放", QRect(483, 292, 47, 14));

  button(kIdOutPoint, "出点", QRect(380, 317, 26, 14));
  auto* outCounter = new SecondCounter(kIdOutEdit, this);
  outSpin_ = outCounter;
  place(outSpin_, kIdOutSpin, QRect(407, 317, 58, 17));
  label(0, "秒", QRect(468, 322, 25, 8));
  button(kIdPlayFromOut, "从出点播放", QRect(483, 319, 47, 14));

  label(0, "出点：", QRect(543, 295, 26, 8))->hide();
  label(0, "入点：", QRect(544, 321, 25, 8))->hide();

  cutButton_ = button(kIdCut, "开始剪辑", QRect(381, 341, 40, 20));
  trimStatus_ = label(kIdTrimStatus, " ...", QRect(433, 345, 137, 12));

  uploadLog_ = new QPlainTextEdit(this);
  place(uploadLog_, kIdUploadLog, QRect(372, 376, 220, 61));
  uploadLog_->setReadOnly(true);
  // Off until an upload part is attached and the destinations are loaded.
  startUploadButton_->setEnabled(false);
  stopUploadButton_->setEnabled(false);

  // The progress of a list that takes a while to fill, over the foot of the list.
  fillProgress_ = new QProgressBar(this);
  const QRect listRect = list_->geometry();
  fillProgress_->setGeometry(listRect.left() + 8, listRect.bottom() - 30, 360, 22);
  fillProgress_->setFormat(QStringLiteral("正在读取录制文件… %v/%m"));
  fillProgress_->setTextVisible(true);
  fillProgress_->hide();
  inCounter->onStep = [this] { cut_->OnCounterStep(true); };
  outCounter->onStep = [this] { cut_->OnCounterStep(false); };
}

void CMediaFileDlg::ConnectParts() {
  const auto trace = [this](const QString& text) { Trace(text); };
  browser_ =
      std::make_unique<RecordingBrowser>(*list_, *fillProgress_, scale_, services_.probe, trace);
  playback_ = std::make_unique<RecordingPlayback>(*player_, services_.probe, trace);
  cut_ =
      std::make_unique<ClipCutPane>(*this,
                                    ClipCutPane::Controls{slider_, inSpin_, outSpin_, lengthLabel_,
                                                          trimStatus_, cutButton_, player_},
                                    services_.showMessage, trace);

  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { PlaySelected(); });
  connect(browser_.get(), &RecordingBrowser::listFilled, this, &CMediaFileDlg::listFilled);
  // The next play command loads its file again.
  connect(browser_.get(), &RecordingBrowser::refreshStarted, this, [this](bool searched) {
    if (searched) playback_->Forget();
  });
  connect(browser_.get(), &RecordingBrowser::entryGoing, this, [this](const RecordingEntry* entry) {
    if (entry != nullptr && uploads_.forget) uploads_.forget(entry);
  });
  connect(playback_.get(), &RecordingPlayback::loaded, this,
          [this](const QString& path, double duration) {
            cut_->Load(duration);
            emit mediaLoaded(path);
          });
  connect(playback_.get(), &RecordingPlayback::refused, this, [this](const QString& path) {
    // Nothing is loaded; the player keeps what it had.
    cut_->Unload();
    cut_->ShowStatus(
        QStringLiteral("无法播放 %1：不是可以播放的视频文件").arg(QFileInfo(path).fileName()),
        true);
    emit mediaLoaded(QString());
  });
  connect(cut_.get(), &ClipCutPane::clipFinished, this,
          [this](const QString& path) { browser_->Add(path); });
}

// --- The list -------------------------------------------------------------------------------

void CMediaFileDlg::RefreshFileList(const QString& folder) {
  browser_->Refresh(folder);
}

void CMediaFileDlg::AddFileToList(const QString& nameOrPath) {
  browser_->Add(nameOrPath);
}

bool CMediaFileDlg::IsListFilling() const {
  return browser_->IsFilling();
}

QString CMediaFileDlg::RecordingFolder() const {
  return browser_->Folder();
}

RecordingEntry* CMediaFileDlg::EntryOf(int row) const {
  return browser_->EntryOf(row);
}

RecordingLibrary& CMediaFileDlg::Library() const {
  return browser_->Library();
}

QString CMediaFileDlg::CurrentMediaPath() const {
  return playback_->CurrentPath();
}

double CMediaFileDlg::MediaDuration() const {
  return playback_->Duration();
}

ClipTrimmer& CMediaFileDlg::Trimmer() const {
  return cut_->Trimmer();
}

bool CMediaFileDlg::SaveRowSideFile(int row) {
  return browser_->SaveSideFile(row);
}

void CMediaFileDlg::TraceRows() {
  if (services_.trace) browser_->TraceRows();
}

// --- Commands -------------------------------------------------------------------------------

void CMediaFileDlg::OnCommand(int id) {
  switch (id) {
    case kIdPlay:
      PlaySelected();
      break;
    case kIdCancel:
      CloseGuard();
      break;
    case kIdFullScreen:
      playback_->FullScreen();
      break;
    case kIdDelete:
      DeleteSelected();
      break;
    case kIdOpenFolder:
      OpenFolder();
      break;
    case kIdInPoint:
    case kIdOutPoint:
      cut_->MarkPoint(id == kIdInPoint);
      break;
    case kIdPlayFromIn:
    case kIdPlayFromOut:
      cut_->PlayFromPoint(id == kIdPlayFromIn);
      break;
    case kIdCut:
      cut_->Cut(playback_->CurrentPath());
      break;
    case kIdStartUpload:
    case kIdStopUpload:
      if (uploads_.switchQueue) uploads_.switchQueue(id == kIdStartUpload);
      break;
    default:
      break;
  }
}

void CMediaFileDlg::PlaySelected() {
  const int row = list_->GetFirstSelectedItem();
  if (row < 0) {
    playback_->ClearDuration();
    return;
  }
  const QString name = list_->GetItemText(row, 0);
  nameLabel_->setText(name);
  playback_->Play(browser_->Folder() + name);
}

void CMediaFileDlg::SeekAndShowLength(int seconds) {
  cut_->SeekAndShowLength(seconds);
}

void CMediaFileDlg::UpdateInOut(int in, int out) {
  cut_->UpdateInOut(in, out);
}

void CMediaFileDlg::DeleteSelected() {
  const int row = list_->GetFirstSelectedItem();
  if (row < 0) return;
  RecordingEntry* entry = EntryOf(row);
  // An upload of it is starting or running.
  if (entry != nullptr && (entry->uploadState == 1 || entry->uploadState == 2)) return;
  const QString name = list_->GetItemText(row, 0);
  if (!services_.askYesNo(this, QStringLiteral("要删除文件 ") + name + QStringLiteral(" 吗？")))
    return;
  // While the question was up a clip may have been added at the top: find the row again.
  const int current = entry != nullptr ? browser_->RowOf(entry) : row;
  if (current < 0) return;
  const QString path = browser_->Folder() + name;
  playback_->Release(path);
  // A file that is still there after a failed delete keeps its row: the lesson is not lost from
  // sight. The side file stays either way.
  if (!platform::MoveToTrashOrRemove(path) && QFileInfo::exists(path)) {
    Trace(QStringLiteral("files message: 无法删除文件 %1").arg(name));
    services_.showMessage(this, QStringLiteral("无法删除文件 ") + name);
    return;
  }
  Trace(QStringLiteral("files deleted %1").arg(name));
  browser_->RemoveRow(current);
}

void CMediaFileDlg::OpenFolder() {
  if (!services_.openFolder(browser_->Folder()))
    services_.showMessage(this, QStringLiteral("无法打开目录 ") + browser_->Folder());
  CloseGuard();
}

bool CMediaFileDlg::CloseGuard() {
  if (uploads_.busy && uploads_.busy()) {
    Trace(QStringLiteral("files message: 有上传任务，不能退出本界面"));
    services_.showMessage(this, QStringLiteral("有上传任务，不能退出本界面"));
    return false;
  }
  if (uploads_.queueOn && uploads_.queueOn()) OnCommand(kIdStopUpload);
  player_->SetFullScreen(false);
  player_->Stop();
  hide();
  Trace(QStringLiteral("files hidden"));
  return true;
}

void CMediaFileDlg::HideForRecording() {
  player_->SetFullScreen(false);
  player_->Stop();
  hide();
  Trace(QStringLiteral("files hidden for recording"));
}

void CMediaFileDlg::ShutDown() {
  // A question or message still open is closed (a question as "no"), so its loop returns before
  // the window goes.
  for (QMessageBox* box : findChildren<QMessageBox*>())
    box->reject();
  cut_->Trimmer().Abort();
  if (uploads_.shutDown) uploads_.shutDown();
  player_->Unload();
  hide();
}

void CMediaFileDlg::SetUploads(UploadHooks hooks) {
  uploads_ = std::move(hooks);
}

void CMediaFileDlg::ShowUploadDestinations(bool loaded) {
  if (uploads_.showDestinations) uploads_.showDestinations(loaded);
}

void CMediaFileDlg::reject() {
  // Esc brings a full-screen picture back first.
  if (player_->IsFullScreen()) {
    player_->SetFullScreen(false);
    return;
  }
  OnCommand(kIdCancel);
}

void CMediaFileDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  OnCommand(kIdCancel);
}

void CMediaFileDlg::Trace(const QString& text) const {
  if (services_.trace) services_.trace(text);
}

}  // namespace vortane
