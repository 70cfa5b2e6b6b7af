#include "ui/list_ctrl_ex.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextEdit>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/code_page.h"
#include "ui/end_edit_event.h"
#include "ui/msg_hook.h"

namespace vortane::ui {
namespace {

// Where a row keeps its wrapper (a role of column 0 that owners do not use).
constexpr int kItemDataRole = Qt::UserRole + 0x40A;

int Sign(long long v) {
  return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// The leading integer of a text, as the C runtime's integer parse reads it.
long long LeadingInteger(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::strtoll(bytes.constData(), nullptr, 10);
}

double LeadingNumber(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::strtod(bytes.constData(), nullptr);
}

int CompareAsIntegersOr(const QString& a, const QString& b, Qt::CaseSensitivity fallback) {
  const long long va = LeadingInteger(a);
  const long long vb = LeadingInteger(b);
  if (va != 0 && vb != 0 && va != vb && QString::number(va).size() == a.size() &&
      QString::number(vb).size() == b.size())
    return Sign(va - vb);
  return Sign(QString::compare(a, b, fallback));
}

QDateTime ParseDateTime(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return {};
  const QLocale locale = QLocale::system();
  for (QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
    const QDateTime dt = locale.toDateTime(t, format);
    if (dt.isValid()) return dt;
  }
  static const char* const kFormats[] = {"yyyy-MM-dd HH:mm:ss",
                                         "yyyy-MM-dd H:mm:ss",
                                         "yyyy/MM/dd HH:mm:ss",
                                         "yyyy/M/d H:mm:ss",
                                         "yyyy-MM-dd HH:mm",
                                         "yyyy/M/d H:mm",
                                         "yyyy年M月d日 H点m分",
                                         "yyyy年M月d日 H:mm:ss",
                                         "yyyy年M月d日",
                                         "yyyy-MM-dd",
                                         "yyyy/M/d",
                                         "M/d/yyyy H:mm:ss",
                                         "M/d/yyyy",
                                         "HH:mm:ss",
                                         "H:mm"};
  for (const char* format : kFormats) {
    const QDateTime dt = QDateTime::fromString(t, QString::fromUtf8(format));
    if (dt.isValid()) return dt;
    const QDate d = QDate::fromString(t, QString::fromUtf8(format));
    if (d.isValid()) return d.startOfDay();
    const QTime time = QTime::fromString(t, QString::fromUtf8(format));
    if (time.isValid()) return QDateTime(QDate(1899, 12, 30), time);
  }
  const QDateTime iso = QDateTime::fromString(t, Qt::ISODate);
  return iso;
}

// The text an editor holds ("its window text").
QString EditorText(const QWidget* editor) {
  if (auto* e = qobject_cast<const QLineEdit*>(editor)) return e->text();
  if (auto* c = qobject_cast<const QComboBox*>(editor)) return c->currentText();
  if (auto* s = qobject_cast<const QAbstractSpinBox*>(editor)) return s->text();
  if (auto* t = qobject_cast<const QPlainTextEdit*>(editor)) return t->toPlainText();
  if (auto* t = qobject_cast<const QTextEdit*>(editor)) return t->toPlainText();
  if (auto* l = qobject_cast<const QLabel*>(editor)) return l->text();
  const QVariant text = editor->property("text");
  return text.isValid() ? text.toString() : editor->windowTitle();
}

void SetEditorText(QWidget* editor, const QString& text) {
  if (auto* e = qobject_cast<QLineEdit*>(editor)) {
    e->setText(text);
    e->selectAll();
  } else if (auto* c = qobject_cast<QComboBox*>(editor)) {
    const int index = c->findText(text);
    if (index >= 0)
      c->setCurrentIndex(index);
    else if (c->isEditable())
      c->setEditText(text);
  } else if (auto* t = qobject_cast<QPlainTextEdit*>(editor)) {
    t->setPlainText(text);
  } else if (auto* t = qobject_cast<QTextEdit*>(editor)) {
    t->setPlainText(text);
  } else if (auto* l = qobject_cast<QLabel*>(editor)) {
    l->setText(text);
  } else if (editor->property("text").isValid()) {
    editor->setProperty("text", text);
  } else {
    editor->setWindowTitle(text);
  }
}

// Paints each cell in the colours its records give (selected rows keep the selection colours)
// and draws grid lines when asked.
class ListColourDelegate : public QStyledItemDelegate {
 public:
  explicit ListColourDelegate(CListCtrlEx* list) : QStyledItemDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem opt(option);
    if (!(option.state & QStyle::State_Selected)) {
      const auto [background, text] = list_->CellColors(index.row(), index.column());
      painter->fillRect(option.rect, background);
      opt.palette.setColor(QPalette::Text, text);
    }
    QStyledItemDelegate::paint(painter, opt, index);
    if (list_->GridLines()) {
      painter->save();
      painter->setPen(option.palette.color(QPalette::Mid));
      painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
      painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
      painter->restore();
    }
  }

 private:
  CListCtrlEx* list_;
};

}  // namespace

CListCtrlEx::CellInfo* CListCtrlEx::ItemData::Cell(int column) const {
  for (const auto& cell : cells)
    if (cell->column == column) return cell.get();
  return nullptr;
}

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTreeWidget(parent) {
  // A report view: one level, whole rows selected, columns that sort only when told to.
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(false);
  header()->setStretchLastSection(false);
  setItemDelegate(new ListColourDelegate(this));
  defaultBackground_ = palette().color(QPalette::Base);
  defaultText_ = palette().color(QPalette::Text);
  connect(header(), &QHeaderView::sectionClicked, this,
          [this](int column) { SortByColumn(column, 1); });
}

CListCtrlEx::~CListCtrlEx() {
  if (registeredEditor_) CMsgHook::Unregister(registeredEditor_);
}

int CListCtrlEx::InsertColumn(int column, const QString& heading, Qt::Alignment alignment,
                              int width) {
  QTreeWidgetItem* head = headerItem();
  const int count = columnCount();
  // A fresh tree widget reports one column of its own; the first insert takes it over.
  const bool fresh = !columnsInserted_ && count <= 1 && topLevelItemCount() == 0;
  columnsInserted_ = true;
  column = std::clamp(column, 0, fresh ? 0 : count);
  if (!fresh) {
    setColumnCount(count + 1);
    for (int c = count; c > column; --c) {
      head->setText(c, head->text(c - 1));
      head->setTextAlignment(c, Qt::Alignment(head->textAlignment(c - 1)));
      setColumnWidth(c, columnWidth(c - 1));
      for (int r = 0; r < topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = topLevelItem(r);
        item->setText(c, item->text(c - 1));
        item->setTextAlignment(c, Qt::Alignment(item->textAlignment(c - 1)));
      }
    }
    for (int r = 0; r < topLevelItemCount(); ++r)
      topLevelItem(r)->setText(column, QString());
  }
  head->setText(column, heading);
  head->setTextAlignment(column, alignment | Qt::AlignVCenter);
  setColumnWidth(column, width);
  for (int r = 0; r < topLevelItemCount(); ++r)
    topLevelItem(r)->setTextAlignment(column, alignment | Qt::AlignVCenter);
  return column;
}

int CListCtrlEx::InsertItem(int row, const QString& text) {
  row = std::clamp(row, 0, topLevelItemCount());
  auto* item = new QTreeWidgetItem;
  item->setText(0, text);
  for (int c = 0; c < columnCount(); ++c)
    item->setTextAlignment(c, Qt::Alignment(headerItem()->textAlignment(c)));
  insertTopLevelItem(row, item);
  return row;
}

bool CListCtrlEx::SetItemText(int row, int column, const QString& text) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item || column < 0 || column >= columnCount()) return false;
  item->setText(column, text);
  return true;
}

