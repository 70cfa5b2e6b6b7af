#include "files/recording_browser.h"

#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "ui/list_ctrl_ex.h"

namespace vortane {
namespace {

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

}  // namespace

RecordingBrowser::RecordingBrowser(ui::CListCtrlEx& list, QProgressBar& progress, double scale,
                                   RecordingLibrary::DurationProbe probe,
                                   std::function<void(const QString& text)> trace)
    : list_(list),
      progress_(progress),
      trace_(std::move(trace)),
      library_(std::make_unique<RecordingLibrary>(std::move(probe))) {
  progressDelay_ = new QTimer(this);
  progressDelay_->setSingleShot(true);
  connect(progressDelay_, &QTimer::timeout, this, [this] {
    if (IsFilling()) progress_.show();
  });
  SetUpColumns(scale);
  ConnectLibrary();
}

RecordingBrowser::~RecordingBrowser() {
  // The library stops its worker; the rows go with the list.
  library_.reset();
}

void RecordingBrowser::SetUpColumns(double scale) {
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
    list_.InsertColumn(index++, QString::fromUtf8(column.title), column.alignment,
                       static_cast<int>(std::lround(column.width * scale)));
  list_.SetGridLines(true);
  list_.setSelectionMode(QAbstractItemView::SingleSelection);
  list_.setSelectionBehavior(QAbstractItemView::SelectRows);
  list_.setAllColumnsShowFocus(true);
  list_.setRootIsDecorated(false);
  list_.setUniformRowHeights(true);
  list_.setIconSize(QSize(16, 16));
}

void RecordingBrowser::ConnectLibrary() {
  connect(library_.get(), &RecordingLibrary::listCleared, this, [this] {
    ClearRows();
    progress_.hide();
    progress_.setRange(0, 0);
    progressDelay_->start(kProgressDelayMs);
  });
  connect(library_.get(), &RecordingLibrary::scanStarted, this, [this](bool searched, int total) {
    emit refreshStarted(searched);
    progress_.setRange(0, total);
  });
  connect(library_.get(), &RecordingLibrary::recordingsListed, this,
          [this](const QList<ListedRecording>& rows) {
            list_.setUpdatesEnabled(false);
            for (const ListedRecording& row : rows)
              AddRow(list_.GetItemCount(), row);
            list_.setUpdatesEnabled(true);
          });
  connect(library_.get(), &RecordingLibrary::scanProgress, this, [this](int done, int total) {
    progress_.setRange(0, total);
    progress_.setValue(done);
  });
  connect(library_.get(), &RecordingLibrary::scanFinished, this, [this](bool searched) {
    progressDelay_->stop();
    progress_.hide();
    trace_(searched ? QStringLiteral("files listed %1").arg(list_.GetItemCount())
                    : QStringLiteral("files folder cannot be read"));
    TraceRows();
    emit listFilled();
  });
  connect(library_.get(), &RecordingLibrary::recordingAdded, this,
          [this](const ListedRecording& row) {
            AddRow(0, row);
            trace_(QStringLiteral("files added %1").arg(row.fileName));
            TraceRows();
          });
}

void RecordingBrowser::Refresh(const QString& folder) {
  library_->RefreshFileList(folder);
}

void RecordingBrowser::Add(const QString& nameOrPath) {
  library_->AddFileToList(nameOrPath);
}

bool RecordingBrowser::IsFilling() const {
  return library_->IsBusy();
}

QString RecordingBrowser::Folder() const {
  return library_->Folder();
}

RecordingEntry* RecordingBrowser::EntryOf(int row) const {
  return static_cast<RecordingEntry*>(list_.GetItemUserData(row));
}

int RecordingBrowser::RowOf(const RecordingEntry* entry) const {
  for (int row = 0; row < list_.GetItemCount(); ++row)
    if (EntryOf(row) == entry) return row;
  return -1;
}

void RecordingBrowser::ClearRows() {
  list_.EndEdit(0);
  for (int row = list_.GetItemCount() - 1; row >= 0; --row) {
    emit entryGoing(EntryOf(row));
    list_.DeleteItemUserData(row);
  }
  entries_.clear();
  list_.DeleteAllItems();
}

void RecordingBrowser::AddRow(int at, const ListedRecording& recording) {
  const QStringList texts = RecordingRowTexts(recording);
  const int row = list_.InsertItem(at, texts[0]);
  for (int column = 1; column < texts.size(); ++column)
    list_.SetItemText(row, column, texts[column]);
  list_.topLevelItem(row)->setIcon(0, RowIcon());
  auto entry = std::make_unique<RecordingEntry>(recording.entry);
  list_.SetItemUserData(row, entry.get());
  entries_.emplace(entry.get(), std::move(entry));
}

void RecordingBrowser::RemoveRow(int row) {
  RecordingEntry* entry = EntryOf(row);
  list_.EndEdit(0);
  emit entryGoing(entry);
  list_.DeleteItemUserData(row);
  entries_.erase(entry);
  list_.DeleteItem(row);
}

bool RecordingBrowser::SaveSideFile(int row) {
  RecordingEntry* entry = EntryOf(row);
  return entry == nullptr || library_->SaveItemMeta(list_.GetItemText(row, 0), *entry);
}

void RecordingBrowser::TraceRows() {
  // The first rows, where they are on the screen and what they show.
  for (int row = 0; row < std::min(list_.GetItemCount(), 3); ++row) {
    QTreeWidgetItem* item = list_.topLevelItem(row);
    const QRect rect = list_.visualItemRect(item);
    const QPoint at = list_.viewport()->mapToGlobal(rect.topLeft());
    QStringList texts;
    for (int column = 0; column < list_.GetColumnCount(); ++column)
      texts << list_.GetItemText(row, column);
    trace_(QStringLiteral("files row %1 at %2,%3 %4x%5: %6")
               .arg(row)
               .arg(at.x())
               .arg(at.y())
               .arg(rect.width())
               .arg(rect.height())
               .arg(texts.join(QStringLiteral(" | "))));
  }
}

}  // namespace vortane
