#include "files/media_file_dlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "files/clip_trimmer.h"
#include "files/media_player_pane.h"
#include "files/range_slider.h"
#include "http/platform_account.h"
#include "platform/dialog_units.h"
#include "platform/media_duration.h"
#include "platform/program_info.h"
#include "platform/trash.h"
#include "platform/window_messages.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

const QColor kFailureColour(255, 0, 0);

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

// The picture every row shows: a strip of film.
QIcon RowIcon() {
  static const QIcon icon = [] {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.fillRect(QRect(1, 2, 14, 12), QColor(40, 70, 130));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int y = 3; y < 13; y += 3) {
      p.drawRect(2, y, 1, 1);
      p.drawRect(13, y, 1, 1);
    }
    p.drawPolygon(QPolygon({QPoint(6, 5), QPoint(11, 8), QPoint(6, 11)}));
    return QIcon(picture);
  }();
  return icon;
}

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

QString LengthText(double left, double right) {
  const int seconds = static_cast<int>(right - left);
  return QStringLiteral("选择长度：%1分%2秒")
      .arg(seconds / 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
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
  if (!services_.uploadTargets)
    services_.uploadTargets = [] { return UploadAccount().UploadTargets(); };
  library_ = std::make_unique<RecordingLibrary>(services_.probe);
  trimmer_ = std::make_unique<ClipTrimmer>();

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
  SetUpList();
  ConnectLibrary();
  ConnectTrimmer();

  uploads_ = std::make_unique<UploadQueue>(
      [this](const RecordingUploadPart& part) { return FilePathOf(part); },
      [this](const UploadReport& report) { OnUploadReport(report); }, services_.uploadLauncher);
  uploadTimer_ = new QTimer(this);
  uploadTimer_->setInterval(UploadQueue::kTickMs);
  connect(uploadTimer_, &QTimer::timeout, this, [this] { OnUploadTick(); });
  beginTargetEdit_ = [this](QWidget*& editor, int row, int column, QString& text, void* data,
                            ui::CListCtrlEx* list, int flag) {
    return BeginTargetEdit(editor, row, column, text, data, list, flag);
  };
  endTargetEdit_ = [this](QWidget*& editor, int row, int column, QString& text, void* data,
                          ui::CListCtrlEx* list, int flag) {
    return EndTargetEdit(editor, row, column, text, data, list, flag);
  };
}

CMediaFileDlg::~CMediaFileDlg() {
  // A running upload is told to stop; the queue waits for its job as it goes.
  uploads_->Stop();
  // The trimmer and the library stop their workers; the rows go with the list.
  trimmer_.reset();
  library_.reset();
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
  startUploadButton_->setEnabled(false);
  stopUploadButton_->setEnabled(false);

  // The progress of a list that takes a while to fill, over the foot of the list.
  fillProgress_ = new QProgressBar(this);
  const QRect listRect = list_->geometry();
  fillProgress_->setGeometry(listRect.left() + 8, listRect.bottom() - 30, 360, 22);
  fillProgress_->setFormat(QStringLiteral("正在读取录制文件… %v/%m"));
  fillProgress_->setTextVisible(true);
  fillProgress_->hide();
  progressDelay_ = new QTimer(this);
  progressDelay_->setSingleShot(true);
  connect(progressDelay_, &QTimer::timeout, this, [this] {
    if (IsListFilling()) fillProgress_->show();
  });

  slider_->SetMinMax(0, 100);
  slider_->SetRange(0, 100);
  slider_->SetVisualMinMax(0, 100);
  slider_->SetVisualMode(true);
  connect(slider_, &CRangeSlider::rangeChanged, this, [this] { OnRangeChanged(); });
  inCounter->onStep = [this] { OnCounterStep(true); };
  outCounter->onStep = [this] { OnCounterStep(false); };
  connect(player_, &MediaPlayerPane::positionChanged, this, [this](double seconds) {
    if (playerTraced_ || seconds < 1.0) return;
    playerTraced_ = true;
    Trace(QStringLiteral("files player at %1 s").arg(static_cast<int>(seconds)));
  });
}

void CMediaFileDlg::SetUpList() {
  struct Column {
    const char* title;
    Qt::Alignment alignment;
    int width;
  };
  const Column columns[] = {{"文件", Qt::AlignLeft, 280}, {"录制时间", Qt::AlignLeft, 180},
                            {"大小", Qt::AlignRight, 80}, {"时长", Qt::AlignRight, 80},
                            {"状态", Qt::AlignLeft, 120}, {"上传位置", Qt::AlignLeft, 280}};
  int index = 0;
  for (const Column& column : columns)
    list_->InsertColumn(index++, QString::fromUtf8(column.title), column.alignment,
                        static_cast<int>(std::lround(column.width * scale_)));
  list_->SetGridLines(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setIconSize(QSize(16, 16));
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { PlaySelected(); });
}

void CMediaFileDlg::ConnectLibrary() {
  connect(library_.get(), &RecordingLibrary::listCleared, this, [this] {
    ClearRows();
    fillProgress_->hide();
    fillProgress_->setRange(0, 0);
    progressDelay_->start(kProgressDelayMs);
  });
  connect(library_.get(), &RecordingLibrary::scanStarted, this, [this](bool searched, int total) {
    // The next play command loads its file again.
    if (searched) currentMediaPath_.clear();
    fillProgress_->setRange(0, total);
  });
  connect(library_.get(), &RecordingLibrary::recordingsListed, this,
          [this](const QList<ListedRecording>& rows) {
            list_->setUpdatesEnabled(false);
            for (const ListedRecording& row : rows)
              AddRow(list_->GetItemCount(), row);
            list_->setUpdatesEnabled(true);
          });
  connect(library_.get(), &RecordingLibrary::scanProgress, this,
          [this](int done, int total) { ShowFillProgress(done, total); });
  connect(library_.get(), &RecordingLibrary::scanFinished, this, [this](bool searched) {
    progressDelay_->stop();
    fillProgress_->hide();
    Trace(searched ? QStringLiteral("files listed %1").arg(list_->GetItemCount())
                   : QStringLiteral("files folder cannot be read"));
    TraceRows();
    emit listFilled();
  });
  connect(library_.get(), &RecordingLibrary::recordingAdded, this,
          [this](const ListedRecording& row) {
            AddRow(0, row);
            Trace(QStringLiteral("files added %1").arg(row.fileName));
            TraceRows();
          });
}

void CMediaFileDlg::ConnectTrimmer() {
  connect(trimmer_.get(), &ClipTrimmer::statusChanged, this, &CMediaFileDlg::ShowTrimStatus);
  connect(trimmer_.get(), &ClipTrimmer::cuttingChanged, this,
          [this](bool cutting) { cutButton_->setEnabled(!cutting); });
  connect(trimmer_.get(), &ClipTrimmer::clipFinished, this,
          [this](const QString& path) { library_->AddFileToList(path); });
}

// --- The list -------------------------------------------------------------------------------

void CMediaFileDlg::RefreshFileList(const QString& folder) {
  library_->RefreshFileList(folder);
}

void CMediaFileDlg::AddFileToList(const QString& nameOrPath) {
  library_->AddFileToList(nameOrPath);
}

bool CMediaFileDlg::IsListFilling() const {
  return library_->IsBusy();
}

RecordingEntry* CMediaFileDlg::EntryOf(int row) const {
  return static_cast<RecordingEntry*>(list_->GetItemUserData(row));
}

void CMediaFileDlg::ClearRows() {
  list_->EndEdit(0);
  for (int row = list_->GetItemCount() - 1; row >= 0; --row) {
    ForgetEntry(EntryOf(row));
    list_->DeleteItemUserData(row);
  }
  entries_.clear();
  list_->DeleteAllItems();
}

void CMediaFileDlg::AddRow(int at, const ListedRecording& recording) {
  const QStringList texts = RecordingRowTexts(recording);
  const int row = list_->InsertItem(at, texts[0]);
  for (int column = 1; column < texts.size(); ++column)
    list_->SetItemText(row, column, texts[column]);
  list_->topLevelItem(row)->setIcon(0, RowIcon());
  auto entry = std::make_unique<RecordingEntry>(recording.entry);
  list_->SetItemUserData(row, entry.get());
  entries_.emplace(entry.get(), std::move(entry));
}

void CMediaFileDlg::ShowFillProgress(int done, int total) {
  fillProgress_->setRange(0, total);
  fillProgress_->setValue(done);
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
      FullScreen();
      break;
    case kIdDelete:
      DeleteSelected();
      break;
    case kIdOpenFolder:
      OpenFolder();
      break;
    case kIdInPoint:
    case kIdOutPoint:
      MarkPoint(id == kIdInPoint);
      break;
    case kIdPlayFromIn:
    case kIdPlayFromOut:
      PlayFromPoint(id == kIdPlayFromIn);
      break;
    case kIdCut:
      StartCut();
      break;
    case kIdStartUpload:
      if (uploads_->Start()) {
        uploadTimer_->start();
        Trace(QStringLiteral("files upload queue on"));
      }
      UpdateUploadButtons();
      break;
    case kIdStopUpload:
      uploadTimer_->stop();
      uploads_->Stop();
      Trace(QStringLiteral("files upload queue off"));
      UpdateUploadButtons();
      break;
    default:
      break;
  }
}

