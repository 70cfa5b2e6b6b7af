#include "vortenc/screen_stream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vortenc {

struct ScreenStream::Returns {
  std::mutex mutex;
  bool open = true;
  pw_loop* loop = nullptr;
  spa_source* event = nullptr;
  std::vector<std::pair<pw_buffer*, unsigned long long>> buffers;
};

namespace {

// Buffers offered to the compositor: besides the few lent out, two stay with it for its next
// frames. Past that, frames are copied.
constexpr int kBuffers = 10;
constexpr int kKeptForCompositor = 2;

// A buffer's shared memory as mapped by the reader: it stays readable while a lent picture needs
// it, even after the stream has dropped the buffer.
struct SharedMapping {
  void* address = MAP_FAILED;
  size_t length = 0;
  ~SharedMapping() {
    if (address != MAP_FAILED) munmap(address, length);
  }
};

// In each pw_buffer's user_data.
struct BufferMemory {
  std::shared_ptr<SharedMapping> mapping;
};

// A lent buffer: handed back to PipeWire's thread when its last picture goes.
struct Lease {
  std::shared_ptr<SharedMapping> mapping;
  std::shared_ptr<ScreenStream::Returns> returns;
  pw_buffer* buffer = nullptr;
  unsigned long long number = 0;
  ~Lease() {
    std::lock_guard lock(returns->mutex);
    if (!returns->open) return;
    returns->buffers.emplace_back(buffer, number);
    pw_loop_signal_event(returns->loop, returns->event);
  }
};

long long WallMicrosNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1'000'000LL + now.tv_nsec / 1000;
}

void OnParamChanged(void* data, uint32_t id, const struct spa_pod* param) {
  if (id == SPA_PARAM_Format && param != nullptr) static_cast<ScreenStream*>(data)->OnFormat(param);
}

void OnProcessEvent(void* data) {
  static_cast<ScreenStream*>(data)->OnProcess();
}

void OnAddBufferEvent(void* data, pw_buffer* buffer) {
  static_cast<ScreenStream*>(data)->OnAddBuffer(buffer);
}

void OnRemoveBufferEvent(void* data, pw_buffer* buffer) {
  static_cast<ScreenStream*>(data)->OnRemoveBuffer(buffer);
}

void OnReturnedEvent(void* data, uint64_t) {
  static_cast<ScreenStream*>(data)->OnReturned();
}

void OnStateChanged(void* data, enum pw_stream_state, enum pw_stream_state state,
                    const char* error) {
  if (state == PW_STREAM_STATE_ERROR) static_cast<ScreenStream*>(data)->OnStreamError(error);
}

const pw_stream_events kEvents = [] {
  pw_stream_events events{};
  events.version = PW_VERSION_STREAM_EVENTS;
  events.state_changed = OnStateChanged;
  events.param_changed = OnParamChanged;
  events.process = OnProcessEvent;
  events.add_buffer = OnAddBufferEvent;
  events.remove_buffer = OnRemoveBufferEvent;
  return events;
}();

}  // namespace

ScreenStream::ScreenStream(const PortalStream& monitor, const ScreenArea& area,
                           long long monotonicToWallMicros)
    : monitor_(monitor), area_(area), monotonicToWallMicros_(monotonicToWallMicros) {
  pw_init(nullptr, nullptr);
}

ScreenStream::~ScreenStream() {
  if (returns_) {
    std::lock_guard lock(returns_->mutex);
    returns_->open = false;
  }
  if (loop_ != nullptr) pw_thread_loop_stop(loop_);
  if (returnedEvent_ != nullptr)
    pw_loop_destroy_source(pw_thread_loop_get_loop(loop_), returnedEvent_);
  if (stream_ != nullptr) pw_stream_destroy(stream_);
  if (core_ != nullptr) pw_core_disconnect(core_);
  if (context_ != nullptr) pw_context_destroy(context_);
  if (loop_ != nullptr) pw_thread_loop_destroy(loop_);
  delete listener_;
}

