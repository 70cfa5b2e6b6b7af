#include "platform/folders.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace vortane {
namespace {

TEST(Folders, PathsEndInASeparatorAndTheUsersFoldersExist) {
  QTemporaryDir home;
  qputenv("HOME", home.path().toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit() + "/");
  qunsetenv("XDG_VIDEOS_DIR");

  // A base that already ends in a separator gets no doubled one.
  EXPECT_EQ(GetUserDataFolder(), home.filePath("config") + "/vortn/");
  EXPECT_TRUE(QFileInfo(GetUserDataFolder()).isDir());
  // A new user is offered a recording folder that exists, so accepting it works.
  QString videos = GetPublicVideoFolder();
  EXPECT_TRUE(videos.endsWith('/'));
  EXPECT_TRUE(QFileInfo(videos).isDir()) << videos.toStdString();
  EXPECT_TRUE(videos.startsWith(home.path()));

  QString program = GetProgramFolder();
  EXPECT_TRUE(program.endsWith('/'));
  EXPECT_TRUE(QFileInfo::exists(program + "unit_folders_test"));
  EXPECT_EQ(GetWindowsFolder(), program);
  EXPECT_EQ(WithTrailingSeparator("/a/b"), "/a/b/");
  EXPECT_EQ(WithTrailingSeparator("/a/b/"), "/a/b/");

  qputenv("PATH", "/usr/bin:" + QFile::encodeName(program.chopped(1)) + ":/bin");
  PutProgramFolderFirstOnPath();
  EXPECT_EQ(qgetenv("PATH"), QFile::encodeName(program.chopped(1)) + ":/usr/bin:/bin");
}

}  // namespace
}  // namespace vortane
