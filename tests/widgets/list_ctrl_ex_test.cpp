#include "ui/list_ctrl_ex.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "ui/msg_hook.h"
#include "widget_test_app.h"

namespace vortane::ui {
namespace {

using Edit = CListCtrlEx::EditCallback;

// A window with the list between two line edits, shown and active so focus changes are real.
struct ListWindow {
  QWidget window;
  QLineEdit* before = new QLineEdit(&window);
  CListCtrlEx* list;
  QLineEdit* after = new QLineEdit(&window);

  explicit ListWindow(CListCtrlEx* l = nullptr) : list(l ? l : new CListCtrlEx) {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(before);
    layout->addWidget(list);
    layout->addWidget(after);
    QWidget::setTabOrder(before, list);
    QWidget::setTabOrder(list, after);
    list->InsertColumn(0, QStringLiteral("文件"), Qt::AlignLeft, 120);
    list->InsertColumn(1, QStringLiteral("大小"), Qt::AlignRight, 80);
    list->InsertColumn(2, QStringLiteral("状态"), Qt::AlignLeft, 80);
    list->InsertColumn(3, QStringLiteral("上传位置"), Qt::AlignLeft, 120);
    for (int r = 0; r < 3; ++r) {
      list->InsertItem(r, QStringLiteral("file%1.mp4").arg(r));
      list->SetItemText(r, 1, QString::number(r + 1));
      list->SetItemText(r, 3, QStringLiteral("不上传"));
    }
    window.resize(520, 300);
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  QPoint CellCentre(int row, int column) {
    QRect r = list->visualItemRect(list->topLevelItem(row));
    r.setLeft(list->columnViewportPosition(column));
    r.setWidth(list->columnWidth(column));
    return r.center();
  }

  void Click(int row, int column) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CellCentre(row, column));
  }
};

TEST(ListCtrlEx, RowDataColoursAndReadOnlyFlags) {
  test::WidgetTestApp();
  CListCtrlEx list;
  list.InsertColumn(0, "b");
  list.InsertColumn(0, "a");  // inserted before: "b" moves to column 1
  list.InsertItem(0, "x");
  list.InsertItem(1, "y");
  EXPECT_EQ(list.GetColumnCount(), 2);
  EXPECT_EQ(list.headerItem()->text(0), "a");
  EXPECT_EQ(list.headerItem()->text(1), "b");
  int first = 1, second = 2;
  list.SetItemUserData(0, &first);
  list.SetItemUserData(0, &second);  // replaces, no second wrapper
  list.SetItemUserData(1, &first);
  EXPECT_EQ(list.GetItemUserData(0), &second);
  EXPECT_EQ(list.GetItemUserData(1), &first);
  EXPECT_EQ(list.GetItemUserData(5), nullptr);
  EXPECT_EQ(list.DeleteItemUserData(5), 0);
  EXPECT_EQ(list.DeleteItemUserData(0), 1);
  EXPECT_EQ(list.GetItemUserData(0), nullptr);
  list.InsertItem(0, "new");  // rows move; the data moves with its row
  EXPECT_EQ(list.GetItemUserData(2), &first);

  // Cell colours beat row colours beat column colours beat the defaults; unset parts of the
  // chosen record fall back to the defaults.
  const QColor red(255, 0, 0), green(0, 255, 0), blue(0, 0, 255);
  EXPECT_EQ(list.CellColors(1, 1), std::make_pair(list.DefaultBackground(), list.DefaultText()));
  list.SetColumnColors(1, red, red);
  EXPECT_EQ(list.CellColors(1, 1), std::make_pair(red, red));
  list.SetRowColors(1, green, QColor());
  EXPECT_EQ(list.CellColors(1, 1), std::make_pair(green, list.DefaultText()));
  EXPECT_EQ(list.CellColors(0, 1), std::make_pair(red, red));
  list.SetCellColors(1, 1, QColor(), blue);
  EXPECT_EQ(list.CellColors(1, 1), std::make_pair(list.DefaultBackground(), blue));
  EXPECT_EQ(list.CellColors(1, 0), std::make_pair(green, list.DefaultText()));

  // Read-only at any level refuses the edit.
  QLineEdit editor;
  list.SetColumnEditor(1, nullptr, nullptr, &editor);
  list.SetRowReadOnly(0, true);
  EXPECT_EQ(list.BeginEdit(0, 1), 0);
  list.SetCellReadOnly(1, 1, true);
  EXPECT_EQ(list.BeginEdit(1, 1), 0);
  list.SetColumnReadOnly(1, true);
  EXPECT_EQ(list.BeginEdit(2, 1), 0);
  EXPECT_EQ(list.BeginEdit(2, 7), 0);
  EXPECT_EQ(list.BeginEdit(9, 1), 0);
  EXPECT_FALSE(list.IsEditing());
}

TEST(ListCtrlEx, SortTypesCompareAsTheirKindOfText) {
  test::WidgetTestApp();
  using L = CListCtrlEx;
  EXPECT_EQ(L::CompareTexts("b", "a", 0), 0);
  EXPECT_GT(L::CompareTexts("10 MB", "9 MB", 1), 0);
  EXPECT_EQ(L::CompareTexts("1.2", "1.9", 2), 0);  // difference truncated toward zero
  EXPECT_LT(L::CompareTexts("1.2", "2.3", 2), 0);
  EXPECT_LT(L::CompareTexts("B", "a", 3), 0);
  EXPECT_GT(L::CompareTexts("10", "9", 4), 0);   // plain integers compare as numbers
  EXPECT_LT(L::CompareTexts("010", "9", 4), 0);  // not a plain integer: as text
  EXPECT_LT(L::CompareTexts("0", "9", 4), 0);
  EXPECT_EQ(L::CompareTexts("abc", "ABC", 5), 0);
  EXPECT_GT(L::CompareTexts("b", "A", 6), 0);
  EXPECT_GT(L::CompareTexts("100", "20", 6), 0);
  EXPECT_LT(L::CompareTexts("2016年3月5日 9点7分", "2016年3月5日 10点0分", 7), 0);
  EXPECT_EQ(L::CompareTexts("2020-01-01 10:00:00", "2020-01-01 10:00:00", 7), 0);
  EXPECT_EQ(L::CompareTexts("junk", "more junk", 7), 0);
  // One date, one not: the same answer whichever comes first, so sorting stays consistent.
  EXPECT_EQ(L::CompareTexts("2020-01-01", "junk", 7), -L::CompareTexts("junk", "2020-01-01", 7));
  EXPECT_LT(L::CompareTexts("B", "a", 42), 0);  // unknown types compare as type 3
}

TEST(ListCtrlEx, HeaderClicksSortByTheColumnsFlags) {
  test::WidgetTestApp();
  CListCtrlEx list;
  list.InsertColumn(0, "name");
  list.InsertColumn(1, "size");
  list.InsertColumn(2, "plain");
  const QStringList names = {"c", "a", "b"};
  const QStringList sizes = {"20", "3", "100"};
  for (int r = 0; r < 3; ++r) {
    list.InsertItem(r, names[r]);
    list.SetItemText(r, 1, sizes[r]);
  }
  auto column = [&](int c) {
    QStringList texts;
    for (int r = 0; r < list.GetItemCount(); ++r)
      texts << list.GetItemText(r, c);
    return texts;
  };

  emit list.header()->sectionClicked(2);  // no sort flags: nothing changes
  EXPECT_EQ(column(0), names);
  EXPECT_EQ(list.SortColumn(), -1);

  list.SetColumnSort(1, CListCtrlEx::kSortFlip, 1);
  emit list.header()->sectionClicked(1);
  EXPECT_EQ(column(1), (QStringList{"3", "20", "100"}));  // first click ascending
  emit list.header()->sectionClicked(1);
  EXPECT_EQ(column(1), (QStringList{"100", "20", "3"}));  // second click descending
  EXPECT_EQ(list.header()->sortIndicatorSection(), 1);

  // Fixed direction without the flip bit; a compare function on the rows' user data wins.
  list.SetColumnSort(0, CListCtrlEx::kSortDescending, 3);
  EXPECT_EQ(list.SortByColumn(0, 1), 1);
  EXPECT_EQ(column(0), (QStringList{"c", "b", "a"}));
  int order[3] = {2, 0, 1};
  for (int r = 0; r < 3; ++r)
    list.SetItemUserData(r, &order[r]);
  list.SetColumnSort(0, CListCtrlEx::kSortAscending, 3, [](void* a, void* b, std::intptr_t p) {
    EXPECT_EQ(p, 0);  // the sort column
    return *static_cast<int*>(a) - *static_cast<int*>(b);
  });
  list.SortByColumn(0, 0);
  EXPECT_EQ(column(0), (QStringList{"b", "a", "c"}));
}

TEST(ListCtrlEx, ClickEditEnterEscapeFocusAndOutsideClicks) {
  test::WidgetTestApp();
  ListWindow w;
  CListCtrlEx* list = w.list;
  auto* editor = new QLineEdit;
  std::vector<int> commits;
  Edit end = [&](QWidget*& e, int, int, QString& text, void*, CListCtrlEx*, int commit) {
    commits.push_back(commit);
    text = static_cast<QLineEdit*>(e)->text();
    return commit;
  };
  list->SetColumnEditor(1, nullptr, end, editor);
  int ownerClicks = 0;
  int ownerDoubleClicks = 0;
  QObject::connect(list, &QTreeWidget::itemClicked, [&] { ++ownerClicks; });
  QObject::connect(list, &QTreeWidget::itemDoubleClicked, [&] { ++ownerDoubleClicks; });

  // A click on an editable cell opens the editor over it; the owner does not see the click.
  w.Click(0, 1);
  ASSERT_TRUE(list->IsEditing());
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->parentWidget(), list->viewport());
  EXPECT_TRUE(editor->geometry().contains(w.CellCentre(0, 1)));
  EXPECT_EQ(ownerClicks, 0);
  EXPECT_EQ(CMsgHook::RegistrationCount(), 1);

