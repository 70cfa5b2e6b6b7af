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
  // The header follows the list's colours too (a shade darker than the rows), so a dark list
  // does not wear a light system header.
  const QColor headerFace = backgroundColor.darker(125);
  if (header()->palette().color(QPalette::Button) != headerFace) {
    QPalette colours = header()->palette();
    colours.setColor(QPalette::Button, headerFace);
    colours.setColor(QPalette::Window, headerFace);
    colours.setColor(QPalette::ButtonText,
                     headerFace.lightness() < 128 ? QColor(230, 230, 230) : QColor(30, 30, 30));
    header()->setPalette(colours);
  }
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
