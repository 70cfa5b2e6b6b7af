#include "settings/standard_size_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/region_geometry.h"

namespace vortane {

StandardSizeDlg::StandardSizeDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      chosenIndex_(kPreselectedStandardSize) {
  setWindowTitle(QStringLiteral("设置一个标准区域"));
  setModal(true);

  auto* label = new QLabel(QStringLiteral("选择标准区域："), this);
  sizeList_ = new QComboBox(this);
  sizeList_->setObjectName(QString::number(kSizeListId));
  sizeList_->addItems(StandardSizeTexts());
  sizeList_->setCurrentIndex(kPreselectedStandardSize);
  label->setBuddy(sizeList_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(sizeList_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(260, 0)));
}

void StandardSizeDlg::PlaceAt(QPoint cursor) {
  QPoint topLeft = cursor;
  if (QScreen* screen = QGuiApplication::screenAt(cursor)) {
    // A right-click near the bottom-right corner would otherwise leave the buttons off screen.
    QRect area = screen->geometry();
    QSize size = frameGeometry().size().expandedTo(this->size());
    topLeft.setX(std::clamp(cursor.x(), area.left(),
                            std::max(area.left(), area.right() + 1 - size.width())));
    topLeft.setY(std::clamp(cursor.y(), area.top(),
                            std::max(area.top(), area.bottom() + 1 - size.height())));
  }
  move(topLeft);
}

QSize StandardSizeDlg::ChosenSize() const {
  return StandardSizeForIndex(chosenIndex_);
}

void StandardSizeDlg::accept() {
  chosenIndex_ = sizeList_->currentIndex();
  QDialog::accept();
}

void StandardSizeDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Without a window manager nobody else gives the dialog the keyboard.
  raise();
  activateWindow();
  sizeList_->setFocus();
}

}  // namespace vortane