void CMediaFileDlg::PlaySelected() {
  const int row = list_->GetFirstSelectedItem();
  if (row < 0) {
    mediaDuration_ = 0;
    return;
  }
  const QString name = list_->GetItemText(row, 0);
  nameLabel_->setText(name);
  const QString path = library_->Folder() + name;
  if (path == currentMediaPath_) {
    player_->Play();
    Trace(QStringLiteral("files resumed %1").arg(name));
    return;
  }
  // The length is read on a worker: a file on a slow disk must not freeze the window.
  const int request = ++playRequest_;
  auto promise = std::make_shared<QPromise<double>>();
  auto* watcher = new QFutureWatcher<double>(this);
  connect(watcher, &QFutureWatcher<double>::finished, this, [this, watcher, request, path] {
    const QFuture<double> future = watcher->future();
    const double duration = future.resultCount() > 0 ? future.result() : -1.0;
    watcher->deleteLater();
    if (request == playRequest_) LoadMedia(path, duration);
  });
  watcher->setFuture(promise->future());
  promise->start();
  QThreadPool::globalInstance()->start([promise, probe = services_.probe, path] {
    promise->addResult(probe(path));
    promise->finish();
  });
}

void CMediaFileDlg::LoadMedia(const QString& path, double duration) {
  const QString name = QFileInfo(path).fileName();
  if (!(duration > 0)) {
    // Nothing is loaded; the player keeps what it had.
    mediaDuration_ = 0;
    ShowTrimStatus(QStringLiteral("无法播放 %1：不是可以播放的视频文件").arg(name), true);
    emit mediaLoaded(QString());
    return;
  }
  mediaDuration_ = duration;
  const int wholeSeconds = static_cast<int>(duration);
  for (QSpinBox* counter : {inSpin_, outSpin_}) {
    counter->setRange(0, wholeSeconds);
    counter->setValue(0);
  }
  slider_->SetMinMax(0, duration);
  slider_->SetRange(0, 0);
  slider_->SetVisualMinMax(0, duration);
  slider_->SetVisualMode(true);
  player_->SetUrl(path);
  currentMediaPath_ = path;
  playerTraced_ = false;
  trimStatus_->clear();
  Trace(QStringLiteral("files playing %1 (%2 s)").arg(name).arg(duration, 0, 'f', 2));
  emit mediaLoaded(path);
}