bool ScreenStream::Start(int pipeWireFd) {
  loop_ = pw_thread_loop_new("vortenc-screen", nullptr);
  if (loop_ == nullptr) {
    error_ = "cannot start PipeWire's thread";
    return false;
  }
  context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
  if (context_ == nullptr || pw_thread_loop_start(loop_) < 0) {
    error_ = "cannot start PipeWire";
    return false;
  }
  pw_thread_loop_lock(loop_);
  returns_ = std::make_shared<Returns>();
  returns_->loop = pw_thread_loop_get_loop(loop_);
  returnedEvent_ = pw_loop_add_event(returns_->loop, OnReturnedEvent, this);
  returns_->event = returnedEvent_;
  core_ = pw_context_connect_fd(context_, pipeWireFd, nullptr, 0);
  if (core_ == nullptr) {
    pw_thread_loop_unlock(loop_);
    error_ = "cannot connect to the screen's PipeWire stream";
    return false;
  }
  stream_ = pw_stream_new(core_, "vortane screen",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
  listener_ = new spa_hook{};
  pw_stream_add_listener(stream_, listener_, &kEvents, this);

  // Shared-memory pictures in the 32-bit layouts compositors hand out; any size and rate.
  uint8_t buffer[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
  const spa_rectangle minSize{1, 1}, defaultSize{1280, 720}, maxSize{16384, 16384};
  const spa_fraction minRate{0, 1}, defaultRate{25, 1}, maxRate{1000, 1};
  const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
      SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
      SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
      SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
  const int connected = pw_stream_connect(
      stream_, PW_DIRECTION_INPUT, monitor_.nodeId,
      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
      &format, 1);
  pw_thread_loop_unlock(loop_);
  if (connected < 0) {
    error_ = "cannot connect to the screen's PipeWire stream";
    return false;
  }
  return true;
}

bool ScreenStream::WaitForFormat(int timeoutMs) {
  std::unique_lock lock(mutex_);
  formatKnown_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [this] { return width_ > 0 || failed_; });
  if (width_ > 0) return true;
  if (error_.empty()) error_ = "the screen's PipeWire stream sent no picture format";
  return false;
}

long long ScreenStream::WaitForFirstFrame(int timeoutMs) {
  std::unique_lock lock(mutex_);
  auto earliest = [this] { return frames_.empty() ? -1 : frames_.front().wallMicros; };
  formatKnown_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return earliest() >= 0 || failed_; });
  return earliest();
}

void ScreenStream::OnStreamError(const char* error) {
  std::lock_guard lock(mutex_);
  failed_ = true;
  error_ = std::string("the screen's PipeWire stream failed: ") + (error ? error : "");
  formatKnown_.notify_all();
}

