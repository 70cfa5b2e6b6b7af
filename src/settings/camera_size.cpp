// The camera choices that need no camera: which size to capture at and which format gives it.
// They live in the core library, apart from the Qt Multimedia graph, so they can be tested alone.
#include <QStringList>

#include "settings/camera_graph.h"

namespace vortane {
namespace {

// The uncompressed formats the encoder and the preview take as they come: YUY2, RGB24 (stored
// as BGR in memory, as Windows had it) and UYVY (the "HDYC" of HD capture cards).
bool IsPlainPictureFormat(const QString& fourCc) {
  static const QStringList kFormats = {QStringLiteral("YUYV"), QStringLiteral("RGB3"),
                                       QStringLiteral("BGR3"), QStringLiteral("UYVY"),
                                       QStringLiteral("HDYC")};
  return kFormats.contains(fourCc);
}

bool RunsAt25(const CameraFormatOffer& offer) {
  constexpr float kRate = 25.0F;
  constexpr float kSlack = 0.01F;  // drivers report 25 fps as 1/25 s, which floats round
  return offer.minFrameRate <= kRate + kSlack && offer.maxFrameRate >= kRate - kSlack;
}

}  // namespace

std::optional<PictureSize> ChooseCameraSize(const std::vector<PictureSize>& sizes) {
  std::optional<PictureSize> choice;
  for (const PictureSize& size : sizes) {
    if ((size.width == 1280 && size.height == 720) || (size.width == 1920 && size.height == 1080))
      return size;
    if (size.height >= 720 && size.width > size.height) choice = size;
  }
  return choice;
}

std::optional<std::size_t> ChooseCameraFormat(const std::vector<CameraFormatOffer>& offers,
                                              int width, int height) {
  std::optional<std::size_t> first;
  for (std::size_t i = 0; i < offers.size(); ++i) {
    const CameraFormatOffer& offer = offers[i];
    if (offer.width != width || offer.height != height || !IsPlainPictureFormat(offer.pixelFormat))
      continue;
    if (RunsAt25(offer)) return i;
    if (!first) first = i;
  }
  return first;
}

}  // namespace vortane