void CMediaFileDlg::FullScreen() {
  if (player_->PlayState() == MediaPlayerPane::kPlaying) player_->SetFullScreen(true);
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
  int current = row;
  if (entry != nullptr) {
    current = -1;
    for (int r = 0; r < list_->GetItemCount(); ++r)
      if (EntryOf(r) == entry) current = r;
    if (current < 0) return;
  }
  const QString path = library_->Folder() + name;
  if (path == currentMediaPath_) {
    player_->Unload();
    currentMediaPath_.clear();
  }
  // A file that is still there after a failed delete keeps its row: the lesson is not lost from
  // sight. The side file stays either way.
  if (!platform::MoveToTrashOrRemove(path) && QFileInfo::exists(path)) {
    Trace(QStringLiteral("files message: 无法删除文件 %1").arg(name));
    services_.showMessage(this, QStringLiteral("无法删除文件 ") + name);
    return;
  }
  Trace(QStringLiteral("files deleted %1").arg(name));
  list_->EndEdit(0);
  ForgetEntry(entry);
  list_->DeleteItemUserData(current);
  entries_.erase(entry);
  list_->DeleteItem(current);
}

void CMediaFileDlg::OpenFolder() {
  if (!services_.openFolder(library_->Folder()))
    services_.showMessage(this, QStringLiteral("无法打开目录 ") + library_->Folder());
  CloseGuard();
}

