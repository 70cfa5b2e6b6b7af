#include "http/upload_reader.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/child_run.h"
#include "platform/code_page.h"
#include "platform/process.h"

namespace vortane {
namespace {

constexpr std::string_view kPercentMarker = "percent:";
constexpr std::string_view kErrorMarker = "error:";
constexpr std::string_view kEchoOpen = "[_ECHO]";
constexpr std::string_view kEchoClose = "[/_ECHO]";
constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr size_t kFirstBufferBytes = 1024;

void AppendEcho(UploaderOutputState& state, std::string_view text) {
  if (state.echo.size() + text.size() > kMaxEchoBytes) {
    state.echoTooLong = true;
    return;
  }
  state.echo.append(text);
}

// The block from the line holding "error:" on, without the line end that closes it.
std::string ErrorLines(std::string_view block, size_t marker) {
  const size_t lineStart = block.rfind('\n', marker);
  std::string_view text = block.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

std::vector<UploaderOutputEvent> ReadUploaderBlock(UploaderOutputState& state,
                                                   std::string_view block) {
  std::vector<UploaderOutputEvent> events;
  // The block ends at its first NUL, as a C string would.
  block = block.substr(0, block.find('\0'));
  const size_t percent = block.find(kPercentMarker);
  const size_t error = block.find(kErrorMarker);
  if (percent != std::string_view::npos) {
    const size_t value = percent + kPercentMarker.size();
    if (value >= block.size()) return events;
    const std::string number(block.substr(value, 32));
    events.push_back({UploaderOutputEvent::kProgress, std::atof(number.c_str()), {}});
  } else if (error != std::string_view::npos) {
    events.push_back({UploaderOutputEvent::kErrorLine, 0, ErrorLines(block, error)});
  }
  const size_t open = block.find(kEchoOpen);
  if (open != std::string_view::npos) {
    state.inEcho = true;
    state.echo.clear();
    state.echoTooLong = false;
    const std::string_view rest = block.substr(open + kEchoOpen.size());
    const size_t close = rest.find(kEchoClose);
    if (close != std::string_view::npos) {
      AppendEcho(state, rest.substr(0, close));
      state.inEcho = false;
    } else {
      AppendEcho(state, rest);
    }
  } else if (state.inEcho) {
    const size_t close = block.find(kEchoClose);
    if (close != std::string_view::npos) {
      AppendEcho(state, block.substr(0, close));
      state.inEcho = false;
    } else {
      AppendEcho(state, block);
    }
  }
  return events;
}

unsigned UploadReader(ChildRun* run) {
  std::vector<char> buffer(kFirstBufferBytes);
  UploaderOutputState state;
  run->collectedOutput.clear();
  ReportChild(*run, kChildProgress, 0.0);
  for (;;) {
    const int waiting = platform::BytesWaiting(run->readPipe);
    if (waiting > 0) {
      const auto count = static_cast<size_t>(waiting);
      if (count >= buffer.size()) buffer.resize(count + 1);
      const long got = platform::ReadAvailable(run->readPipe, buffer.data(), count);
      if (got > 0) {
        for (const UploaderOutputEvent& event :
             ReadUploaderBlock(state, std::string_view(buffer.data(), size_t(got)))) {
          if (event.kind == UploaderOutputEvent::kProgress)
            ReportChild(*run, kChildProgress, event.percent);
          else
            ReportChild(*run, kChildNote, 0.0,
                        QString::fromUtf8(event.text.data(), qsizetype(event.text.size())));
        }
      }
    } else if (run->finished.load() != 0) {
      break;
    } else {
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  if (!state.echoTooLong) run->collectedOutput = state.echo;
  return 0;
}

}  // namespace vortane