QString CListCtrlEx::GetItemText(int row, int column) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(column) : QString();
}

bool CListCtrlEx::DeleteItem(int row) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return false;
  delete item;
  return true;
}

void CListCtrlEx::DeleteAllItems() {
  clear();
}

int CListCtrlEx::GetFirstSelectedItem() const {
  for (int r = 0; r < topLevelItemCount(); ++r)
    if (topLevelItem(r)->isSelected()) return r;
  return -1;
}

void CListCtrlEx::SelectItem(int row) {
  if (QTreeWidgetItem* item = topLevelItem(row)) {
    setCurrentItem(item);
    item->setSelected(true);
  }
}

void CListCtrlEx::SetGridLines(bool on) {
  gridLines_ = on;
  viewport()->update();
}

CListCtrlEx::ItemData* CListCtrlEx::GetItemData(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return nullptr;
  return reinterpret_cast<ItemData*>(item->data(0, kItemDataRole).value<quintptr>());
}

CListCtrlEx::ItemData* CListCtrlEx::EnsureItemData(int row) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return nullptr;
  if (ItemData* data = GetItemData(row)) return data;
  items_.push_back(std::make_unique<ItemData>());
  ItemData* data = items_.back().get();
  item->setData(0, kItemDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
  return data;
}

void CListCtrlEx::SetItemUserData(int row, void* data) {
  if (ItemData* wrapper = EnsureItemData(row)) wrapper->userData = data;
}

