#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;

namespace vortane {

class CameraGraph;

// The camera window: a small frameless, top-most window in the taskbar that shows the live
// picture of the configured camera, so the picture becomes part of a desktop recording. While the
// camera itself is recorded it cannot be previewed, and the window shows a fixed text instead.
//
// It is dragged from anywhere, resized by its edges, maximised by a double click; Esc restores a
// maximised window and closes a normal one. It opens again where it was closed ("vw1.cfg"), and
// says so (cameraWindowClosed) whenever it closes.
//
// It is a top-level window even with a parent; without one it keeps its own taskbar entry on
// every window manager, so the owner normally keeps it in a std::unique_ptr.
class CVideoDlg1 : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 130;
  static constexpr int kBusyTextId = 1016;
  // Twice the frame width of a dialog: the band along the sides that resizes the window.
  static constexpr int kEdgeZone = 6;

  static QString BusyText();
  static QString OpenFailedText();

  // Shows one message to the user and returns when it has been answered.
  using MessageSink = std::function<void(QWidget* parent, const QString& text)>;

  explicit CVideoDlg1(QWidget* parent = nullptr);
  ~CVideoDlg1() override;

  // The camera to show and the capture size to ask it for (0 = keep its current format).
  void SetCamera(const QString& name, int width, int height);
  // Places and shows the window: with the live picture, or with the busy text when the camera is
  // being recorded. When the camera cannot be shown the user is told and the window closes again.
  void OpenCameraWindow(bool withPicture);
  // Stops the picture, remembers the rectangle in "vw1.cfg", hides the window and tells the owner.
  void CloseCameraWindow();
  bool IsCameraWindowOpen() const { return open_; }
  // Replaces the warning box of a camera that cannot be shown (the owner shows its messages in
  // one place). The window may be destroyed while the message is up.
  void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }

  bool IsMaximised() const { return maximised_; }
  bool HasPreview() const { return graph_ != nullptr; }
  QLabel* BusyLabel() const { return busyText_; }

 signals:
  // The window has closed (by the user, F9, or because the camera could not be shown).
  void cameraWindowClosed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class Drag { kNone, kMove, kResize };

  void PlaceWindow();
  // Builds and starts the preview; false (with nothing left running) when any step fails.
  bool StartPreview();
  void ReleasePreview();
  void ShowOpenFailure();
  void Maximise();
  void Restore();
  // The edges a press at `pos` (window coordinates) resizes; none in the middle.
  Qt::Edges EdgesAt(QPoint pos) const;
  void UpdateCursor(Qt::Edges edges);

  MessageSink messageSink_;
  QString deviceName_;
  int cameraWidth_ = 0;
  int cameraHeight_ = 0;
  std::unique_ptr<CameraGraph> graph_;
  QLabel* busyText_ = nullptr;  // owned by this window
  bool open_ = false;
  bool opening_ = false;  // inside OpenCameraWindow, which may wait on a message box

  bool maximised_ = false;
  QRect normalGeometry_;

  // Moving and resizing by hand, for desktops whose window manager cannot do it.
  Drag drag_ = Drag::kNone;
  Qt::Edges dragEdges_;
  QPoint dragStart_;
  QRect dragGeometry_;
};

}  // namespace vortane
