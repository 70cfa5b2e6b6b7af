#include "ui/popup_base_dlg.h"

#include <tinyxml2.h>

#include <QFile>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QStringDecoder>
#include <QWindow>
#include <cctype>
#include <cstdlib>

#include "platform/code_page.h"
#include "ui/skin_drawing.h"
#include "ui/ui_font.h"

namespace vortane::ui {
namespace {

// Twice the width of a Windows dialog frame: the depth of the resize zones and of the border
// above the caption band.
constexpr int kFrameZone = 6;
// The title's band when the skin gives none.
constexpr int kDefaultCaptionHeight = 30;

// The leading decimal integer of an attribute, as atoi reads it; missing or empty is 0.
int LeadingInt(const char* text) {
  if (!text) return 0;
  return static_cast<int>(std::strtol(text, nullptr, 10));
}

// Attribute text from the skin file: UTF-8 when it is valid UTF-8, else the ANSI code page
// (GBK), which is what skin files written on Windows use.
QString AttributeText(const char* text) {
  if (!text) return {};
  const QByteArray bytes(text);
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString decoded = utf8(bytes);
  if (!utf8.hasError()) return decoded;
  return platform::AnsiToWide(std::string_view(bytes.constData(), bytes.size()));
}

Qt::Edges EdgesOf(CPopupBaseDlg::HitArea area) {
  using A = CPopupBaseDlg::HitArea;
  switch (area) {
    case A::kLeft:
      return Qt::LeftEdge;
    case A::kRight:
      return Qt::RightEdge;
    case A::kTop:
      return Qt::TopEdge;
    case A::kBottom:
      return Qt::BottomEdge;
    case A::kTopLeft:
      return Qt::TopEdge | Qt::LeftEdge;
    case A::kTopRight:
      return Qt::TopEdge | Qt::RightEdge;
    case A::kBottomLeft:
      return Qt::BottomEdge | Qt::LeftEdge;
    case A::kBottomRight:
      return Qt::BottomEdge | Qt::RightEdge;
    default:
      return {};
  }
}

Qt::CursorShape CursorOf(CPopupBaseDlg::HitArea area) {
  const Qt::Edges edges = EdgesOf(area);
  if (edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge))
    return Qt::SizeFDiagCursor;
  if (edges == (Qt::TopEdge | Qt::RightEdge) || edges == (Qt::BottomEdge | Qt::LeftEdge))
    return Qt::SizeBDiagCursor;
  if (edges == Qt::LeftEdge || edges == Qt::RightEdge) return Qt::SizeHorCursor;
  if (edges == Qt::TopEdge || edges == Qt::BottomEdge) return Qt::SizeVerCursor;
  return Qt::ArrowCursor;
}

}  // namespace

CPopupBaseDlg::CPopupBaseDlg(QWidget* parent) : QDialog(parent) {
  // A borderless top-level window with a taskbar entry; the skin paints the frame.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowSystemMenuHint);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  captionFont_ = MakeUiFont(QStringLiteral("宋体"), 12, 500);
}

bool CPopupBaseDlg::LoadSkin(const QString& xmlPath) {
  skinRects_.clear();
  tinyxml2::XMLDocument document;
  const QByteArray nativePath = QFile::encodeName(xmlPath);
  bool ok = document.LoadFile(nativePath.constData()) == tinyxml2::XML_SUCCESS;
  const tinyxml2::XMLElement* skin = ok ? document.FirstChildElement() : nullptr;
  if (skin) {
    const int slash =
        std::max(xmlPath.lastIndexOf(QLatin1Char('/')), xmlPath.lastIndexOf(QLatin1Char('\\')));
    QString file = AttributeText(skin->Attribute("file"));
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    skinBitmap_ = LoadSkinPicture(xmlPath.left(slash + 1) + file);
    ok = !skinBitmap_.isNull();
  } else {
    ok = false;
  }
  if (ok) {
    const int bw = skinBitmap_.width();
    const int bh = skinBitmap_.height();
    for (const tinyxml2::XMLElement* piece = skin->FirstChildElement(); piece;
         piece = piece->NextSiblingElement()) {
      int left = LeadingInt(piece->Attribute("left"));
      int top = LeadingInt(piece->Attribute("top"));
      if (left < 0) left += bw;
      if (top < 0) top += bh;
      skinRects_.append(QRect(left, top, LeadingInt(piece->Attribute("width")),
                              LeadingInt(piece->Attribute("height"))));
    }
  }
  ApplyMinimumSize();
  RebuildBackground();
  update();
  return ok;
}