bool CMediaFileDlg::CloseGuard() {
  if (uploads_->UploadBusy()) {
    Trace(QStringLiteral("files message: 有上传任务，不能退出本界面"));
    services_.showMessage(this, QStringLiteral("有上传任务，不能退出本界面"));
    return false;
  }
  if (uploads_->AutoUpload()) OnCommand(kIdStopUpload);
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
  trimmer_->Abort();
  uploadTimer_->stop();
  uploads_->Stop();
  player_->Unload();
  hide();
}

void CMediaFileDlg::ShowUploadDestinations(bool loaded) {
  const bool editor = loaded && (beginTargetEdit_ || endTargetEdit_);
  if (editor) FillUploadTargets();
  if (editor)
    list_->SetColumnEditor(kTargetColumn, beginTargetEdit_, endTargetEdit_, targetCombo_);
  else
    list_->SetColumnEditor(kTargetColumn, nullptr, nullptr, nullptr);
  destinationsLoaded_ = editor;
  if (uploads_->AutoUpload() || uploads_->UploadBusy()) {
    // A logout does not take away the stop of what runs: closing waits for it.
    UpdateUploadButtons();
    return;
  }
  startUploadButton_->setEnabled(editor);
  stopUploadButton_->setEnabled(editor);
}

void CMediaFileDlg::SetTargetEditCallbacks(ui::CListCtrlEx::EditCallback begin,
                                           ui::CListCtrlEx::EditCallback end) {
  beginTargetEdit_ = std::move(begin);
  endTargetEdit_ = std::move(end);
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

// --- Uploads --------------------------------------------------------------------------------

void CMediaFileDlg::FillUploadTargets() {
  if (list_->IsEditing() && list_->EditColumn() == kTargetColumn) list_->EndEdit(0);
  destinations_ = DestinationEntries(services_.uploadTargets());
  targetCombo_->clear();
  for (const DestinationEntry& entry : destinations_)
    targetCombo_->addItem(entry.text);
}

int CMediaFileDlg::BeginTargetEdit(QWidget*& editor, int, int column, QString& text, void*,
                                   ui::CListCtrlEx*, int) {
  if (column != kTargetColumn) return 1;
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    const int entry = EntryForCellText(destinations_, text);
    if (entry >= 0) combo->setCurrentIndex(entry);
  }
  return 1;
}

