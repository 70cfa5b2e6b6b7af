#include "vortenc/media_library.h"

#include <dlfcn.h>

#include <optional>
#include <string>

namespace vortenc {
namespace {

// The libraries these headers belong to, by their versioned names.
void* Open(const char* name, int major) {
  const std::string file = std::string("lib") + name + ".so." + std::to_string(major);
  return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

template <typename Function>
bool Find(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

std::optional<MediaLibrary> Load() {
  void* format = Open("avformat", LIBAVFORMAT_VERSION_MAJOR);
  void* codec = Open("avcodec", LIBAVCODEC_VERSION_MAJOR);
  MediaLibrary media;
  if (format == nullptr || codec == nullptr ||
      !Find(format, "av_guess_format", media.guessFormat) ||
      !Find(format, "avformat_open_input", media.openInput) ||
      !Find(format, "avformat_find_stream_info", media.findStreamInfo) ||
      !Find(format, "av_find_best_stream", media.findBestStream) ||
      !Find(format, "av_seek_frame", media.seekFrame) ||
      !Find(format, "av_read_frame", media.readFrame) ||
      !Find(format, "avformat_close_input", media.closeInput) ||
      !Find(codec, "av_packet_alloc", media.packetAlloc) ||
      !Find(codec, "av_packet_unref", media.packetUnref) ||
      !Find(codec, "av_packet_free", media.packetFree))
    return std::nullopt;
  return media;
}

}  // namespace

const MediaLibrary* Media() {
  static const std::optional<MediaLibrary> media = Load();
  return media ? &*media : nullptr;
}

}  // namespace vortenc
