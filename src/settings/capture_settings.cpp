#include "settings/capture_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cstring>
#include <memory>

#include "app/folders.h"
#include "platform/code_page.h"

namespace vortane {
namespace {

template <std::size_t N>
QString ReadNarrow(const char (&field)[N]) {
  return platform::AnsiToWide(std::string_view(field, strnlen(field, N)));
}

template <std::size_t N>
bool WriteNarrow(char (&field)[N], const QString& value) {
  std::string ansi = platform::WideToAnsi(value);
  // A NUL inside the value would silently cut it on the next load.
  if (ansi.size() >= N || ansi.find('\0') != std::string::npos) return false;
  std::memset(field, 0, N);
  std::memcpy(field, ansi.data(), ansi.size());
  return true;
}

template <std::size_t N>
QString ReadWide(const char16_t (&field)[N]) {
  std::size_t length = 0;
  while (length < N && field[length] != 0)
    ++length;
  return QString::fromUtf16(field, static_cast<qsizetype>(length));
}

template <std::size_t N>
bool WriteWide(char16_t (&field)[N], const QString& value) {
  if (static_cast<std::size_t>(value.size()) >= N || value.contains(QChar(0))) return false;
  std::memset(field, 0, sizeof(field));
  std::memcpy(field, value.utf16(), static_cast<std::size_t>(value.size()) * sizeof(char16_t));
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

QString CaptureSettings::SaveFolder() const {
  return ReadNarrow(saveFolder);
}
bool CaptureSettings::SetSaveFolder(const QString& folder) {
  return WriteNarrow(saveFolder, folder);
}
QString CaptureSettings::VideoDevice() const {
  return ReadWide(videoDevice);
}
bool CaptureSettings::SetVideoDevice(const QString& name) {
  return WriteWide(videoDevice, name);
}
QString CaptureSettings::AudioDevice() const {
  return ReadWide(audioDevice);
}
bool CaptureSettings::SetAudioDevice(const QString& name) {
  return WriteWide(audioDevice, name);
}
QString CaptureSettings::LiveUrl() const {
  return ReadNarrow(liveUrl);
}
bool CaptureSettings::SetLiveUrl(const QString& url) {
  return WriteNarrow(liveUrl, url);
}
QString CaptureSettings::PlatformServer() const {
  return ReadNarrow(platformServer);
}
bool CaptureSettings::SetPlatformServer(const QString& server) {
  return WriteNarrow(platformServer, server);
}
QString CaptureSettings::PlatformUser() const {
  return ReadNarrow(platformUser);
}
bool CaptureSettings::SetPlatformUser(const QString& user) {
  return WriteNarrow(platformUser, user);
}
QString CaptureSettings::PlatformPassword() const {
  return ReadNarrow(platformPassword);
}
bool CaptureSettings::SetPlatformPassword(const QString& password) {
  return WriteNarrow(platformPassword, password);
}

std::string EncodeTextMode(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  std::string out;
  out.reserve(size + 16);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] == '\n') out.push_back('\r');
    out.push_back(bytes[i]);
  }
  return out;
}

std::size_t DecodeTextMode(const std::string& file, void* record, std::size_t capacity) {
  auto* out = static_cast<char*>(record);
  std::size_t produced = 0;
  for (std::size_t i = 0; i < file.size() && produced < capacity; ++i) {
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
    out[produced++] = file[i];
  }
  return produced;
}

std::size_t ReadRecordFile(const QString& path, void* record, std::size_t capacity) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  // A record of N bytes takes at most 2N bytes on disk.
  QByteArray bytes = file.read(static_cast<qint64>(capacity) * 2);
  return DecodeTextMode(bytes.toStdString(), record, capacity);
}

bool WriteRecordFile(const QString& path, const void* record, std::size_t size) {
  std::string bytes = EncodeTextMode(record, size);
  QByteArray target = QFile::encodeName(path);
  // A record file the user made read-only stays as it is (also for root, who could write it).
  struct stat existing {};
  if (::stat(target.constData(), &existing) == 0 &&
      ((existing.st_mode & S_IWUSR) == 0 || ::access(target.constData(), W_OK) != 0)) {
    return false;
  }
  QByteArray temporary = target + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());  // created with mode 0600
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.constData(), target.constData()) == 0) return true;
  ::unlink(temporary.constData());
  return false;
}

QString ConfigFilePath() {
  return GetUserDataFolder() + QStringLiteral("config.cfg");
}

CaptureSettings LoadCaptureSettingsFrom(const QString& path) {
  CaptureSettings settings;
  ReadRecordFile(path, &settings, sizeof(settings));
  return settings;
}

bool SaveCaptureSettingsTo(const CaptureSettings& settings, const QString& path) {
  return WriteRecordFile(path, &settings, sizeof(settings));
}

CaptureSettings& GetCaptureSettings() {
  // Allocated on first use and kept until the process ends.
  static CaptureSettings* settings = new CaptureSettings(LoadCaptureSettingsFrom(ConfigFilePath()));
  return *settings;
}

bool SaveCaptureSettings(const CaptureSettings& settings) {
  return SaveCaptureSettingsTo(settings, ConfigFilePath());
}

}  // namespace vortane