  // Enter keeps the text.
  editor->setText("42");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_FALSE(list->IsEditing());
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(list->GetItemText(0, 1), "42");
  EXPECT_EQ(commits, std::vector<int>{1});
  EXPECT_EQ(CMsgHook::RegistrationCount(), 0);

  // Escape cancels and goes no further (a dialog would close on it).
  int escapes = 0;
  QObject::connect(list, &QTreeWidget::itemActivated, [&] { ++escapes; });
  w.Click(1, 1);
  editor->setText("nope");
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_EQ(list->GetItemText(1, 1), "2");
  EXPECT_EQ(commits.back(), 0);

  // Focus moving to another control commits.
  w.Click(2, 1);
  editor->setText("7");
  w.after->setFocus();
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(list->GetItemText(2, 1), "7");

  // A click outside the editor commits, and a click on another editable cell moves the edit.
  w.Click(0, 1);
  editor->setText("8");
  QTest::mouseClick(w.before, Qt::LeftButton);
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(list->GetItemText(0, 1), "8");
  w.Click(0, 1);
  editor->setText("9");
  w.Click(1, 1);
  EXPECT_EQ(list->GetItemText(0, 1), "9");
  EXPECT_TRUE(list->IsEditing());
  EXPECT_EQ(list->EditRow(), 1);
  QTest::keyClick(editor, Qt::Key_Escape);

