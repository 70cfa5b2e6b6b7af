#pragma once

#include <QColor>
#include <QPointer>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vortane::ui {

// A report list whose cells can be edited in place by an editor widget (combo box, line edit,
// date picker, any widget) laid over the cell; it keeps a user-data pointer per row,
// per-row/column/cell colours and read-only flags, sorts on a header click, and moves the
// editor between cells with Tab.
//
// Editing: give a column (or a row, or a cell) an editor with SetColumnEditor. A click on such
// a cell starts the edit (the owner does not see that click); the edit ends when the focus
// leaves the editor, on Enter (keep) or Escape (cancel), or on a click elsewhere — but not
// while a combo box's list is dropped down. The end callback decides the cell's new text:
// 0 leaves the cell, any other value writes the (possibly changed) text, −1 also re-sorts.
class CListCtrlEx : public QTreeWidget {
  Q_OBJECT

 public:
  // (editor, row, column, cell text, row user data, list, flag) → result. The flag is 1 for the
  // begin callback (whose result is ignored) and the commit request (1 keep, 0 cancel) for the
  // end callback. The callback may replace the editor and change the text.
  using EditCallback = std::function<int(QWidget*& editor, int row, int column, QString& text,
                                         void* userData, CListCtrlEx* list, int flag)>;
  // Compares two rows by their user data; negative, zero or positive.
  using CompareFunction = std::function<int(void* a, void* b, std::intptr_t parameter)>;

  // Sort flag bits of a column.
  static constexpr int kSortAscending = 1;
  static constexpr int kSortDescending = 2;
  static constexpr int kSortFlip = 4;

  struct EditInfo {
    EditCallback beginCallback;
    EditCallback endCallback;
    QPointer<QWidget> editor;
    int readOnly = 0;
    bool HasEditor() const { return beginCallback || editor; }
  };

  struct ColumnInfo {
    EditInfo edit;
    int column = 0;
    QColor background;  // invalid: not set
    QColor text;
    int sortFlags = 0;
    int sortType = 0;
    CompareFunction compare;
  };

  struct CellInfo {
    EditInfo edit;
    QColor background;
    QColor text;
    int column = 0;
  };

  // The wrapper attached to a row. The list owns it; it never frees `userData`.
  struct ItemData {
    EditInfo edit;
    std::vector<std::unique_ptr<CellInfo>> cells;
    QColor background;
    QColor text;
    void* userData = nullptr;
    CellInfo* Cell(int column) const;
  };

  explicit CListCtrlEx(QWidget* parent = nullptr);
  ~CListCtrlEx() override;

  // Rows and columns, addressed by index as in a list view.
  int InsertColumn(int column, const QString& heading, Qt::Alignment alignment = Qt::AlignLeft,
                   int width = 100);
  int InsertItem(int row, const QString& text);
  bool SetItemText(int row, int column, const QString& text);
  QString GetItemText(int row, int column) const;
  int GetItemCount() const { return topLevelItemCount(); }
  int GetColumnCount() const { return columnCount(); }
  bool DeleteItem(int row);
  // Deletes every row (their wrappers stay until DeleteItemUserData or the list's end).
  void DeleteAllItems();
  int GetFirstSelectedItem() const;
  void SelectItem(int row);
  void SetGridLines(bool on);
  bool GridLines() const { return gridLines_; }

  // Row user data.
  void SetItemUserData(int row, void* data);
  void* GetItemUserData(int row) const;
  // Frees the row's wrapper (and its cell records). 0 for an invalid row, else 1; the owner
  // deletes the row itself afterwards.
  int DeleteItemUserData(int row);
  // The row's wrapper, or null.
  ItemData* GetItemData(int row) const;

  // Editors. A null callback and editor remove an editor. While it edits, the editor becomes a
  // child of the list's viewport (and so is deleted with the list unless the owner takes it
  // back); it is hidden, not deleted, when the edit ends.
  void SetColumnEditor(int column, EditCallback begin, EditCallback end, QWidget* editor);
  void SetColumnReadOnly(int column, bool readOnly);
  void SetRowReadOnly(int row, bool readOnly);
  void SetCellReadOnly(int row, int column, bool readOnly);

  // Colours (an invalid QColor means "not set"): a cell's own colours come first, then its
  // row's, then its column's, then the list's defaults.
  void SetColumnColors(int column, const QColor& background, const QColor& text);
  void SetRowColors(int row, const QColor& background, const QColor& text);
  void SetCellColors(int row, int column, const QColor& background, const QColor& text);
  // The colours a cell is painted with.
  std::pair<QColor, QColor> CellColors(int row, int column) const;

  // Sorting: flags kSortAscending / kSortDescending / kSortFlip, types 0–7 (see CompareTexts).
  void SetColumnSort(int column, int flags, int type, CompareFunction compare = nullptr);
  // Sorts on `column`; with `flip` set, a column with kSortFlip changes direction first. A
  // header click calls it with flip 1. Returns 1 when the column was sorted.
  int SortByColumn(int column, int flip);
  int SortColumn() const { return sortColumn_; }
  const ColumnInfo* GetColumnInfo(int column) const;
  // Compares two cell texts by a sort type: 0 equal, 1 integers, 2 numbers (difference
  // truncated toward zero), 3 case-sensitive, 4 integers when both are plain different
  // non-zero integers else as 3, 5 case-insensitive, 6 as 4 falling back to 5, 7 dates.
  static int CompareTexts(const QString& a, const QString& b, int sortType);

  // Editing.
  int BeginEdit(int row, int column);
  void EndEdit(int commit);
  bool IsEditing() const { return current_ != nullptr; }
  int EditRow() const { return editRow_; }
  int EditColumn() const { return editColumn_; }
  // Scrolls the cell into view and returns its rectangle in viewport coordinates.
  QRect EnsureCellVisible(int row, int column);

  void DeleteSelectedRows();
  void DeselectAll();
  // With the flag set, the Delete key deletes the selected rows (and their wrappers).
  void SetDeleteKeyDeletes(bool on) { deleteKeyDeletes_ = on; }
  // With the flag set, Tab past the last cell asks OnAppendRow for a new row.
  void SetTabAppend(bool on) { tabAppend_ = on; }
  // Called when Tab runs off the end of the list; returns nonzero when it added a row.
  virtual int OnAppendRow();

  // The list's default colours (captured at construction from the palette).
  QColor DefaultBackground() const { return defaultBackground_; }
  QColor DefaultText() const { return defaultText_; }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  ItemData* EnsureItemData(int row);
  CellInfo* EnsureCell(int row, int column);
  ColumnInfo* FindColumn(int column);
  ColumnInfo& EnsureColumn(int column);
  int RowOf(const ItemData* data) const;
  bool TabNavigate(bool forward);
  int CompareRows(QTreeWidgetItem* a, QTreeWidgetItem* b, const QString& textA,
                  const QString& textB) const;

  std::vector<std::unique_ptr<ItemData>> items_;
  std::vector<std::unique_ptr<ColumnInfo>> columns_;
  EditInfo* current_ = nullptr;
  EditInfo default_;
  int editRow_ = -1;
  int editColumn_ = -1;
  ItemData* editItem_ = nullptr;
  QPointer<QWidget> registeredEditor_;
  int tabRow_ = -1;
  int tabColumn_ = -1;
  QColor defaultBackground_;
  QColor defaultText_;
  bool deleteKeyDeletes_ = false;
  int sortColumn_ = -1;
  bool tabAppend_ = false;
  bool swallowRelease_ = false;
  bool gridLines_ = false;
  bool columnsInserted_ = false;
};

}  // namespace vortane::ui
