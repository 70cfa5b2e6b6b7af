#include "settings/video_dlg1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "platform/program_info.h"
#include "platform/wayland_session.h"
#include "settings/camera_graph.h"
#include "settings/camera_window_placement.h"

namespace vortane {
namespace {

const QColor kBackground(70, 70, 70);
const QColor kBusyTextColour(0, 255, 0);
// Resizing by hand stops where the window would no longer be taken back from "vw1.cfg".
constexpr int kSmallestSide = kMinimumStoredCameraWindowSide + 1;

// A tiling compositor (sway) lays a normal X11 window over the whole output; a utility window
// floats above the others at its own size, as every window does on GNOME or KDE. Under X11 the
// camera window keeps its taskbar entry.
Qt::WindowFlags CameraWindowFlags() {
  const Qt::WindowType kind = platform::IsWaylandSession() ? Qt::Tool : Qt::Window;
  return kind | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
}

QRect PrimaryScreenGeometry() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

QString CVideoDlg1::BusyText() {
  return QStringLiteral(
      "\r\n\r\n正在使用摄像头视频...\r\n本窗口不提供视频预览...\r\n请面向摄像头方向保持微笑");
}

QString CVideoDlg1::OpenFailedText() {
  return QStringLiteral("无法打开摄像头，请检查是否正确插入，或则被其他应用占用！");
}

CVideoDlg1::CVideoDlg1(QWidget* parent) : QWidget(parent, CameraWindowFlags()) {
  setWindowTitle(ProgramTitle());
  QPalette colours = palette();
  colours.setColor(QPalette::Window, kBackground);
  setPalette(colours);
  setAutoFillBackground(true);
  setMouseTracking(true);  // the resize cursors along the edges
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(kSmallestSide, kSmallestSide);
  resize(kDefaultCameraWindowWidth, kDefaultCameraWindowHeight);

  busyText_ = new QLabel(this);
  busyText_->setObjectName(QStringLiteral("busyText"));
  QPalette textColours = busyText_->palette();
  textColours.setColor(QPalette::WindowText, kBusyTextColour);
  busyText_->setPalette(textColours);
  busyText_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  busyText_->setWordWrap(true);
  // A label breaks lines at "\n"; a carriage return would show as a space before each line.
  busyText_->setText(BusyText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  busyText_->hide();
}

CVideoDlg1::~CVideoDlg1() {
  ReleasePreview();
}

void CVideoDlg1::SetCamera(const QString& name, int width, int height) {
  deviceName_ = name;
  cameraWidth_ = width;
  cameraHeight_ = height;
}

void CVideoDlg1::OpenCameraWindow(bool withPicture) {
  // The failure message waits in its own event loop, where another camera command may arrive.
  if (opening_) return;
  opening_ = true;
  PlaceWindow();
  if (withPicture) {
    busyText_->hide();
    if (!StartPreview()) {
      QPointer<CVideoDlg1> alive(this);
      ShowOpenFailure();
      if (!alive) return;  // the program ended while the message was shown
      opening_ = false;
      CloseCameraWindow();
      return;
    }
  } else {
    // The camera is being recorded: no preview may hold it.
    ReleasePreview();
    busyText_->setGeometry(rect());
    busyText_->show();
    busyText_->raise();
  }
  update();
  open_ = true;
  opening_ = false;
}

void CVideoDlg1::CloseCameraWindow() {
  const bool shown = open_ || isVisible();
  ReleasePreview();
  busyText_->hide();
  if (!shown) return;
  drag_ = Drag::kNone;
  // A rectangle that cannot be written is simply not remembered.
  WriteCameraWindowRect(CameraWindowFilePath(), CameraWindowRect::FromGeometry(geometry()));
  hide();
  open_ = false;
  emit cameraWindowClosed();
}

void CVideoDlg1::PlaceWindow() {
  const QRect screen = PrimaryScreenGeometry();
  const CameraWindowRect place =
      PlaceCameraWindow(ReadCameraWindowRect(CameraWindowFilePath()), screen);
  maximised_ = false;
  drag_ = Drag::kNone;
  setGeometry(place.ToGeometry());
  show();
  raise();
  activateWindow();
}

bool CVideoDlg1::StartPreview() {
  ReleasePreview();
  auto graph = std::make_unique<CameraGraph>();
  bool ok = graph->Open(deviceName_);
  // A camera without an uncompressed format of that size keeps its current one.
  if (ok && cameraWidth_ > 0) graph->SetFormat(cameraWidth_, cameraHeight_);
  ok = ok && graph->AttachPreview(this) && graph->RenderPreview() && graph->Run();
  if (!ok) return false;  // the graph stops and releases what it built as it goes
  // A camera that fails later (unplugged, taken by another program) ends the window the same way,
  // once the camera has finished telling.
  graph->SetFailureHandler([this](const QString&) {
    QTimer::singleShot(0, this, [this] {
      if (!graph_) return;
      ReleasePreview();
      QPointer<CVideoDlg1> alive(this);
      ShowOpenFailure();
      if (alive) CloseCameraWindow();
    });
  });
  graph_ = std::move(graph);
  graph_->FitToWindow();
  return true;
}

void CVideoDlg1::ReleasePreview() {
  graph_.reset();  // stops and releases
}

void CVideoDlg1::ShowOpenFailure() {
  if (messageSink_) {
    messageSink_(this, OpenFailedText());
    return;
  }
  QMessageBox box(QMessageBox::Warning, ProgramTitle(), OpenFailedText(), QMessageBox::Ok, this);
  box.exec();
}

void CVideoDlg1::Maximise() {
  normalGeometry_ = geometry();
  QScreen* current = screen();
  setGeometry(current ? current->availableGeometry() : PrimaryScreenGeometry());
  maximised_ = true;
}

void CVideoDlg1::Restore() {
  setGeometry(normalGeometry_);
  maximised_ = false;
}

Qt::Edges CVideoDlg1::EdgesAt(QPoint pos) const {
  Qt::Edges edges;
  if (pos.x() < kEdgeZone) {
    edges |= Qt::LeftEdge;
  } else if (pos.x() >= width() - kEdgeZone) {
    edges |= Qt::RightEdge;
  }
  if (pos.y() < kEdgeZone) {
    edges |= Qt::TopEdge;
  } else if (pos.y() >= height() - kEdgeZone) {
    edges |= Qt::BottomEdge;
  }
  return edges;
}

void CVideoDlg1::UpdateCursor(Qt::Edges edges) {
  const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
  const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
  if (horizontal && vertical) {
    const bool falling =
        edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
    setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
  } else if (horizontal) {
    setCursor(Qt::SizeHorCursor);
  } else if (vertical) {
    setCursor(Qt::SizeVerCursor);
  } else {
    unsetCursor();
  }
}

void CVideoDlg1::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      if (maximised_) {
        Restore();
      } else {
        CloseCameraWindow();
      }
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();  // Enter does nothing here
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void CVideoDlg1::mousePressEvent(QMouseEvent* event) {
  // A maximised window stays put, as one would on Windows.
  if (event->button() != Qt::LeftButton || maximised_) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  const Qt::Edges edges = EdgesAt(event->position().toPoint());
  QWindow* window = windowHandle();
  // The window manager moves and resizes best; without one the window does it itself.
  if (edges) {
    if (window && window->startSystemResize(edges)) return;
    drag_ = Drag::kResize;
    dragEdges_ = edges;
  } else {
    if (window && window->startSystemMove()) return;
    drag_ = Drag::kMove;
  }
  dragStart_ = event->globalPosition().toPoint();
  dragGeometry_ = geometry();
}

void CVideoDlg1::mouseMoveEvent(QMouseEvent* event) {
  if (drag_ == Drag::kNone) {
    UpdateCursor(maximised_ ? Qt::Edges() : EdgesAt(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
    return;
  }
  event->accept();
  const QPoint delta = event->globalPosition().toPoint() - dragStart_;
  if (drag_ == Drag::kMove) {
    move(dragGeometry_.topLeft() + delta);
    return;
  }
  // Edges as exclusive coordinates; a dragged edge stops before the window gets too small.
  int left = dragGeometry_.x();
  int top = dragGeometry_.y();
  int right = left + dragGeometry_.width();
  int bottom = top + dragGeometry_.height();
  if (dragEdges_ & Qt::LeftEdge) left = std::min(left + delta.x(), right - kSmallestSide);
  if (dragEdges_ & Qt::RightEdge) right = std::max(right + delta.x(), left + kSmallestSide);
  if (dragEdges_ & Qt::TopEdge) top = std::min(top + delta.y(), bottom - kSmallestSide);
  if (dragEdges_ & Qt::BottomEdge) bottom = std::max(bottom + delta.y(), top + kSmallestSide);
  setGeometry(left, top, right - left, bottom - top);
}

void CVideoDlg1::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && drag_ != Drag::kNone) {
    drag_ = Drag::kNone;
    event->accept();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void CVideoDlg1::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mouseDoubleClickEvent(event);
    return;
  }
  event->accept();
  drag_ = Drag::kNone;
  if (maximised_) {
    Restore();
  } else {
    Maximise();
  }
}

void CVideoDlg1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  busyText_->setGeometry(rect());
  if (graph_) graph_->FitToWindow();
  update();
}

void CVideoDlg1::closeEvent(QCloseEvent* event) {
  // Closed by the window manager (Alt+F4): the same as closing it from the toolbar.
  CloseCameraWindow();
  event->accept();
}

}  // namespace vortane
