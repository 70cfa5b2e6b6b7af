#include "files/clip_cut_pane.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "files/clip_trimmer.h"
#include "files/media_player_pane.h"
#include "files/range_slider.h"

namespace vortane {
namespace {

const QColor kFailureColour(255, 0, 0);

QString LengthText(double left, double right) {
  const int seconds = static_cast<int>(right - left);
  return QStringLiteral("选择长度：%1分%2秒")
      .arg(seconds / 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

ClipCutPane::ClipCutPane(QWidget& window, Controls controls,
                         std::function<void(QWidget* owner, const QString& text)> showMessage,
                         std::function<void(const QString& text)> trace)
    : window_(window),
      controls_(controls),
      showMessage_(std::move(showMessage)),
      trace_(std::move(trace)),
      trimmer_(std::make_unique<ClipTrimmer>()) {
  CRangeSlider* slider = controls_.slider;
  slider->SetMinMax(0, 100);
  slider->SetRange(0, 100);
  slider->SetVisualMinMax(0, 100);
  slider->SetVisualMode(true);
  connect(slider, &CRangeSlider::rangeChanged, this, [this] { OnRangeChanged(); });
  connect(trimmer_.get(), &ClipTrimmer::statusChanged, this, &ClipCutPane::ShowStatus);
  connect(trimmer_.get(), &ClipTrimmer::cuttingChanged, this,
          [this](bool cutting) { controls_.cut->setEnabled(!cutting); });
  connect(trimmer_.get(), &ClipTrimmer::clipFinished, this, &ClipCutPane::clipFinished);
}

ClipCutPane::~ClipCutPane() = default;

void ClipCutPane::Load(double duration) {
  duration_ = duration;
  const int wholeSeconds = static_cast<int>(duration);
  for (QSpinBox* counter : {controls_.in, controls_.out}) {
    counter->setRange(0, wholeSeconds);
    counter->setValue(0);
  }
  CRangeSlider* slider = controls_.slider;
  slider->SetMinMax(0, duration);
  slider->SetRange(0, 0);
  slider->SetVisualMinMax(0, duration);
  slider->SetVisualMode(true);
  controls_.status->clear();
}

void ClipCutPane::SeekAndShowLength(int seconds) {
  // Paused at the point, whatever the player did before.
  controls_.player->PauseAt(seconds);
  const auto [left, right] = controls_.slider->GetRange();
  controls_.length->setText(LengthText(left, right));
}

void ClipCutPane::UpdateInOut(int in, int out) {
  auto [left, right] = controls_.slider->GetRange();
  if (in >= 0 && in < duration_) {
    if (right <= in) {
      controls_.out->setValue(static_cast<int>(duration_));
      right = duration_;
    }
    controls_.slider->SetRange(in, right);
  } else if (out > 0) {
    if (left >= out) {
      controls_.in->setValue(0);
      left = 0;
    }
    controls_.slider->SetRange(left, out);
  }
}

void ClipCutPane::MarkPoint(bool in) {
  if (controls_.player->PlayState() <= MediaPlayerPane::kUndefined) return;
  const int seconds = static_cast<int>(controls_.player->CurrentPosition());
  (in ? controls_.in : controls_.out)->setValue(seconds);
  UpdateInOut(in ? seconds : -1, in ? -1 : seconds);
}

void ClipCutPane::OnCounterStep(bool in) {
  const int seconds = (in ? controls_.in : controls_.out)->value();
  UpdateInOut(in ? seconds : -1, in ? -1 : seconds);
  SeekAndShowLength(seconds);
}

void ClipCutPane::OnRangeChanged() {
  const auto [left, right] = controls_.slider->GetRange();
  if (left != lastLeft_) {
    SeekAndShowLength(static_cast<int>(left));
    controls_.in->setValue(static_cast<int>(left));
    lastLeft_ = left;
  }
  if (right != lastRight_) {
    SeekAndShowLength(static_cast<int>(right));
    controls_.out->setValue(static_cast<int>(right));
    lastRight_ = right;
  }
}

void ClipCutPane::PlayFromPoint(bool in) {
  if (controls_.player->PlayState() <= MediaPlayerPane::kUndefined) return;
  const auto [left, right] = controls_.slider->GetRange();
  controls_.player->SetCurrentPosition(in ? left : right);
  controls_.player->Play();
}

void ClipCutPane::Cut(const QString& path) {
  const auto [left, right] = controls_.slider->GetRange();
  if (trimmer_->Start(path, left, right) == ClipTrimmer::StartResult::kInvalidRange) {
    const QString text = QStringLiteral("无效的剪切范围，或者剪切时长过短！");
    trace_(QStringLiteral("files message: ") + text);
    showMessage_(&window_, text);
  }
}

void ClipCutPane::ShowStatus(const QString& text, bool failed) {
  QLabel* status = controls_.status;
  status->setText(text);
  status->setToolTip(failed ? text : QString());
  QPalette palette = window_.palette();
  if (failed) palette.setColor(QPalette::WindowText, kFailureColour);
  status->setPalette(palette);
  trace_(QStringLiteral("files status%1 %2").arg(failed ? "!" : ":", text));
}

}  // namespace vortane