void* CListCtrlEx::GetItemUserData(int row) const {
  const ItemData* data = GetItemData(row);
  return data ? data->userData : nullptr;
}

int CListCtrlEx::DeleteItemUserData(int row) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return 0;
  ItemData* data = GetItemData(row);
  item->setData(0, kItemDataRole, QVariant());
  if (!data) return 1;
  if (editItem_ == data) editItem_ = nullptr;
  if (current_ == &data->edit) current_ = nullptr;
  for (const auto& cell : data->cells)
    if (current_ == &cell->edit) current_ = nullptr;
  const auto it = std::find_if(items_.begin(), items_.end(),
                               [data](const auto& owned) { return owned.get() == data; });
  if (it != items_.end()) items_.erase(it);
  return 1;
}

int CListCtrlEx::RowOf(const ItemData* data) const {
  if (!data) return -1;
  for (int r = 0; r < topLevelItemCount(); ++r)
    if (GetItemData(r) == data) return r;
  return -1;
}

CListCtrlEx::CellInfo* CListCtrlEx::EnsureCell(int row, int column) {
  ItemData* data = EnsureItemData(row);
  if (!data || column < 0) return nullptr;
  if (CellInfo* cell = data->Cell(column)) return cell;
  data->cells.push_back(std::make_unique<CellInfo>());
  data->cells.back()->column = column;
  return data->cells.back().get();
}

CListCtrlEx::ColumnInfo* CListCtrlEx::FindColumn(int column) {
  for (const auto& info : columns_)
    if (info->column == column) return info.get();
  return nullptr;
}

const CListCtrlEx::ColumnInfo* CListCtrlEx::GetColumnInfo(int column) const {
  for (const auto& info : columns_)
    if (info->column == column) return info.get();
  return nullptr;
}

CListCtrlEx::ColumnInfo& CListCtrlEx::EnsureColumn(int column) {
  if (ColumnInfo* info = FindColumn(column)) return *info;
  columns_.push_back(std::make_unique<ColumnInfo>());
  columns_.back()->column = column;
  return *columns_.back();
}

void CListCtrlEx::SetColumnEditor(int column, EditCallback begin, EditCallback end,
                                  QWidget* editor) {
  EditInfo& edit = EnsureColumn(column).edit;
  edit.beginCallback = std::move(begin);
  edit.endCallback = std::move(end);
  edit.editor = editor;
  if (editor && editor->parentWidget() != viewport()) editor->hide();
}

void CListCtrlEx::SetColumnReadOnly(int column, bool readOnly) {
  EnsureColumn(column).edit.readOnly = readOnly ? 1 : 0;
}

void CListCtrlEx::SetRowReadOnly(int row, bool readOnly) {
  if (ItemData* data = EnsureItemData(row)) data->edit.readOnly = readOnly ? 1 : 0;
}

void CListCtrlEx::SetCellReadOnly(int row, int column, bool readOnly) {
  if (CellInfo* cell = EnsureCell(row, column)) cell->edit.readOnly = readOnly ? 1 : 0;
}

void CListCtrlEx::SetColumnColors(int column, const QColor& background, const QColor& text) {
  ColumnInfo& info = EnsureColumn(column);
  info.background = background;
  info.text = text;
  viewport()->update();
}

void CListCtrlEx::SetRowColors(int row, const QColor& background, const QColor& text) {
  if (ItemData* data = EnsureItemData(row)) {
    data->background = background;
    data->text = text;
    viewport()->update();
  }
}

