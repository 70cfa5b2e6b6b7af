#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace vortane {

// One node of the platform's live task tree (flattened in pre-order; the shape survives as
// `level`). Addresses are the bytes as the platform sent them (UTF-8).
struct LiveTask {
  std::int32_t id = 0;
  std::int32_t level = 1;
  QString name;
  QString startTime;
  std::string pushUrl;
  std::string callbackUrl;  // receives the stop signal
  std::string chatUrl;
  std::string meetingUrl;
};

}  // namespace vortane
