#include "ui/dialog_utility.h"

#include <QPainter>

#include "ui/skin_drawing.h"

namespace vortane::ui {

bool CDialogUtility::LoadBackground(const QString& path) {
  background_ = LoadSkinPicture(path);
  backgroundWidth_ = background_.width();
  backgroundHeight_ = background_.height();
  return !background_.isNull();
}

std::optional<QRegion> CDialogUtility::BackgroundRegion() const {
  if (background_.isNull()) return std::nullopt;
  return OpaqueRegion(background_, kShapeKeyColour);
}

bool CDialogUtility::DrawBackground(QPainter& painter, const QRect& rect) const {
  if (background_.isNull()) return false;
  const QPainter::CompositionMode mode = painter.compositionMode();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(rect, background_);
  painter.setCompositionMode(mode);
  return true;
}

}  // namespace vortane::ui