void CListCtrlEx::SetCellColors(int row, int column, const QColor& background, const QColor& text) {
  if (CellInfo* cell = EnsureCell(row, column)) {
    cell->background = background;
    cell->text = text;
    viewport()->update();
  }
}

std::pair<QColor, QColor> CListCtrlEx::CellColors(int row, int column) const {
  QColor background;
  QColor text;
  bool chosen = false;
  const ItemData* data = GetItemData(row);
  if (const CellInfo* cell = data ? data->Cell(column) : nullptr) {
    if (cell->background.isValid() || cell->text.isValid()) {
      background = cell->background;
      text = cell->text;
      chosen = true;
    }
  }
  if (!chosen && data && (data->background.isValid() || data->text.isValid())) {
    background = data->background;
    text = data->text;
    chosen = true;
  }
  if (!chosen) {
    if (const ColumnInfo* info = GetColumnInfo(column)) {
      background = info->background;
      text = info->text;
    }
  }
  return {background.isValid() ? background : defaultBackground_,
          text.isValid() ? text : defaultText_};
}

void CListCtrlEx::SetColumnSort(int column, int flags, int type, CompareFunction compare) {
  ColumnInfo& info = EnsureColumn(column);
  info.sortFlags = flags;
  info.sortType = type;
  info.compare = std::move(compare);
}

int CListCtrlEx::CompareTexts(const QString& a, const QString& b, int sortType) {
  switch (sortType) {
    case 0:
      return 0;
    case 1:
      return Sign(LeadingInteger(a) - LeadingInteger(b));
    case 2:
      return Sign(static_cast<long long>(std::trunc(LeadingNumber(a) - LeadingNumber(b))));
    case 4:
      return CompareAsIntegersOr(a, b, Qt::CaseSensitive);
    case 5:
      return Sign(QString::compare(a, b, Qt::CaseInsensitive));
    case 6:
      return CompareAsIntegersOr(a, b, Qt::CaseInsensitive);
    case 7: {
      const QDateTime da = ParseDateTime(a);
      const QDateTime db = ParseDateTime(b);
      if (da.isValid() && db.isValid()) {
        const qint64 ms = da.msecsTo(db);
        if (std::llabs(ms) < 500) return 0;
        return ms > 0 ? -1 : 1;
      }
      if (!da.isValid() && !db.isValid()) return 0;
      // Texts that are no dates sort after the dates, in either order of comparison.
      return da.isValid() ? -1 : 1;
    }
    default:
      return Sign(QString::compare(a, b, Qt::CaseSensitive));
  }
}

int CListCtrlEx::CompareRows(QTreeWidgetItem* a, QTreeWidgetItem* b, const QString& textA,
                             const QString& textB) const {
  const ColumnInfo* info = GetColumnInfo(sortColumn_);
  if (!info || info->sortFlags == 0) return 0;
  const int direction = (info->sortFlags & kSortAscending) ? 1 : -1;
  const CompareFunction& compare = info->compare;
  if (compare) {
    auto userData = [](QTreeWidgetItem* item) -> void* {
      auto* data = reinterpret_cast<ItemData*>(item->data(0, kItemDataRole).value<quintptr>());
      return data ? data->userData : nullptr;
    };
    return Sign(compare(userData(a), userData(b), sortColumn_)) * direction;
  }
  return CompareTexts(textA, textB, info->sortType) * direction;
}

int CListCtrlEx::SortByColumn(int column, int flip) {
  ColumnInfo* info = FindColumn(column);
  if (!info || info->sortFlags == 0) return 0;
  int& flags = info->sortFlags;
  if (flags & kSortFlip) {
    if (!(flags & (kSortAscending | kSortDescending))) flags |= kSortDescending;
    if (flip) {
      const int ascending = flags & kSortAscending;
      const int descending = flags & kSortDescending;
      flags &= ~(kSortAscending | kSortDescending);
      if (ascending) flags |= kSortDescending;
      if (descending) flags |= kSortAscending;
    }
  }
  sortColumn_ = column;

  // The texts are compared as the ANSI code page holds them (characters GBK lacks become '?').
  struct Row {
    QTreeWidgetItem* item;
    QString key;
  };
  std::vector<Row> rows;
  const QList<QTreeWidgetItem*> selected = selectedItems();
  QTreeWidgetItem* current = currentItem();
  QList<QTreeWidgetItem*> taken = invisibleRootItem()->takeChildren();
  rows.reserve(taken.size());
  for (QTreeWidgetItem* item : taken)
    rows.push_back({item, platform::AnsiToWide(platform::WideToAnsi(item->text(column)))});
  std::stable_sort(rows.begin(), rows.end(), [this](const Row& a, const Row& b) {
    return CompareRows(a.item, b.item, a.key, b.key) < 0;
  });
  taken.clear();
  for (const Row& row : rows)
    taken.append(row.item);
  addTopLevelItems(taken);
  if (current) setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
  for (QTreeWidgetItem* item : selected)
    item->setSelected(true);

  header()->setSortIndicatorShown(true);
  header()->setSortIndicator(column,
                             (flags & kSortAscending) ? Qt::AscendingOrder : Qt::DescendingOrder);
  return 1;
}

