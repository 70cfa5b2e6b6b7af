#pragma once

#include <chrono>
#include <string>
#include <string_view>

// What felwick tells the program that runs it, on standard output. Every message is written
// with a single write(), so the reader on the other end of the pipe never finds a marker cut in
// two: "percent:N.NN", "error:TEXT", "[_ECHO]REPLY[/_ECHO]", one per line.
namespace felwick {

class UploaderOutput {
 public:
  // Progress goes out at most this often (the last one, 100 %, always).
  static constexpr std::chrono::milliseconds kProgressInterval{250};

  void Progress(double percent, bool force = false);
  void Error(std::string_view text);
  void Echo(std::string_view reply);
  // The last error written, for the exit path.
  const std::string& LastError() const { return lastError_; }

 private:
  void Write(const std::string& message);

  std::chrono::steady_clock::time_point lastProgress_{};
  double lastPercent_ = -1;
  std::string lastError_;
};

}  // namespace felwick
