#include "platform/trash.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace vortane::platform {

bool MoveToTrashOrRemove(const QString& path) {
  // The home trash lives in the data folder, which a new account may not have yet.
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (!data.isEmpty()) QDir().mkpath(data);
  if (QFile::moveToTrash(path)) return true;
  return QFile::remove(path);
}

}  // namespace vortane::platform
