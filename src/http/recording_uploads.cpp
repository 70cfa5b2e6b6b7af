#include "http/recording_uploads.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "http/platform_account.h"

namespace vortane {

RecordingUploads::RecordingUploads(QWidget& window, Controls controls, Hooks hooks)
    : QObject(&window), window_(window), controls_(controls), hooks_(std::move(hooks)) {
  if (!hooks_.targets) hooks_.targets = [] { return UploadAccount().UploadTargets(); };
  queue_ = std::make_unique<UploadQueue>(
      [this](const RecordingUploadPart& part) { return FilePathOf(part); },
      [this](const UploadReport& report) { OnReport(report); }, hooks_.launcher);
  timer_ = new QTimer(this);
  timer_->setInterval(UploadQueue::kTickMs);
  connect(timer_, &QTimer::timeout, this, [this] { OnTick(); });
  beginEdit_ = [this](QWidget*& editor, int, int column, QString& text, void*, ui::CListCtrlEx*,
                      int) { return BeginTargetEdit(editor, column, text); };
  endEdit_ = [this](QWidget*& editor, int, int column, QString& text, void* data, ui::CListCtrlEx*,
                    int) { return EndTargetEdit(editor, column, text, data); };
  controls_.start->setEnabled(false);
  controls_.stop->setEnabled(false);
}

RecordingUploads::~RecordingUploads() {
  // A running upload is told to stop; the queue waits for its job as it goes.
  queue_->Stop();
}

void RecordingUploads::Trace(const QString& text) const {
  if (hooks_.trace) hooks_.trace(text);
}

void RecordingUploads::StartQueue() {
  if (queue_->Start()) {
    timer_->start();
    Trace(QStringLiteral("files upload queue on"));
  }
  UpdateButtons();
}

void RecordingUploads::StopQueue() {
  timer_->stop();
  queue_->Stop();
  Trace(QStringLiteral("files upload queue off"));
  UpdateButtons();
}

void RecordingUploads::ShutDown() {
  timer_->stop();
  queue_->Stop();
}

void RecordingUploads::ShowDestinations(bool loaded) {
  const bool editor = loaded && (beginEdit_ || endEdit_);
  if (editor) FillTargets();
  if (editor)
    controls_.list->SetColumnEditor(kTargetColumn, beginEdit_, endEdit_, controls_.targets);
  else
    controls_.list->SetColumnEditor(kTargetColumn, nullptr, nullptr, nullptr);
  destinationsLoaded_ = editor;
  if (queue_->AutoUpload() || queue_->UploadBusy()) {
    // A logout does not take away the stop of what runs: closing waits for it.
    UpdateButtons();
    return;
  }
  controls_.start->setEnabled(editor);
  controls_.stop->setEnabled(editor);
}

void RecordingUploads::SetTargetEditCallbacks(ui::CListCtrlEx::EditCallback begin,
                                              ui::CListCtrlEx::EditCallback end) {
  beginEdit_ = std::move(begin);
  endEdit_ = std::move(end);
}

void RecordingUploads::FillTargets() {
  ui::CListCtrlEx* list = controls_.list;
  if (list->IsEditing() && list->EditColumn() == kTargetColumn) list->EndEdit(0);
  destinations_ = DestinationEntries(hooks_.targets());
  controls_.targets->clear();
  for (const DestinationEntry& entry : destinations_)
    controls_.targets->addItem(entry.text);
}

int RecordingUploads::BeginTargetEdit(QWidget*& editor, int column, QString& text) {
  if (column != kTargetColumn) return 1;
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    const int entry = EntryForCellText(destinations_, text);
    if (entry >= 0) combo->setCurrentIndex(entry);
  }
  return 1;
}