void CPopupBaseDlg::ToggleMaximize() {
  if (isMaximized())
    showNormal();
  else
    showMaximized();
}

void CPopupBaseDlg::SetResizable(bool resizable) {
  resizable_ = resizable;
  if (!resizable_) unsetCursor();
}

void CPopupBaseDlg::SetMinimumTrackSize(int minimumWidth, int minimumHeight) {
  minimumWidth_ = minimumWidth;
  minimumHeight_ = minimumHeight;
  ApplyMinimumSize();
}

void CPopupBaseDlg::OnDrawExtra(QPainter&) {}

QSize CPopupBaseDlg::SkinMinimumSize() const {
  if (skinRects_.size() != 9) return {};
  const QVector<QRect>& r = skinRects_;
  int w = std::max(r[0].width() + r[2].width() + 1, r[6].width() + r[8].width() + 1);
  int h = std::max(r[0].height() + r[6].height() + 1, r[2].height() + r[8].height() + 1);
  if (minimumWidth_ > 0) w = std::max(w, minimumWidth_);
  if (minimumHeight_ > 0) h = std::max(h, minimumHeight_);
  return QSize(w, h);
}

void CPopupBaseDlg::ApplyMinimumSize() {
  if (!systemMinimum_.isValid()) systemMinimum_ = minimumSize();
  const QSize skin = SkinMinimumSize();
  setMinimumSize(skin.isEmpty() ? systemMinimum_ : systemMinimum_.expandedTo(skin));
}

int CPopupBaseDlg::CaptionBandHeight() const {
  return skinRects_.isEmpty() ? kDefaultCaptionHeight : skinRects_[0].height();
}

QImage CPopupBaseDlg::RenderBackground(QSize size) const {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  QPainter p(&image);
  const int W = size.width();
  const int H = size.height();
  if (skinRects_.size() >= 9 && !skinBitmap_.isNull()) {
    const QVector<QRect>& r = skinRects_;
    const QImage& b = skinBitmap_;
    image.fill(Qt::black);
    auto stretch = [&](int i, const QRect& target) {
      if (target.width() > 0 && target.height() > 0) p.drawImage(target, b, r[i]);
    };
    p.drawImage(QPoint(0, 0), b, r[0]);
    stretch(1, QRect(QPoint(r[0].width(), 0), QPoint(W - r[2].width() - 1, r[1].height() - 1)));
    p.drawImage(QPoint(W - r[2].width(), 0), b, r[2]);
    stretch(3, QRect(QPoint(0, r[0].height()), QPoint(r[3].width() - 1, H - r[6].height() - 1)));
    stretch(4, QRect(QPoint(r[3].width(), r[0].height()),
                     QPoint(W - r[5].width() - 1, H - r[6].height() - 1)));
    stretch(5,
            QRect(QPoint(W - r[5].width(), r[2].height()), QPoint(W - 1, H - r[8].height() - 1)));
    p.drawImage(QPoint(0, H - r[6].height()), b, r[6]);
    stretch(7, QRect(QPoint(r[6].width(), H - r[6].height()),
                     QPoint(W - r[8].width() - 1, H - r[6].height() + r[6].height() - 1)));
    p.drawImage(QPoint(W - r[8].width(), H - r[8].height()), b, r[8]);
  } else {
    // No usable skin: a plain frame in the skin's colours, so the dialog stays readable.
    image.fill(QColor(70, 70, 70));
    QLinearGradient band(0, 0, 0, kDefaultCaptionHeight);
    band.setColorAt(0, QColor(60, 66, 75));
    band.setColorAt(1, QColor(44, 48, 55));
    p.fillRect(QRect(0, 0, W, kDefaultCaptionHeight), band);
    p.setPen(QColor(28, 30, 34));
    p.drawRect(QRect(0, 0, W - 1, H - 1));
  }
  return image;
}

void CPopupBaseDlg::RebuildBackground() {
  background_ = RenderBackground(size());
  CutCornerRegion(background_, this, kCornerKeyColour);
}