void ScreenStream::OnFormat(const spa_pod* format) {
  spa_video_info_raw info{};
  if (spa_format_video_raw_parse(format, &info) < 0 || info.size.width == 0) return;
  {
    std::lock_guard lock(mutex_);
    bufferWidth_ = int(info.size.width);
    bufferHeight_ = int(info.size.height);
    const bool rgb = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA;
    // The recorded picture's size and layout are fixed by the first format: ffmpeg was told.
    if (width_ == 0) {
      pixelFormat_ = rgb ? "rgb0" : "bgr0";
      width_ = area_.width > 0 ? int(area_.width) : bufferWidth_;
      height_ = area_.width > 0 ? int(area_.height) : bufferHeight_;
    }
    const Placement place = Place();
    whole_ = place.left == 0 && place.top == 0 && place.stepX == 1 && place.stepY == 1 &&
             width_ == bufferWidth_ && height_ == bufferHeight_;
    formatKnown_.notify_all();
  }
  // Memory the reader can map, and the capture moment with every frame.
  uint8_t buffer[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
  const spa_pod* params[2];
  params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
      SPA_POD_CHOICE_RANGE_Int(kBuffers, kKeptForCompositor + 1, kBuffers),
      SPA_PARAM_BUFFERS_dataType,
      SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
  params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
      SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
  pw_stream_update_params(stream_, params, 2);
}

std::shared_ptr<std::vector<std::uint8_t>> ScreenStream::NewPicture() {
  std::vector<std::uint8_t>* picture = nullptr;
  std::lock_guard guard(spareMutex_);
  if (!spare_) spare_ = std::make_shared<std::vector<std::vector<std::uint8_t>*>>();
  if (!spare_->empty()) {
    picture = spare_->back();
    spare_->pop_back();
  } else {
    picture = new std::vector<std::uint8_t>(size_t(width_) * height_ * 4);
  }
  // Back to the spares when the last holder lets go.
  std::weak_ptr<std::vector<std::vector<std::uint8_t>*>> spares = spare_;
  std::mutex* lock = &spareMutex_;
  return std::shared_ptr<std::vector<std::uint8_t>>(picture, [spares, lock](auto* released) {
    std::lock_guard guard(*lock);
    if (auto list = spares.lock(); list && list->size() < 64)
      list->push_back(released);
    else
      delete released;
  });
}

ScreenStream::Placement ScreenStream::Place() const {
  // The area in the stream's pixels: the monitor's picture may be larger than its desktop size
  // (a scaled monitor).
  const double scaleX = monitor_.width > 0 ? double(bufferWidth_) / monitor_.width : 1.0;
  const double scaleY = monitor_.height > 0 ? double(bufferHeight_) / monitor_.height : 1.0;
  Placement place;
  place.left = area_.width > 0 ? double(area_.x - monitor_.x) * scaleX : 0;
  place.top = area_.width > 0 ? double(area_.y - monitor_.y) * scaleY : 0;
  place.stepX = area_.width > 0 ? scaleX : double(bufferWidth_) / width_;
  place.stepY = area_.width > 0 ? scaleY : double(bufferHeight_) / height_;
  return place;
}

void ScreenStream::CopyCropped(const std::uint8_t* source, int stride,
                               std::vector<std::uint8_t>& outPixels) const {
  const auto [left, top, stepX, stepY] = Place();
  const bool straight = stepX == 1.0 && left == std::floor(left);
  std::uint8_t* out = outPixels.data();
  for (int y = 0; y < height_; ++y, out += size_t(width_) * 4) {
    const long long sourceY = (long long)(top + y * stepY);
    if (sourceY < 0 || sourceY >= bufferHeight_) {
      std::memset(out, 0, size_t(width_) * 4);
      continue;
    }
    const std::uint8_t* row = source + sourceY * stride;
    if (straight) {
      // Inside the monitor: one copy; outside it: black.
      const long long first = std::clamp<long long>(-(long long)left, 0, width_);
      const long long last = std::clamp<long long>(bufferWidth_ - (long long)left, first, width_);
      std::memset(out, 0, size_t(first) * 4);
      std::memcpy(out + first * 4, row + ((long long)left + first) * 4, size_t(last - first) * 4);
      std::memset(out + last * 4, 0, size_t(width_ - last) * 4);
      continue;
    }
    for (int x = 0; x < width_; ++x) {
      const long long sourceX = (long long)(left + x * stepX);
      if (sourceX < 0 || sourceX >= bufferWidth_)
        std::memset(out + x * 4, 0, 4);
      else
        std::memcpy(out + x * 4, row + sourceX * 4, 4);
    }
  }
}

void ScreenStream::OnProcess() {
  pw_buffer* buffer = nullptr;
  // Only the newest queued buffer matters.
  while (pw_buffer* next = pw_stream_dequeue_buffer(stream_)) {
    if (buffer != nullptr) pw_stream_queue_buffer(stream_, buffer);
    buffer = next;
  }
  if (buffer == nullptr) return;
  spa_buffer* data = buffer->buffer;
  const auto* header = static_cast<const spa_meta_header*>(
      spa_buffer_find_meta_data(data, SPA_META_Header, sizeof(spa_meta_header)));
  const bool usable = data->n_datas > 0 && data->datas[0].data != nullptr &&
                      data->datas[0].chunk->size > 0 &&
                      (header == nullptr || (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) == 0);
  if (usable) {
    const long long wallMicros = header != nullptr && header->pts > 0
                                     ? header->pts / 1000 + monotonicToWallMicros_
                                     : WallMicrosNow();
    const spa_data& plane = data->datas[0];
    const int stride = plane.chunk->stride > 0 ? plane.chunk->stride : bufferWidth_ * 4;
    const auto* pixels = static_cast<const std::uint8_t*>(plane.data) + plane.chunk->offset;
    // The format is set on this thread: no lock to read it.
    const bool fits = width_ > 0 && size_t(stride) * bufferHeight_ <= plane.maxsize;
    Picture picture = fits ? Lend(buffer, stride) : nullptr;
    const bool lent = picture != nullptr;
    if (fits && !lent) {
      std::shared_ptr<std::vector<std::uint8_t>> copy;
      {
        std::lock_guard lock(mutex_);
        copy = NewPicture();
      }
      CopyCropped(pixels, stride, *copy);
      picture = Picture(copy, copy->data());
    }
    if (picture) {
      std::lock_guard lock(mutex_);
      frames_.push_back({std::move(picture), wallMicros});
      if (frames_.size() > kFrames) frames_.pop_front();
      formatKnown_.notify_all();
    }
    if (lent) return;
  }
  pw_stream_queue_buffer(stream_, buffer);
}

ScreenStream::Picture ScreenStream::Lend(pw_buffer* buffer, int stride) {
  const auto* memory = static_cast<const BufferMemory*>(buffer->user_data);
  const spa_data& plane = buffer->buffer->datas[0];
  if (!whole_ || memory == nullptr || !memory->mapping || stride != width_ * 4 ||
      plane.chunk->size < PictureBytes() ||
      size_t(plane.chunk->offset) + PictureBytes() > plane.maxsize ||
      lent_ + kKeptForCompositor >= int(buffers_.size()))
    return nullptr;
  ++lent_;
  std::shared_ptr<Lease> lease(new Lease{memory->mapping, returns_, buffer, buffers_.at(buffer)});
  return Picture(lease, static_cast<const std::uint8_t*>(memory->mapping->address) +
                            plane.mapoffset + plane.chunk->offset);
}

void ScreenStream::OnAddBuffer(pw_buffer* buffer) {
  auto* memory = new BufferMemory{};
  buffers_[buffer] = ++nextBufferNumber_;
  const spa_buffer* data = buffer->buffer;
  if (data->n_datas > 0 && data->datas[0].type == SPA_DATA_MemFd && data->datas[0].fd >= 0) {
    auto mapping = std::make_shared<SharedMapping>();
    mapping->length = size_t(data->datas[0].mapoffset) + data->datas[0].maxsize;
    mapping->address =
        mmap(nullptr, mapping->length, PROT_READ, MAP_SHARED, int(data->datas[0].fd), 0);
    if (mapping->address != MAP_FAILED) memory->mapping = std::move(mapping);
  }
  buffer->user_data = memory;
}

void ScreenStream::OnRemoveBuffer(pw_buffer* buffer) {
  buffers_.erase(buffer);
  delete static_cast<BufferMemory*>(buffer->user_data);
  buffer->user_data = nullptr;
}

void ScreenStream::OnReturned() {
  std::vector<std::pair<pw_buffer*, unsigned long long>> returned;
  {
    std::lock_guard lock(returns_->mutex);
    returned.swap(returns_->buffers);
  }
  for (const auto& [buffer, number] : returned) {
    --lent_;
    // A buffer the stream has dropped meanwhile is not queued.
    if (auto kept = buffers_.find(buffer); kept != buffers_.end() && kept->second == number)
      pw_stream_queue_buffer(stream_, buffer);
  }
}

ScreenStream::Picture ScreenStream::Take(long long wallMicros) {
  std::lock_guard lock(mutex_);
  const Frame* best = nullptr;
  for (const Frame& frame : frames_)
    if (best == nullptr ||
        std::llabs(frame.wallMicros - wallMicros) < std::llabs(best->wallMicros - wallMicros))
      best = &frame;
  return best != nullptr ? best->pixels : nullptr;
}

}  // namespace vortenc
