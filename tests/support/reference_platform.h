#pragma once

// The reference platform server (build/bin/platform-server) for tests: started with the sample
// accounts, or reached where scripts/with-desktop started it (VORTANE_PLATFORM_URL).

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "http/http_get.h"

namespace vortane::test {

class ReferencePlatform {
 public:
  // Starts a server of its own; `arguments` are added to the command line.
  explicit ReferencePlatform(const QStringList& arguments = {}) {
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(
        qEnvironmentVariable("VORTANE_PROGRAM_DIR") + QStringLiteral("/platform-server"),
        arguments);
    if (!process_->waitForStarted(5000)) return;
    QElapsedTimer timer;
    timer.start();
    while (!process_->canReadLine() && timer.elapsed() < 10000)
      process_->waitForReadyRead(100);
    address_ = QString::fromUtf8(process_->readLine()).trimmed();
  }
  // The server scripts/with-desktop started.
  static ReferencePlatform Shared() {
    ReferencePlatform shared(nullptr);
    shared.address_ = qEnvironmentVariable("VORTANE_PLATFORM_URL");
    return shared;
  }
  ReferencePlatform(ReferencePlatform&&) = default;
  ~ReferencePlatform() {
    if (process_) {
      process_->terminate();
      if (!process_->waitForFinished(3000)) process_->kill();
      process_->waitForFinished(1000);
    }
  }

  // "http://127.0.0.1:PORT", empty when the server did not start.
  const QString& Address() const { return address_; }
  // host:port as a teacher would type it.
  QString HostAndPort() const { return QString(address_).remove(QStringLiteral("http://")); }

  bool SetFault(const char* mode) const {
    return HttpGet(address_.toStdString() + "/control/fault?mode=" + mode).has_value();
  }
  // The stop signals received so far, as "task=ID query".
  std::vector<std::string> Signals() const { return Listed("signals"); }
  // The Referer headers of every request received so far.
  std::vector<std::string> Referers() const { return Listed("referers"); }

 private:
  // GET /control/WHAT: {"WHAT": [texts]}.
  std::vector<std::string> Listed(const std::string& what) const {
    const auto body = HttpGet(address_.toStdString() + "/control/" + what);
    std::vector<std::string> lines;
    if (!body) return lines;
    const auto reply = nlohmann::json::parse(*body, nullptr, false);
    if (reply.is_object() && reply.contains(what))
      for (const auto& line : reply[what])
        lines.push_back(line.get<std::string>());
    return lines;
  }

  explicit ReferencePlatform(std::nullptr_t) {}

  std::unique_ptr<QProcess> process_;
  QString address_;
};

}  // namespace vortane::test
