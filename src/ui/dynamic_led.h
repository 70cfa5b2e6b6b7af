#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace vortane::ui {

// A small lamp that blinks between a bright and a dark shade of one colour every 500 ms.
// SetLed starts (or restarts) the blinking in a colour; StopBlinking holds the lamp in the
// phase it shows until the next SetLed. Before the first SetLed the lamp draws nothing.
class CDynamicLED : public QWidget {
  Q_OBJECT

 public:
  enum Colour { kRed = 2001, kGreen = 2002, kBlue = 2003, kYellow = 2004 };
  enum Shape { kRound = 3001, kSquare = 3002 };
  static constexpr int kBlinkIntervalMs = 500;

  explicit CDynamicLED(int controlId = 0, QWidget* parent = nullptr);

  int controlId() const { return controlId_; }

  // Sets the colour (kRed..kYellow), the round shape and the 500 ms interval, draws one tick at
  // once and (re)starts the blink timer. Calling it again restarts with the new colour.
  void SetLed(int colourCode);
  // Stops the blinking; the lamp keeps its current phase until the next SetLed.
  void StopBlinking();
  // The lamp's outline; the program uses the round one.
  void SetShape(int shapeCode);

  int ColourCode() const { return colourCode_; }
  int BlinkInterval() const { return blinkInterval_; }
  // True while the current tick shows the bright shade.
  bool IsBright() const { return lit_ && bright_; }
  bool HasLit() const { return lit_; }

  // The bright and dark shades of a colour code (red for an unknown code).
  static QColor BrightColour(int colourCode);
  static QColor DarkColour(int colourCode);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Tick();

  int controlId_ = 0;
  int colourCode_ = kRed;
  int shapeCode_ = kRound;
  int blinkInterval_ = 0;
  int savedInterval_ = 0;
  // The next tick shows the bright shade when the phase is 1.
  int phase_ = 1;
  bool bright_ = false;
  bool lit_ = false;
  QTimer* timer_ = nullptr;
};

}  // namespace vortane::ui
