#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace vortane {

// One node of the platform's upload destination tree (flattened in pre-order like the live
// tasks). Narrow strings are the bytes as the platform sent them.
struct UploadTarget {
  std::int32_t id = 0;
  std::int32_t level = 1;
  QString name;
  std::string uploadUrl;    // handed to the uploader
  std::string callbackUrl;  // requested after an upload
};

}  // namespace vortane