int RecordingUploads::EndTargetEdit(QWidget*& editor, int column, QString& text, void* rowData) {
  if (column != kTargetColumn) return 1;
  RecordingUploadPart* part = rowData != nullptr ? hooks_.partOf(rowData) : nullptr;
  auto* combo = qobject_cast<QComboBox*>(editor);
  if (part == nullptr || combo == nullptr) return 1;
  const int chosen = combo->currentIndex();
  const DestinationChoice choice = ChooseDestination(*part, destinations_, chosen);
  if (choice == DestinationChoice::kUnchanged) return 1;
  text = destinations_[chosen].text;
  Trace(QStringLiteral("files destination %1: %2").arg(text.trimmed()).arg(int(choice)));
  if (choice == DestinationChoice::kInvalid) {
    // Not from inside the edit's own event: the box runs after the edit has ended.
    QTimer::singleShot(0, this, [this] {
      const QString message = QStringLiteral("请选择一个有效的课时！");
      Trace(QStringLiteral("files message: ") + message);
      hooks_.showMessage(&window_, message);
    });
  }
  return 1;
}

void RecordingUploads::UpdateButtons() {
  const UploadQueue::Buttons buttons = queue_->UploadButtons(destinationsLoaded_);
  controls_.start->setEnabled(buttons.startEnabled);
  controls_.stop->setEnabled(buttons.stopEnabled);
  controls_.stop->setText(buttons.stopText);
}

void RecordingUploads::AppendLog(const QString& text) {
  // The box keeps the latest lines; older ones fall off its foot.
  constexpr int kKeptLines = 500;
  QStringList lines = controls_.log->toPlainText().split(QLatin1Char('\n'));
  if (lines.size() >= kKeptLines) lines = lines.mid(0, kKeptLines - 1);
  controls_.log->setPlainText(text + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
  Trace(QStringLiteral("files upload log: ") + text);
}

std::vector<RecordingUploadPart*> RecordingUploads::Rows() const {
  ui::CListCtrlEx* list = controls_.list;
  std::vector<RecordingUploadPart*> rows;
  rows.reserve(size_t(list->GetItemCount()));
  for (int row = 0; row < list->GetItemCount(); ++row) {
    void* data = list->GetItemUserData(row);
    rows.push_back(data != nullptr ? hooks_.partOf(data) : nullptr);
  }
  return rows;
}

QString RecordingUploads::FilePathOf(const RecordingUploadPart& part) const {
  // The name as the list shows it: a path converted to GBK would lose characters outside it.
  const std::vector<RecordingUploadPart*> rows = Rows();
  for (size_t row = 0; row < rows.size(); ++row)
    if (rows[row] == &part) return hooks_.folder() + controls_.list->GetItemText(int(row), 0);
  return QString();
}

void RecordingUploads::OnTick() {
  const int row = queue_->Tick(Rows());
  if (row < 0) return;
  controls_.list->SetItemText(row, kStatusColumn, QStringLiteral("准备上传..."));
  Trace(QStringLiteral("files upload start %1").arg(controls_.list->GetItemText(row, 0)));
  UpdateButtons();
}

void RecordingUploads::OnReport(const UploadReport& report) {
  const UploadQueue::StatusView view = queue_->OnJobStatus(Rows(), report);
  for (const QString& line : view.logLines)
    AppendLog(line);
  if (view.row >= 0 && !view.cellText.isNull()) {
    controls_.list->SetItemText(view.row, kStatusColumn, view.cellText);
    Trace(QStringLiteral("files upload %1: %2").arg(view.row).arg(view.cellText));
  }
  if (view.saveSideFile && view.row >= 0) {
    if (!hooks_.saveSideFile(view.row))
      AppendLog(
          QStringLiteral("无法保存 %1 的上传记录").arg(controls_.list->GetItemText(view.row, 0)));
    if (hooks_.traceRows) hooks_.traceRows();
  }
  if (view.buttonsChanged) UpdateButtons();
}

void RecordingUploads::Forget(const RecordingUploadPart* part) {
  if (part != nullptr) queue_->ForgetRow(part);
}

}  // namespace vortane