int CMediaFileDlg::EndTargetEdit(QWidget*& editor, int, int column, QString& text, void* userData,
                                 ui::CListCtrlEx*, int) {
  if (column != kTargetColumn) return 1;
  auto* entry = static_cast<RecordingEntry*>(userData);
  auto* combo = qobject_cast<QComboBox*>(editor);
  if (entry == nullptr || combo == nullptr) return 1;
  const int chosen = combo->currentIndex();
  const DestinationChoice choice = ChooseDestination(*entry, destinations_, chosen);
  if (choice == DestinationChoice::kUnchanged) return 1;
  text = destinations_[chosen].text;
  Trace(QStringLiteral("files destination %1: %2").arg(text.trimmed()).arg(int(choice)));
  if (choice == DestinationChoice::kInvalid) {
    // Not from inside the edit's own event: the box runs after the edit has ended.
    QTimer::singleShot(0, this, [this] {
      const QString message = QStringLiteral("请选择一个有效的课时！");
      Trace(QStringLiteral("files message: ") + message);
      services_.showMessage(this, message);
    });
  }
  return 1;
}

void CMediaFileDlg::UpdateUploadButtons() {
  const UploadQueue::Buttons buttons = uploads_->UploadButtons(destinationsLoaded_);
  startUploadButton_->setEnabled(buttons.startEnabled);
  stopUploadButton_->setEnabled(buttons.stopEnabled);
  stopUploadButton_->setText(buttons.stopText);
}

