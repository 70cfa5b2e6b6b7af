#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/folders.h"

namespace vortane {
namespace {

constexpr char kRaiseRequest[] = "raise\n";

}  // namespace

QString SingleInstance::DefaultKey() {
  QString display = qEnvironmentVariable("DISPLAY");
  for (QChar& c : display) {
    if (!c.isLetterOrNumber()) c = QLatin1Char('_');
  }
  return QStringLiteral("vortane-%1-%2").arg(getuid()).arg(display);
}

QString SingleInstance::Folder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return WithTrailingSeparator(runtime);
  return GetUserDataFolder();
}

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key) {
  const QByteArray lockPath = QFile::encodeName(Folder() + key_ + QStringLiteral(".lock"));
  lockFd_ = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) return;  // no lock possible: run anyway
  if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    first_ = (errno != EWOULDBLOCK);
    close(lockFd_);
    lockFd_ = -1;
    return;
  }
  // Holding the lock, any socket left behind belongs to a toolbar that has ended.
  QLocalServer::removeServer(SocketPath());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (socket->readAll().contains("raise")) emit raiseRequested();
        socket->disconnectFromServer();
      });
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  server_->listen(SocketPath());
}

SingleInstance::~SingleInstance() {
  if (server_ != nullptr) server_->close();
  if (lockFd_ >= 0) close(lockFd_);  // releases the lock
}

QString SingleInstance::SocketPath() const {
  return Folder() + key_ + QStringLiteral(".sock");
}

bool SingleInstance::AskFirstToRaise(int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(SocketPath());
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kRaiseRequest);
  const bool written = socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return written;
}

}  // namespace vortane
