#pragma once

// Helpers shared by the fuzz targets: the input as a file the program's own readers open, and
// small values taken from the front of the input.
#include <unistd.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vortane::fuzz {

// A file in $TMPDIR (or /tmp) that this process rewrites with every input.
class ScratchFile {
 public:
  explicit ScratchFile(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vortane-fuzz-" +
            std::to_string(::getpid()) + "-" + name;
  }
  ~ScratchFile() { std::remove(path_.c_str()); }

  // Writes `bytes` and returns the path.
  QString Write(std::string_view bytes) const {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
      std::abort();
    std::fclose(file);
    return QString::fromStdString(path_);
  }

 private:
  std::string path_;
};

// Reads little-endian integers off the front of the input; zeros once it runs out.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  std::int32_t Int() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4 && !rest_.empty(); ++i) {
      value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(rest_.front())) << (8 * i);
      rest_.remove_prefix(1);
    }
    return static_cast<std::int32_t>(value);
  }
  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
  }
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Stops the run when a property of the parsed result does not hold.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

}  // namespace vortane::fuzz
