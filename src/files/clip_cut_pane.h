#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

namespace vortane {

class CRangeSlider;
class ClipTrimmer;
class MediaPlayerPane;

// The cut part of the file manager (剪辑): the in and out points, set from the player, the
// second counters or the range slider, show the length of the selection, and 开始剪辑 cuts it
// out of the recording by stream copy (ClipTrimmer) into a new clip beside it.
class ClipCutPane : public QObject {
  Q_OBJECT

 public:
  struct Controls {
    CRangeSlider* slider = nullptr;
    QSpinBox* in = nullptr;
    QSpinBox* out = nullptr;
    QLabel* length = nullptr;
    QLabel* status = nullptr;
    QPushButton* cut = nullptr;
    MediaPlayerPane* player = nullptr;
  };

  // `window` shows the messages; `trace` is the file manager's trace. The window destroys the
  // pane before its controls: the trimmer stops its worker first.
  ClipCutPane(QWidget& window, Controls controls,
              std::function<void(QWidget* owner, const QString& text)> showMessage,
              std::function<void(const QString& text)> trace);
  ~ClipCutPane() override;

  // A recording of `duration` seconds was loaded: the counters and the slider span it, nothing
  // is selected and the status is empty.
  void Load(double duration);
  // No recording is loaded.
  void Unload() { duration_ = 0; }
  void SeekAndShowLength(int seconds);
  // One of the two is a whole second (≥ 0), the other -1.
  void UpdateInOut(int in, int out);
  // 入点 / 出点: the player's position becomes the point.
  void MarkPoint(bool in);
  // A counter's arrows moved it.
  void OnCounterStep(bool in);
  // 从入点播放 / 从出点播放.
  void PlayFromPoint(bool in);
  // 开始剪辑 on the recording at `path`.
  void Cut(const QString& path);
  void ShowStatus(const QString& text, bool failed);
  ClipTrimmer& Trimmer() const { return *trimmer_; }

 signals:
  // A clip was cut and is complete.
  void clipFinished(const QString& path);

 private:
  void OnRangeChanged();

  QWidget& window_;
  Controls controls_;
  std::function<void(QWidget* owner, const QString& text)> showMessage_;
  std::function<void(const QString& text)> trace_;
  std::unique_ptr<ClipTrimmer> trimmer_;
  double duration_ = 0;
  // The slider's ends at its last change message, to tell which end moved.
  double lastLeft_ = 0;
  double lastRight_ = 0;
};

}  // namespace vortane
