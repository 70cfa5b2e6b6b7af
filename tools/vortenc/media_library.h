#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

// ffmpeg's libraries, loaded when a command needs them (the container a file's name tells, where a
// copy of a lesson ends). Linked in, they and the hundred libraries they need would be loaded
// before every capture starts, and the first words of a lesson would be spoken before its sound
// reader listens.
namespace vortenc {

struct MediaLibrary {
  decltype(&::av_guess_format) guessFormat = nullptr;
  decltype(&::avformat_open_input) openInput = nullptr;
  decltype(&::avformat_find_stream_info) findStreamInfo = nullptr;
  decltype(&::av_find_best_stream) findBestStream = nullptr;
  decltype(&::av_seek_frame) seekFrame = nullptr;
  decltype(&::av_read_frame) readFrame = nullptr;
  decltype(&::avformat_close_input) closeInput = nullptr;
  decltype(&::av_packet_alloc) packetAlloc = nullptr;
  decltype(&::av_packet_unref) packetUnref = nullptr;
  decltype(&::av_packet_free) packetFree = nullptr;
};

// The libraries, loaded at the first call; null when they cannot be.
const MediaLibrary* Media();

}  // namespace vortenc