QRect CListCtrlEx::EnsureCellVisible(int row, int column) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return {};
  scrollToItem(item);
  const int width = viewport()->width();
  QRect cell = visualItemRect(item);
  cell.setLeft(columnViewportPosition(column));
  cell.setWidth(columnWidth(column));
  QScrollBar* bar = horizontalScrollBar();
  if (cell.right() + 1 > width) {
    const int shift = cell.width() > width ? cell.left() : cell.right() + 1 - width;
    bar->setValue(bar->value() + shift);
  }
  cell.setLeft(columnViewportPosition(column));
  cell.setWidth(columnWidth(column));
  if (cell.left() < 0) bar->setValue(bar->value() + cell.left());
  cell = visualItemRect(item);
  cell.setLeft(columnViewportPosition(column));
  cell.setWidth(columnWidth(column));
  if (cell.right() > width - 4) cell.setRight(width - 4);
  return cell;
}

int CListCtrlEx::BeginEdit(int row, int column) {
  ItemData* before = GetItemData(row);
  EndEdit(1);
  if (before) row = RowOf(before);

  const int rows = topLevelItemCount();
  const int columns = columnCount();
  if (row < 0 || row >= rows || column < 0 || column >= columns) return 0;
  ColumnInfo* columnInfo = FindColumn(column);
  ItemData* data = GetItemData(row);
  CellInfo* cell = data ? data->Cell(column) : nullptr;
  const bool columnReadOnly = columnInfo && columnInfo->edit.readOnly;
  const bool rowReadOnly = data && data->edit.readOnly;
  const bool cellReadOnly = cell ? cell->edit.readOnly != 0 : false;
  if (columnReadOnly || rowReadOnly || cellReadOnly) return 0;

  const QRect rect = EnsureCellVisible(row, column);

  EditInfo* chosen = &default_;
  if (columnInfo && columnInfo->edit.HasEditor()) chosen = &columnInfo->edit;
  if (data && data->edit.HasEditor()) chosen = &data->edit;
  if (cell && cell->edit.HasEditor()) chosen = &cell->edit;
  if (!chosen->HasEditor() || chosen->readOnly) {
    current_ = nullptr;
    return 0;
  }

  // The row is followed by its wrapper from here on, so deleting or sorting rows while the
  // editor is open cannot make the edit land in another row.
  data = EnsureItemData(row);
  current_ = chosen;
  editItem_ = data;
  editRow_ = row;
  editColumn_ = column;
  tabRow_ = row;
  tabColumn_ = column;
  QString text = GetItemText(row, column);
  if (chosen->beginCallback) {
    QWidget* editor = chosen->editor;
    chosen->beginCallback(editor, row, column, text, data->userData, this, 1);
    chosen->editor = editor;
  }
  QWidget* editor = chosen->editor;
  if (!editor) {
    current_ = nullptr;
    return 0;
  }
  DeselectAll();
  if (!chosen->beginCallback) SetEditorText(editor, text);
  if (editor->parentWidget() != viewport()) editor->setParent(viewport());
  editor->setGeometry(rect);
  editor->show();
  editor->raise();
  editor->setFocus(Qt::OtherFocusReason);
  registeredEditor_ = editor;
  CMsgHook::Register(editor, this);
  return 1;
}