  // Cells without an editor: the owner receives clicks and double clicks as usual.
  w.Click(1, 0);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, w.CellCentre(1, 0));
  EXPECT_FALSE(list->IsEditing());
  EXPECT_GE(ownerClicks, 1);
  EXPECT_EQ(ownerDoubleClicks, 1);

  // A row deleted while its cell is edited takes the edit with it: nothing is written into the
  // row that moved up, and the callback hears of no row.
  int seenRow = 99;
  list->SetColumnEditor(
      1, nullptr,
      [&](QWidget*&, int row, int, QString& text, void*, CListCtrlEx*, int) {
        seenRow = row;
        text = "lost";
        return 1;
      },
      editor);
  w.Click(0, 1);
  list->DeleteItem(0);
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(seenRow, -1);
  EXPECT_EQ(list->GetItemText(0, 1), "2");

  // An editor destroyed while it is open leaves no registration and no edit behind.
  w.Click(0, 1);
  ASSERT_TRUE(list->IsEditing());
  delete editor;
  EXPECT_EQ(CMsgHook::RegistrationCount(), 0);
  QTest::mouseClick(w.before, Qt::LeftButton);
  w.Click(1, 1);  // the column's editor is gone: no edit starts
  EXPECT_FALSE(list->IsEditing());
}

TEST(ListCtrlEx, ComboEditorStaysOpenWhileItsListIsDroppedDown) {
  test::WidgetTestApp();
  ListWindow w;
  CListCtrlEx* list = w.list;
  auto* combo = new QComboBox(&w.window);
  combo->addItems({QStringLiteral("不上传"), QStringLiteral("第一课"), QStringLiteral("第二课")});
  combo->hide();
  std::vector<int> commits;
  list->SetColumnEditor(
      3,
      [](QWidget*& e, int, int, QString& text, void*, CListCtrlEx*, int) {
        auto* c = static_cast<QComboBox*>(e);
        c->setCurrentIndex(std::max(0, c->findText(text)));
        return 1;
      },
      [&](QWidget*& e, int, int, QString& text, void*, CListCtrlEx*, int commit) {
        commits.push_back(commit);
        text = static_cast<QComboBox*>(e)->currentText();
        return 1;
      },
      combo);

  w.Click(1, 3);
  ASSERT_TRUE(list->IsEditing());
  EXPECT_TRUE(combo->isVisible());
  EXPECT_TRUE(combo->geometry().contains(w.CellCentre(1, 3)));

  combo->showPopup();
  ASSERT_TRUE(CMsgHook::Find(combo));
  EXPECT_TRUE(CMsgHook::Find(combo)->dropDownOpen);
  combo->setCurrentIndex(2);
  // Focus changes and outside input seen while the list is down do not end the edit.
  w.after->setFocus();
  QWheelEvent wheel(QPointF(5, 5), w.before->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w.before, &wheel);
  EXPECT_TRUE(list->IsEditing());
  EXPECT_TRUE(commits.empty());

  combo->hidePopup();
  EXPECT_FALSE(CMsgHook::Find(combo)->dropDownOpen);
  combo->setFocus();
  w.after->setFocus();  // now the focus change commits the choice
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(commits, std::vector<int>{1});
  EXPECT_EQ(list->GetItemText(1, 3), QStringLiteral("第二课"));
}

