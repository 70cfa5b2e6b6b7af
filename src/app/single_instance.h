#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vortane {

// One toolbar per user and display. A second start must not run: its start-up would end the
// first toolbar's encoder as a leftover and cut the lesson short. The first instance holds a
// lock file and listens on a local socket; a later start finds the lock taken, asks the first
// to come to the front, and ends.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `key` names the instance; by default this user on this display.
  explicit SingleInstance(const QString& key = DefaultKey(), QObject* parent = nullptr);
  ~SingleInstance() override;
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process is the first (or the lock could not be taken at all: a start is
  // never refused because of a lock it cannot create).
  bool IsFirst() const { return first_; }
  // For a later instance: tells the first one to raise its toolbar. True when it answered.
  bool AskFirstToRaise(int timeoutMs = 2000) const;

  // "vortane-<uid>-<display>", with the display's ':' and '.' spelled safely.
  static QString DefaultKey();
  // Where the lock and the socket live: $XDG_RUNTIME_DIR, else the user data folder.
  static QString Folder();

 signals:
  void raiseRequested();

 private:
  QString SocketPath() const;

  QString key_;
  int lockFd_ = -1;
  bool first_ = true;
  QLocalServer* server_ = nullptr;  // owned through the Qt parent (this)
};

}  // namespace vortane
