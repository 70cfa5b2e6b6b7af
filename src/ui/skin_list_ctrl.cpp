#include "ui/skin_list_ctrl.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>

namespace vortane::ui {

CSkinListCtrl::CSkinListCtrl(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setFrameShape(QFrame::NoFrame);
  // The list paints its whole viewport itself, in its own background colour.
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinListCtrl::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), backgroundColor);
  }
  QTreeWidget::paintEvent(event);
}

void CSkinListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& options,
                            const QModelIndex& index) const {
  QStyleOptionViewItem opt(options);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    opt.palette.setColor(group, QPalette::Base, backgroundColor);
    opt.palette.setColor(group, QPalette::AlternateBase, backgroundColor);
    opt.palette.setColor(group, QPalette::Text, textColor);
    opt.palette.setColor(group, QPalette::Highlight, selectedBackgroundColor);
    opt.palette.setColor(group, QPalette::HighlightedText, selectedTextColor);
  }
  const bool selected = selectionModel() && selectionModel()->isSelected(index);
  painter->fillRect(opt.rect, selected ? selectedBackgroundColor : backgroundColor);
  QTreeWidget::drawRow(painter, opt, index);
}

}  // namespace vortane::ui