TEST(ListCtrlEx, TabMovesTheEditorAcrossEditableCellsThenOn) {
  test::WidgetTestApp();
  ListWindow w;
  CListCtrlEx* list = w.list;
  auto* editor = new QLineEdit;
  list->SetColumnEditor(1, nullptr, nullptr, editor);
  list->SetColumnEditor(3, nullptr, nullptr, editor);
  list->SetCellReadOnly(1, 3, true);

  ASSERT_EQ(list->BeginEdit(0, 1), 1);
  editor->setText("tabbed");
  auto tab = [&](Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
    QCoreApplication::processEvents();  // the editor hands Tab to the list by a posted event
  };
  tab();
  EXPECT_EQ(list->GetItemText(0, 1), "tabbed");  // leaving a cell commits it
  EXPECT_EQ(std::make_pair(list->EditRow(), list->EditColumn()), std::make_pair(0, 3));
  tab();
  EXPECT_EQ(std::make_pair(list->EditRow(), list->EditColumn()), std::make_pair(1, 1));
  tab();  // (1, 3) is read-only
  EXPECT_EQ(std::make_pair(list->EditRow(), list->EditColumn()), std::make_pair(2, 1));
  tab(Qt::ShiftModifier);
  EXPECT_EQ(std::make_pair(list->EditRow(), list->EditColumn()), std::make_pair(1, 1));
  tab();
  tab();
  EXPECT_EQ(std::make_pair(list->EditRow(), list->EditColumn()), std::make_pair(2, 3));
  // After the last editable cell, Tab goes on to the next control.
  tab();
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(QApplication::focusWidget(), w.after);
}

class AppendingList : public CListCtrlEx {
 public:
  int OnAppendRow() override {
    if (appended >= limit) return 0;
    ++appended;
    InsertItem(GetItemCount(), QStringLiteral("new"));
    return 1;
  }
  int appended = 0;
  int limit = 1;
};

TEST(ListCtrlEx, TabAppendAndDeleteKey) {
  test::WidgetTestApp();
  auto* list = new AppendingList;
  ListWindow w(list);
  auto* editor = new QLineEdit;
  list->SetColumnEditor(3, nullptr, nullptr, editor);
  list->SetTabAppend(true);
  ASSERT_EQ(list->BeginEdit(2, 3), 1);
  QTest::keyClick(editor, Qt::Key_Tab);
  QCoreApplication::processEvents();
  EXPECT_EQ(list->GetItemCount(), 4);
  EXPECT_EQ(std::make_pair(list->EditRow(), list->EditColumn()), std::make_pair(3, 3));
  // No more rows to add: the Tab is used up and the edit ends in place.
  QTest::keyClick(editor, Qt::Key_Tab);
  QCoreApplication::processEvents();
  EXPECT_EQ(list->GetItemCount(), 4);
  QTest::keyClick(editor, Qt::Key_Escape);

  int payload = 5;
  list->SetItemUserData(1, &payload);
  list->topLevelItem(1)->setSelected(true);
  list->topLevelItem(2)->setSelected(true);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(list->GetItemCount(), 4);  // the Delete key is off by default
  list->SetDeleteKeyDeletes(true);
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(list->GetItemCount(), 2);
  EXPECT_EQ(list->GetItemText(1, 0), "new");
}

TEST(ListCtrlEx, EndCallbackMinusOneResortsWithoutFlipping) {
  test::WidgetTestApp();
  ListWindow w;
  CListCtrlEx* list = w.list;
  list->SetColumnSort(1, CListCtrlEx::kSortFlip, 1);
  emit list->header()->sectionClicked(1);  // ascending: 1, 2, 3
  auto* editor = new QLineEdit;
  list->SetColumnEditor(
      1, nullptr,
      [](QWidget*& e, int, int, QString& text, void*, CListCtrlEx*, int) {
        text = static_cast<QLineEdit*>(e)->text();
        return -1;
      },
      editor);
  ASSERT_EQ(list->BeginEdit(0, 1), 1);
  editor->setText("10");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(list->GetItemText(0, 1), "2");
  EXPECT_EQ(list->GetItemText(2, 1), "10");
  EXPECT_EQ(list->GetColumnInfo(1)->sortFlags & 3, CListCtrlEx::kSortAscending);
}

}  // namespace
}  // namespace vortane::ui