void CMediaFileDlg::AppendUploadLog(const QString& text) {
  // The box keeps the latest lines; older ones fall off its foot.
  constexpr int kKeptLines = 500;
  QStringList lines = uploadLog_->toPlainText().split(QLatin1Char('\n'));
  if (lines.size() >= kKeptLines) lines = lines.mid(0, kKeptLines - 1);
  uploadLog_->setPlainText(text + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
  Trace(QStringLiteral("files upload log: ") + text);
}

std::vector<RecordingUploadPart*> CMediaFileDlg::UploadRows() const {
  std::vector<RecordingUploadPart*> rows;
  rows.reserve(size_t(list_->GetItemCount()));
  for (int row = 0; row < list_->GetItemCount(); ++row)
    rows.push_back(EntryOf(row));
  return rows;
}

QString CMediaFileDlg::FilePathOf(const RecordingUploadPart& part) const {
  // The name as the list shows it: a path converted to GBK would lose characters outside it.
  for (int row = 0; row < list_->GetItemCount(); ++row)
    if (EntryOf(row) == &part) return library_->Folder() + list_->GetItemText(row, 0);
  return QString();
}

void CMediaFileDlg::OnUploadTick() {
  const int row = uploads_->Tick(UploadRows());
  if (row < 0) return;
  list_->SetItemText(row, 4, QStringLiteral("准备上传..."));
  Trace(QStringLiteral("files upload start %1").arg(list_->GetItemText(row, 0)));
  UpdateUploadButtons();
}

void CMediaFileDlg::OnUploadReport(const UploadReport& report) {
  const UploadQueue::StatusView view = uploads_->OnJobStatus(UploadRows(), report);
  for (const QString& line : view.logLines)
    AppendUploadLog(line);
  if (view.row >= 0 && !view.cellText.isNull()) {
    list_->SetItemText(view.row, 4, view.cellText);
    Trace(QStringLiteral("files upload %1: %2").arg(view.row).arg(view.cellText));
  }
  if (view.saveSideFile && view.row >= 0) {
    RecordingEntry* entry = EntryOf(view.row);
    if (entry != nullptr && !library_->SaveItemMeta(list_->GetItemText(view.row, 0), *entry))
      AppendUploadLog(
          QStringLiteral("无法保存 %1 的上传记录").arg(list_->GetItemText(view.row, 0)));
    TraceRows();
  }
  if (view.buttonsChanged) UpdateUploadButtons();
}

void CMediaFileDlg::ForgetEntry(const RecordingEntry* entry) {
  if (entry != nullptr) uploads_->ForgetRow(entry);
}

// --- Clip trimming --------------------------------------------------------------------------

void CMediaFileDlg::SeekAndShowLength(int seconds) {
  // Paused at the point, whatever the player did before.
  player_->PauseAt(seconds);
  const auto [left, right] = slider_->GetRange();
  lengthLabel_->setText(LengthText(left, right));
}

void CMediaFileDlg::UpdateInOut(int in, int out) {
  auto [left, right] = slider_->GetRange();
  if (in >= 0 && in < mediaDuration_) {
    if (right <= in) {
      outSpin_->setValue(static_cast<int>(mediaDuration_));
      right = mediaDuration_;
    }
    slider_->SetRange(in, right);
  } else if (out > 0) {
    if (left >= out) {
      inSpin_->setValue(0);
      left = 0;
    }
    slider_->SetRange(left, out);
  }
}

void CMediaFileDlg::MarkPoint(bool in) {
  if (player_->PlayState() <= MediaPlayerPane::kUndefined) return;
  const int seconds = static_cast<int>(player_->CurrentPosition());
  (in ? inSpin_ : outSpin_)->setValue(seconds);
  UpdateInOut(in ? seconds : -1, in ? -1 : seconds);
}

void CMediaFileDlg::OnCounterStep(bool in) {
  const int seconds = (in ? inSpin_ : outSpin_)->value();
  UpdateInOut(in ? seconds : -1, in ? -1 : seconds);
  SeekAndShowLength(seconds);
}

void CMediaFileDlg::OnRangeChanged() {
  const auto [left, right] = slider_->GetRange();
  if (left != lastLeft_) {
    SeekAndShowLength(static_cast<int>(left));
    inSpin_->setValue(static_cast<int>(left));
    lastLeft_ = left;
  }
  if (right != lastRight_) {
    SeekAndShowLength(static_cast<int>(right));
    outSpin_->setValue(static_cast<int>(right));
    lastRight_ = right;
  }
}

void CMediaFileDlg::PlayFromPoint(bool in) {
  if (player_->PlayState() <= MediaPlayerPane::kUndefined) return;
  const auto [left, right] = slider_->GetRange();
  player_->SetCurrentPosition(in ? left : right);
  player_->Play();
}

void CMediaFileDlg::StartCut() {
  const auto [left, right] = slider_->GetRange();
  if (trimmer_->Start(currentMediaPath_, left, right) == ClipTrimmer::StartResult::kInvalidRange) {
    const QString text = QStringLiteral("无效的剪切范围，或者剪切时长过短！");
    Trace(QStringLiteral("files message: ") + text);
    services_.showMessage(this, text);
  }
}

void CMediaFileDlg::ShowTrimStatus(const QString& text, bool failed) {
  trimStatus_->setText(text);
  trimStatus_->setToolTip(failed ? text : QString());
  QPalette palette = this->palette();
  if (failed) palette.setColor(QPalette::WindowText, kFailureColour);
  trimStatus_->setPalette(palette);
  Trace(QStringLiteral("files status%1 %2").arg(failed ? "!" : ":", text));
}

// --- Tracing --------------------------------------------------------------------------------

void CMediaFileDlg::TraceRows() {
  if (!services_.trace) return;
  // The first rows, where they are on the screen and what they show.
  for (int row = 0; row < std::min(list_->GetItemCount(), 3); ++row) {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    const QRect rect = list_->visualItemRect(item);
    const QPoint at = list_->viewport()->mapToGlobal(rect.topLeft());
    QStringList texts;
    for (int column = 0; column < list_->GetColumnCount(); ++column)
      texts << list_->GetItemText(row, column);
    Trace(QStringLiteral("files row %1 at %2,%3 %4x%5: %6")
              .arg(row)
              .arg(at.x())
              .arg(at.y())
              .arg(rect.width())
              .arg(rect.height())
              .arg(texts.join(QStringLiteral(" | "))));
  }
}

void CMediaFileDlg::Trace(const QString& text) const {
  if (services_.trace) services_.trace(text);
}

}  // namespace vortane
