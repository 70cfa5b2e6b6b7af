#pragma once

#include <X11/Xlib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <QProcess>
#include <QString>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

// Include this after every Qt header.
//
// What a lesson shows and says, made on the private desktop: the root window's grey changes a
// little every 10 ms (so a frozen picture shows as repeated frames), and at each event it turns
// from dark to bright or back while a 0.3 s 2 kHz beep plays on the default sink. A recording
// of the desktop then holds picture changes and beeps that happened at the same moment.
namespace vortane::test {

inline constexpr int kBeepHz = 2000;
inline constexpr int kBeepMs = 300;

// The lesson's sound sources (VirtualMic and the speaker's monitor) are suspended, as the sound
// server does after a few idle seconds.
inline bool LessonSourcesSuspended() {
  QProcess pactl;
  pactl.start(QStringLiteral("pactl"), {"list", "short", "sources"});
  if (!pactl.waitForFinished(5000)) return false;
  int suspended = 0;
  for (const QString& line :
       QString::fromUtf8(pactl.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
    suspended += (line.contains(QLatin1String("\tvirtual_mic\t")) ||
                  line.contains(QLatin1String("\tspeaker.monitor\t"))) &&
                 line.endsWith(QLatin1String("SUSPENDED"));
  return suspended == 2;
}

// A busy speaker: a quiet tone plays on it until `tone` ends. Returns once the tone has played a
// second (a lower bound: it plays well before a lesson starts).
inline bool StartSpeakerTone(QProcess& tone) {
  tone.start(QStringLiteral("ffmpeg"),
             {"-v", "error", "-nostdin", "-f", "lavfi", "-i",
              "sine=frequency=880:sample_rate=48000,volume=0.3", "-ac", "2", "-f", "pulse",
              "-buffer_duration", "20", "speaker tone"});
  if (!tone.waitForStarted(5000)) return false;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  return true;
}

class DesktopMotion {
 public:
  // Starts the moving grey on $DISPLAY's root window; nothing moves when there is no display.
  // `ownWindow`: on a window covering the screen instead, for a Wayland desktop, where the X
  // server's root window is never shown.
  explicit DesktopMotion(bool ownWindow = false) : display_(XOpenDisplay(nullptr)) {
    if (display_ == nullptr) return;
    target_ = DefaultRootWindow(display_);
    if (ownWindow) {
      XSetWindowAttributes attributes{};
      attributes.override_redirect = 1;
      const int screen = DefaultScreen(display_);
      target_ = XCreateWindow(display_, target_, 0, 0, DisplayWidth(display_, screen),
                              DisplayHeight(display_, screen), 0, CopyFromParent, InputOutput,
                              CopyFromParent, CWOverrideRedirect, &attributes);
      XMapRaised(display_, target_);
      XSync(display_, 0);
    }
    painter_ = std::thread([this] { Paint(); });
  }
  ~DesktopMotion() {
    running_ = false;
    if (painter_.joinable()) painter_.join();
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  DesktopMotion(const DesktopMotion&) = delete;
  DesktopMotion& operator=(const DesktopMotion&) = delete;

  bool ok() const { return display_ != nullptr; }

  // Turns the grey from dark to bright or back at once, without a beep.
  void Flip() { bright_ = !bright_; }
  // Shows the dark or the bright greys from now on.
  void Set(bool bright) { bright_ = bright; }

  // `count` events `apartMs` apart, the first one `leadMs` from now; returns when the last beep
  // has played. The beeps play on `sink` (the default output when null). False when a beep could
  // not be played.
  bool FlashAndBeep(int count, int apartMs, const char* sink = nullptr, int leadMs = 400) {
    using Clock = std::chrono::steady_clock;
    const auto first = Clock::now() + std::chrono::milliseconds(leadMs);
    bool played = true;
    for (int i = 0; i < count; ++i) {
      const auto at = first + std::chrono::milliseconds(i * apartMs);
      // The stream is opened ahead of its moment, so opening it (and waking a suspended sink)
      // is not part of the beep's delay.
      std::optional<pa_simple*> stream = OpenBeepStream(sink);
      if (!stream) return false;
      std::this_thread::sleep_until(at);
      bright_ = !bright_;
      // The beep starts once the flash is on the screen: a busy machine may hold the painter back.
      WaitUntilDrawn(bright_);
      const std::vector<std::int16_t> beep = BeepSamples();
      int error = 0;
      played = pa_simple_write(*stream, beep.data(), beep.size() * sizeof(beep[0]), &error) == 0 &&
               pa_simple_drain(*stream, &error) == 0 && played;
      pa_simple_free(*stream);
    }
    return played;
  }

 private:
  static constexpr int kRate = 48000;

  void WaitUntilDrawn(bool bright) const {
    if (!painter_.joinable()) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (drawn_ != bright && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
  }

  static std::optional<pa_simple*> OpenBeepStream(const char* sink) {
    const pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
    // A short buffer: the beep starts playing a few milliseconds after it is written.
    pa_buffer_attr attributes{};
    attributes.maxlength = UINT32_MAX;
    attributes.tlength = kRate * 2 / 100;  // 10 ms
    attributes.prebuf = UINT32_MAX;
    attributes.minreq = UINT32_MAX;
    attributes.fragsize = UINT32_MAX;
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "vortane-test", PA_STREAM_PLAYBACK, sink, "beep",
                                      &format, nullptr, &attributes, &error);
    if (stream == nullptr) return std::nullopt;
    return stream;
  }

  static std::vector<std::int16_t> BeepSamples() {
    std::vector<std::int16_t> samples(kRate * kBeepMs / 1000);
    for (size_t i = 0; i < samples.size(); ++i)
      samples[i] = std::int16_t(20000 * std::sin(2 * M_PI * kBeepHz * double(i) / kRate));
    return samples;
  }

  // Dark greys 20..110 or bright greys 150..240, one step of 10 every 10 ms: steps a frame apart
  // differ enough to survive the encoder.
  void Paint() {
    const Window root = target_;
    for (int step = 0; running_; ++step) {
      const bool bright = bright_;
      const unsigned long grey = (bright ? 150 : 20) + 10 * (step % 10);
      XSetWindowBackground(display_, root, grey << 16 | grey << 8 | grey);
      XClearWindow(display_, root);
      XSync(display_, 0);
      drawn_ = bright;
      // Wake at once when the phase flips, so the change is on screen when the beep starts.
      for (int i = 0; i < 10 && running_ && bright_ == bright; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  Display* display_;
  Window target_ = 0;
  std::atomic<bool> running_{true};
  std::atomic<bool> bright_{false};
  std::atomic<bool> drawn_{false};  // the phase the painter has put on the screen
  std::thread painter_;
};

}  // namespace vortane::test

// Xlib's macros would clash with Qt's names in the test that includes this last.
#undef None
#undef Bool
#undef Status
#undef True
#undef False
#undef Unsorted
#undef CursorShape
#undef FontChange
#undef KeyPress
#undef KeyRelease
#undef FocusIn
#undef FocusOut
#undef Expose