void CPopupBaseDlg::paintEvent(QPaintEvent*) {
  if (background_.size() != size()) RebuildBackground();
  QPainter p(this);
  p.drawImage(0, 0, background_);
  const QString title = windowTitle();
  if (!title.isEmpty()) {
    const QRect band(30, 0, width() - 60, 30);
    p.setFont(captionFont_);
    const QString shown =
        QFontMetrics(captionFont_).elidedText(title, Qt::ElideRight, band.width());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    p.setPen(QColor(85, 85, 85));
    p.drawText(band, flags, shown);
    p.setPen(Qt::white);
    p.drawText(band.translated(-1, -1), flags, shown);
  }
  OnDrawExtra(p);
}

void CPopupBaseDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  RebuildBackground();
  update();
}

void CPopupBaseDlg::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange) update();
  QDialog::changeEvent(event);
}

CPopupBaseDlg::HitArea CPopupBaseDlg::HitTest(const QPoint& pos) const {
  if (isMinimized()) return HitArea::kClient;
  const int b = kFrameZone;
  const int c = kFrameZone;
  const int W = width();
  const int H = height();
  const int x = pos.x();
  const int y = pos.y();
  if (x >= b && x <= W - b && y >= c && y < CaptionBandHeight()) return HitArea::kCaption;
  if (resizable_ && !isMaximized()) {
    if (x <= b)
      return y <= c ? HitArea::kTopLeft : (y < H - c ? HitArea::kLeft : HitArea::kBottomLeft);
    if (x >= W - 1 - b)
      return y <= c ? HitArea::kTopRight : (y < H - c ? HitArea::kRight : HitArea::kBottomRight);
    if (y <= c) return HitArea::kTop;
    if (y >= H - 1 - c) return HitArea::kBottom;
  }
  return HitArea::kClient;
}

void CPopupBaseDlg::mousePressEvent(QMouseEvent* event) {
  const HitArea area = HitTest(event->position().toPoint());
  if (event->button() != Qt::LeftButton || area == HitArea::kClient || isMaximized()) {
    QDialog::mousePressEvent(event);
    return;
  }
  QWindow* window = windowHandle();
  const bool system =
      window && (area == HitArea::kCaption ? window->startSystemMove()
                                           : window->startSystemResize(EdgesOf(area)));
  if (system) return;
  // The window system offers no move/resize loop (no window manager): follow the mouse here.
  dragArea_ = area;
  dragStartGlobal_ = event->globalPosition().toPoint();
  dragStartGeometry_ = geometry();
  event->accept();
}

void CPopupBaseDlg::mouseMoveEvent(QMouseEvent* event) {
  if (dragArea_ == HitArea::kClient) {
    const HitArea area = HitTest(event->position().toPoint());
    if (area == HitArea::kClient || area == HitArea::kCaption)
      unsetCursor();
    else
      setCursor(CursorOf(area));
    QDialog::mouseMoveEvent(event);
    return;
  }
  const QPoint delta = event->globalPosition().toPoint() - dragStartGlobal_;
  if (dragArea_ == HitArea::kCaption) {
    move(dragStartGeometry_.topLeft() + delta);
    return;
  }
  QRect g = dragStartGeometry_;
  const Qt::Edges edges = EdgesOf(dragArea_);
  const QSize least = minimumSize().expandedTo(QSize(1, 1));
  if (edges & Qt::LeftEdge)
    g.setLeft(std::min(g.left() + delta.x(), g.right() - least.width() + 1));
  if (edges & Qt::RightEdge)
    g.setRight(std::max(g.right() + delta.x(), g.left() + least.width() - 1));
  if (edges & Qt::TopEdge) g.setTop(std::min(g.top() + delta.y(), g.bottom() - least.height() + 1));
  if (edges & Qt::BottomEdge)
    g.setBottom(std::max(g.bottom() + delta.y(), g.top() + least.height() - 1));
  setGeometry(g);
}

void CPopupBaseDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (dragArea_ != HitArea::kClient && event->button() == Qt::LeftButton) {
    dragArea_ = HitArea::kClient;
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

void CPopupBaseDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && resizable_ &&
      HitTest(event->position().toPoint()) == HitArea::kCaption) {
    ToggleMaximize();
    return;
  }
  QDialog::mouseDoubleClickEvent(event);
}

}  // namespace vortane::ui
