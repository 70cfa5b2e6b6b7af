#pragma once

#include <QColor>
#include <QTreeWidget>

namespace vortane::ui {

// A flicker-free report list with its own background, text and selection colours instead of
// the desktop theme's. The colours are plain members; the next paint uses them:
//
//   list->backgroundColor = QColor(88, 88, 88);
//   list->textColor = QColor(0, 255, 0);
//   list->viewport()->update();
class CSkinListCtrl : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CSkinListCtrl(QWidget* parent = nullptr);

  QColor selectedTextColor = QColor(255, 255, 255);
  QColor selectedBackgroundColor = QColor(0, 0, 0);
  QColor backgroundColor = QColor(250, 250, 250);
  QColor textColor = QColor(255, 0, 0);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& options,
               const QModelIndex& index) const override;
};

}  // namespace vortane::ui
