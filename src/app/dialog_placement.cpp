#include "app/dialog_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace vortane {
namespace {

// Between the toolbar's lower edge and the dialog.
constexpr int kGap = 8;

}  // namespace

void PlaceBelowToolbar(const QWidget& toolbar, QWidget& dialog) {
  QScreen* screen =
      toolbar.screen() != nullptr ? toolbar.screen() : QGuiApplication::primaryScreen();
  QPoint place(toolbar.x() + (toolbar.width() - dialog.width()) / 2,
               toolbar.y() + toolbar.height() + kGap);
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    place.setX(std::clamp(place.x(), area.left(),
                          std::max(area.left(), area.right() + 1 - dialog.width())));
    place.setY(std::clamp(place.y(), area.top(),
                          std::max(area.top(), area.bottom() + 1 - dialog.height())));
  }
  dialog.move(place);
}

}  // namespace vortane
