#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vortenc/portal_session.h"
#include "vortenc/screen_area.h"

struct pw_buffer;
struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct spa_hook;
struct spa_pod;
struct spa_source;

// The monitor's picture from the portal's PipeWire stream, cropped to the recorded area as each
// frame arrives and kept with the moment the compositor captured it. A few of the latest frames
// are kept, so the picture for a moment can be chosen by capture time even when it arrives a
// little after that moment. When the whole monitor is recorded at its own size, a frame is not
// copied: the compositor's buffer itself is lent out until its last holder lets go.
namespace vortenc {

class ScreenStream {
 public:
  // `toWallMicros` turns the stream's CLOCK_MONOTONIC nanoseconds into the wall clock's
  // microseconds (the clock the sound and the encoder use).
  ScreenStream(const PortalStream& monitor, const ScreenArea& area,
               long long monotonicToWallMicros);
  ~ScreenStream();
  ScreenStream(const ScreenStream&) = delete;
  ScreenStream& operator=(const ScreenStream&) = delete;

  // Connects to the stream over the portal's PipeWire connection (taken over). False and Error()
  // when it cannot.
  bool Start(int pipeWireFd);
  // Waits up to `timeoutMs` for the stream's format; false and Error() when none came.
  bool WaitForFormat(int timeoutMs);

  // Waits up to `timeoutMs` for the first frame; its capture moment, or -1.
  long long WaitForFirstFrame(int timeoutMs);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The picture's layout as ffmpeg's rawvideo names it ("bgr0" or "rgb0").
  const char* PixelFormat() const { return pixelFormat_; }
  const std::string& Error() const { return error_; }

  // Width() × Height() × 4 bytes, valid while held.
  using Picture = std::shared_ptr<const std::uint8_t>;
  size_t PictureBytes() const { return size_t(width_) * height_ * 4; }
  // The frame that shows the screen at `wallMicros`: the one captured nearest to it. A frame
  // captured a little later shows what the screen held then better than one captured a frame
  // interval before: the compositor stamps a frame when it has drawn it, after its windows
  // changed. Null when no frame has come yet. It stays untouched while it is held.
  Picture Take(long long wallMicros);

  // PipeWire's callbacks.
  void OnFormat(const struct spa_pod* format);
  void OnProcess();
  void OnStreamError(const char* error);
  void OnAddBuffer(pw_buffer* buffer);
  void OnRemoveBuffer(pw_buffer* buffer);
  // Queues the buffers whose pictures were let go back to the compositor.
  void OnReturned();

  // Buffers let go by their last holder on any thread, queued back on PipeWire's.
  struct Returns;

 private:
  struct Frame {
    Picture pixels;
    long long wallMicros = 0;
  };
  // The latest frames, for choosing by capture time.
  static constexpr size_t kFrames = 4;

  void CopyCropped(const std::uint8_t* source, int stride, std::vector<std::uint8_t>& out) const;
  std::shared_ptr<std::vector<std::uint8_t>> NewPicture();
  // The buffer's own picture when it can be lent out as it is; null otherwise.
  Picture Lend(pw_buffer* buffer, int stride);
  // Where the recorded area lies in the stream's picture, in its pixels.
  struct Placement {
    double left = 0, top = 0, stepX = 1, stepY = 1;
  };
  Placement Place() const;

  PortalStream monitor_;
  ScreenArea area_;
  long long monotonicToWallMicros_;

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  struct spa_hook* listener_ = nullptr;
  spa_source* returnedEvent_ = nullptr;
  std::shared_ptr<Returns> returns_;
  // On PipeWire's thread: the stream's buffers by their number, and how many are lent out.
  std::map<pw_buffer*, unsigned long long> buffers_;
  unsigned long long nextBufferNumber_ = 0;
  int lent_ = 0;

  std::mutex mutex_;
  std::condition_variable formatKnown_;
  bool failed_ = false;
  int width_ = 0, height_ = 0;              // the recorded picture
  int bufferWidth_ = 0, bufferHeight_ = 0;  // the monitor's picture in the stream
  bool whole_ = false;                      // the recorded picture is the stream's as it is
  const char* pixelFormat_ = "bgr0";
  std::string error_;
  std::deque<Frame> frames_;
  // Pictures no longer held, kept for reuse: a new one is as large as the recorded area.
  std::shared_ptr<std::vector<std::vector<std::uint8_t>*>> spare_;
  std::mutex spareMutex_;
};

}  // namespace vortenc