void CListCtrlEx::EndEdit(int commit) {
  if (!registeredEditor_) {
    // The editor was destroyed while it was open: nothing is left to end.
    current_ = nullptr;
    return;
  }
  if (!CMsgHook::Find(registeredEditor_)) return;
  CMsgHook::Unregister(registeredEditor_);
  registeredEditor_ = nullptr;
  EditInfo* edit = current_;
  if (!edit || !edit->editor) {
    current_ = nullptr;
    return;
  }
  QWidget* editor = edit->editor;
  const bool editorHadFocus = editor->hasFocus() || editor->isAncestorOf(focusWidget());
  editor->hide();
  if (editorHadFocus) setFocus(Qt::OtherFocusReason);

  int row = RowOf(editItem_);
  QString text;
  void* userData = nullptr;
  if (row >= 0) {
    text = GetItemText(row, editColumn_);
    userData = editItem_->userData;
  } else {
    commit = 0;
  }
  if (edit->endCallback) {
    commit = edit->endCallback(editor, row, editColumn_, text, userData, this, commit);
    edit->editor = editor;
    row = RowOf(editItem_);  // the callback may have changed the rows
  } else {
    text = EditorText(editor);
  }
  if (commit != 0 && row >= 0) {
    SetItemText(row, editColumn_, text);
    if (QTreeWidgetItem* item = topLevelItem(row)) update(indexFromItem(item));
    if (commit == -1) SortByColumn(editColumn_, 0);
  }
  current_ = nullptr;
}

void CListCtrlEx::DeleteSelectedRows() {
  for (int r = topLevelItemCount() - 1; r >= 0; --r) {
    if (!topLevelItem(r)->isSelected()) continue;
    DeleteItemUserData(r);
    DeleteItem(r);
  }
}

void CListCtrlEx::DeselectAll() {
  clearSelection();
}

int CListCtrlEx::OnAppendRow() {
  return 0;
}

bool CListCtrlEx::TabNavigate(bool forward) {
  if (topLevelItemCount() == 0 && forward && !OnAppendRow()) return false;
  bool appended = false;
  for (;;) {
    const int rows = topLevelItemCount();
    const int columns = columnCount();
    const bool valid = tabRow_ >= 0 && tabRow_ < rows && tabColumn_ >= 0 && tabColumn_ < columns;
    if (!valid) {
      tabRow_ = forward ? 0 : rows - 1;
      tabColumn_ = forward ? 0 : columns - 1;
    } else {
      tabColumn_ += forward ? 1 : -1;
      if (tabColumn_ < 0 || tabColumn_ >= columns) {
        tabRow_ += forward ? 1 : -1;
        tabColumn_ = forward ? 0 : columns - 1;
      }
    }
    if (tabAppend_ && forward && tabRow_ >= rows) {
      // One new row per Tab: a row without an editable cell must not make Tab append forever.
      if (appended) return true;
      EndEdit(1);
      if (!OnAppendRow()) return true;
      appended = true;
      tabRow_ = rows;
      tabColumn_ = 0;
    }
    if (tabRow_ < 0 || tabRow_ >= topLevelItemCount() || tabColumn_ < 0 || tabColumn_ >= columns)
      return false;
    if (BeginEdit(tabRow_, tabColumn_) == 1) return true;
  }
}

bool CListCtrlEx::event(QEvent* event) {
  if (event->type() == CEndEditEvent::kType) {
    EndEdit(static_cast<CEndEditEvent*>(event)->commit());
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (tab && !(key->modifiers() & Qt::ControlModifier)) {
      const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
      if (TabNavigate(forward)) return true;
      // Off the end: the focus goes on to the control after the list (the editor, if one is
      // open, loses it and commits).
      if (IsEditing() || (focusWidget() && focusWidget() != this)) setFocus(Qt::TabFocusReason);
      focusNextPrevChild(forward);
      return true;
    }
  }
  return QTreeWidget::event(event);
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && deleteKeyDeletes_) {
    DeleteSelectedRows();
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void CListCtrlEx::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && index.isValid() &&
      BeginEdit(index.row(), index.column()) == 1) {
    swallowRelease_ = true;
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void CListCtrlEx::mouseReleaseEvent(QMouseEvent* event) {
  if (swallowRelease_) {
    swallowRelease_ = false;
    event->accept();
    return;
  }
  QTreeWidget::mouseReleaseEvent(event);
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && index.isValid() &&
      BeginEdit(index.row(), index.column()) == 1) {
    event->accept();
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

}  // namespace vortane::ui
