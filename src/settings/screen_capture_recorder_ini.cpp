#include "settings/screen_capture_recorder_ini.h"

#include <QFile>
#include <array>
#include <charconv>
#include <string_view>
#include <vector>

#include "platform/folders.h"
#include "platform/record_file.h"

namespace vortane {
namespace {

constexpr std::array<const char*, 5> kValueNames = {"use_regin", "start_x", "start_y",
                                                    "capture_height", "capture_width"};

std::array<int, 5> AsArray(const ScreenCaptureRecorderValues& v) {
  return {v.useRegion, v.startX, v.startY, v.captureHeight, v.captureWidth};
}

int EvenDown(int value) {
  return value - (value & 1);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The section a header line opens, or nullopt when the line is not a header.
std::optional<std::string_view> SectionOf(std::string_view line) {
  std::string_view trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return std::nullopt;
  return Trim(trimmed.substr(1, trimmed.size() - 2));
}

// The index of the value a line sets, or -1.
int ValueIndexOf(std::string_view line, std::string_view* value = nullptr) {
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return -1;
  std::string_view key = Trim(line.substr(0, equals));
  for (std::size_t i = 0; i < kValueNames.size(); ++i) {
    if (key == kValueNames[i]) {
      if (value != nullptr) *value = Trim(line.substr(equals + 1));
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

ScreenCaptureRecorderValues RegionChosenValues(const CaptureRegion& region) {
  return {1, region.left, region.top, EvenDown(region.Height()), EvenDown(region.Width())};
}

ScreenCaptureRecorderValues ResetValues(int fullScreenWidth, int fullScreenHeight) {
  return {0, 0, 0, EvenDown(fullScreenHeight), EvenDown(fullScreenWidth)};
}

std::string FormatScreenCaptureRecorderIni(const ScreenCaptureRecorderValues& values,
                                           const std::string& previous) {
  std::string global;
  std::string ownExtras;
  std::string otherSections;
  enum { Global, Own, Other } where = Global;
  for (std::string_view line : SplitLines(previous)) {
    if (auto section = SectionOf(line)) {
      where = *section == kScreenCaptureRecorderSection ? Own : Other;
      if (where == Other) otherSections.append(line).append("\n");
      continue;
    }
    if (Trim(line).empty()) continue;
    switch (where) {
      case Global:
        global.append(line).append("\n");
        break;
      case Own:
        if (ValueIndexOf(line) < 0) ownExtras.append(line).append("\n");
        break;
      case Other:
        otherSections.append(line).append("\n");
        break;
    }
  }
  std::string text = global;
  text.append("[").append(kScreenCaptureRecorderSection).append("]\n");
  std::array<int, 5> numbers = AsArray(values);
  for (std::size_t i = 0; i < kValueNames.size(); ++i)
    text.append(kValueNames[i]).append("=").append(std::to_string(numbers[i])).append("\n");
  text += ownExtras;
  text += otherSections;
  return text;
}

std::optional<ScreenCaptureRecorderValues> ParseScreenCaptureRecorderIni(const std::string& text) {
  std::array<std::optional<int>, 5> found;
  bool inOwn = false;
  for (std::string_view line : SplitLines(text)) {
    if (auto section = SectionOf(line)) {
      inOwn = *section == kScreenCaptureRecorderSection;
      continue;
    }
    if (!inOwn) continue;
    std::string_view value;
    int index = ValueIndexOf(line, &value);
    if (index < 0) continue;
    int number = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) return std::nullopt;
    found[static_cast<std::size_t>(index)] = number;
  }
  for (const auto& value : found)
    if (!value) return std::nullopt;
  return ScreenCaptureRecorderValues{*found[0], *found[1], *found[2], *found[3], *found[4]};
}

QString ScreenCaptureRecorderIniPath() {
  return GetUserDataFolder() + QString::fromLatin1(kScreenCaptureRecorderFileName);
}

bool WriteScreenCaptureRecorderValues(const ScreenCaptureRecorderValues& values,
                                      const QString& path) {
  std::string previous;
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) previous = file.readAll().toStdString();
  return ReplaceFile(path, FormatScreenCaptureRecorderIni(values, previous));
}

std::optional<ScreenCaptureRecorderValues> ReadScreenCaptureRecorderValues(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return ParseScreenCaptureRecorderIni(file.readAll().toStdString());
}

}  // namespace vortane
