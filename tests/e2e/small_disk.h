#pragma once

#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vortane::test {

// A tmpfs of a chosen size, mounted for the test and made smaller or larger while it runs.
class SmallDisk {
 public:
  explicit SmallDisk(int megabytes) {
    if (geteuid() != 0) {
      reason_ = "mounting a small file system for the save folder needs root";
      return;
    }
    if (!Mount({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                QStringLiteral("size=%1m,mode=0700").arg(megabytes),
                QStringLiteral("vortane-small-disk"), folder_.path()})) {
      reason_ = "this machine does not allow mounting a tmpfs";
      return;
    }
    mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_)
      QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder_.path()});
  }
  bool Resize(int megabytes) {
    return Mount(
        {QStringLiteral("-o"), QStringLiteral("remount,size=%1m").arg(megabytes), folder_.path()});
  }
  bool mounted() const { return mounted_; }
  const char* reason() const { return reason_; }
  QString path() const { return folder_.path(); }

 private:
  static bool Mount(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("mount"), arguments) == 0;
  }

  QTemporaryDir folder_;
  bool mounted_ = false;
  const char* reason_ = "";
};

}  // namespace vortane::test
