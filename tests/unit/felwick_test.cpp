// felwick against the reference platform on 127.0.0.1: a 1 GB sparse lesson uploads with steady
// progress and bounded memory while the connection is cut at 60 % (the rest continues from the
// server's offset, so no byte is sent twice); a server that refuses; a server without tus (the
// multipart fallback); a lesson that changes while it uploads; servers whose answers do not show
// that the file was stored; files that are not the teacher's own regular files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "support/measured_run.h"
#include "support/reference_platform.h"

namespace vortane {
namespace {

using test::ReferencePlatform;

struct UploaderRun : test::MeasuredRun {
  std::vector<double> percents;
  std::string echo;
};

// Runs felwick as the program does (output through a pipe) and measures its peak memory.
UploaderRun RunUploader(const QString& file, const std::string& url) {
  UploaderRun run;
  static_cast<test::MeasuredRun&>(run) =
      test::RunMeasured({qEnvironmentVariable("VORTANE_PROGRAM_DIR").toStdString() + "/felwick",
                         file.toStdString(), url});
  for (size_t at = run.output.find("percent:"); at != std::string::npos;
       at = run.output.find("percent:", at + 1))
    run.percents.push_back(std::atof(run.output.c_str() + at + 8));
  const size_t open = run.output.find("[_ECHO]");
  const size_t close = run.output.find("[/_ECHO]");
  if (open != std::string::npos && close != std::string::npos)
    run.echo = run.output.substr(open + 7, close - open - 7);
  return run;
}

class FelwickTest : public ::testing::Test {
 protected:
  FelwickTest() : server_({QStringLiteral("--upload-dir"), store_.path()}) {}

  bool Mode(const std::string& query) const {
    return HttpGet(server_.Address().toStdString() + "/control/upload?" + query).has_value();
  }
  nlohmann::json Upload(const std::string& storedAs) const {
    const auto body = HttpGet(server_.Address().toStdString() + "/control/uploads");
    const auto listing = nlohmann::json::parse(body.value_or("{}"), nullptr, false);
    for (const auto& upload : listing.value("uploads", nlohmann::json::array()))
      if (upload.value("stored_as", "") == storedAs) return upload;
    return {};
  }
  std::string Url(const std::string& name) const {
    return server_.Address().toStdString() + "/files/?save_as=" + name;
  }
  QString RandomFile(const char* name, size_t bytes) const {
    const QString path = work_.filePath(QString::fromUtf8(name));
    std::string data(bytes, '\0');
    std::mt19937 random(7);
    for (char& c : data)
      c = char(random());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(data.data(), qint64(data.size()));
    return path;
  }

  QTemporaryDir store_;
  QTemporaryDir work_;
  ReferencePlatform server_;
};

TEST_F(FelwickTest, ALargeLessonResumesAfterADroppedConnectionWithBoundedMemory) {
  ASSERT_FALSE(server_.Address().isEmpty());
  const qint64 size = qint64(1) << 30;
  const QString lesson = work_.filePath(QStringLiteral("lesson.mp4"));
  {
    QFile file(lesson);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(size));  // sparse: nothing of it is in memory or on disk
  }
  ASSERT_TRUE(Mode("mode=normal&drop_at=60"));
  const UploaderRun run = RunUploader(lesson, Url("0012003400560078.mp4"));
  ASSERT_EQ(run.exitCode, 0) << run.output.substr(0, 2000);
  EXPECT_EQ(run.echo, R"({"code":0,"filename":"0012003400560078.mp4"})");
  // The cut was told, and sending went on.
  EXPECT_NE(run.output.find("error:上传中断"), std::string::npos);
  // Progress climbs in many steps to 100.
  ASSERT_GE(run.percents.size(), 8u) << run.output.substr(0, 2000);
  EXPECT_EQ(run.percents.back(), 100.0);
  int rising = 0;
  for (size_t i = 1; i < run.percents.size(); ++i)
    rising += run.percents[i] > run.percents[i - 1];
  EXPECT_GE(rising, 6);
  // Memory does not grow with the file: far below its gigabyte.
  EXPECT_LT(run.peakKilobytes, 64 * 1024) << run.peakKilobytes << " kB";
  // The server got every byte once: what arrived before the cut was not sent again.
  const nlohmann::json upload = Upload("0012003400560078.mp4");
  ASSERT_FALSE(upload.is_null());
  EXPECT_EQ(upload["length"].get<qint64>(), size);
  EXPECT_EQ(upload["received"].get<qint64>(), size);
  EXPECT_GE(upload["heads"].get<int>(), 1);
  EXPECT_GE(upload["patches"].get<int>(), 2);
  EXPECT_EQ(QFileInfo(store_.filePath(QStringLiteral("0012003400560078.mp4"))).size(), size);
}

TEST_F(FelwickTest, RefusedMultipartAndChangedFiles) {
  ASSERT_FALSE(server_.Address().isEmpty());
  const QString lesson = RandomFile("lesson.mp4", 3 * 1024 * 1024 + 17);
  // A server that refuses: a non-zero exit and the reason.
  ASSERT_TRUE(Mode("mode=refuse"));
  UploaderRun run = RunUploader(lesson, Url("a.mp4"));
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.output.find("error:"), std::string::npos);
  EXPECT_NE(run.output.find("403"), std::string::npos) << run.output;
  EXPECT_TRUE(run.echo.empty());
  // A server without tus gets one multipart POST, stored byte for byte.
  ASSERT_TRUE(Mode("mode=multipart-only"));
  run = RunUploader(lesson, Url("b.mp4"));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.echo, R"({"code":0,"filename":"b.mp4"})");
  QFile sent(lesson);
  QFile stored(store_.filePath(QStringLiteral("b.mp4")));
  ASSERT_TRUE(sent.open(QIODevice::ReadOnly) && stored.open(QIODevice::ReadOnly));
  EXPECT_TRUE(sent.readAll() == stored.readAll());
  // The same name again is stored beside it, and the answer says under which name.
  run = RunUploader(lesson, Url("b.mp4"));
  EXPECT_EQ(run.echo, R"({"code":0,"filename":"b-2.mp4"})");
  // A file that grows while it uploads (still being recorded) never completes an upload.
  ASSERT_TRUE(Mode("mode=normal"));
  const QString growing = RandomFile("growing.mp4", 256 * 1024 * 1024);
  std::atomic<bool> writing{true};
  std::thread recorder([&] {
    QFile file(growing);
    file.open(QIODevice::Append);
    while (writing) {
      file.write("frame", 5);
      file.flush();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  run = RunUploader(growing, Url("c.mp4"));
  writing = false;
  recorder.join();
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.output.find("error:文件在上传过程中被改动"), std::string::npos) << run.output;
  EXPECT_FALSE(QFileInfo::exists(store_.filePath(QStringLiteral("c.mp4"))));
}

TEST_F(FelwickTest, OnlyTheTeachersOwnRegularFilesAreOpened) {
  ASSERT_FALSE(server_.Address().isEmpty());
  const QString lesson = RandomFile("lesson.mp4", 64 * 1024);
  const QString link = work_.filePath(QStringLiteral("link.mp4"));
  ASSERT_TRUE(QFile::link(lesson, link));
  const QString fifo = work_.filePath(QStringLiteral("fifo.mp4"));
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  const QString others = RandomFile("others.mp4", 64 * 1024);
  const bool chowned = chown(others.toLocal8Bit().constData(), 65534, 65534) == 0;
  struct Case {
    QString path;
    const char* error;
  };
  std::vector<Case> cases = {
      {work_.filePath(QStringLiteral("gone.mp4")), "error:无法打开文件"},
      {link, "error:文件是链接"},
      {fifo, "error:不是普通文件"},
      {work_.path(), "error:不是普通文件"},
  };
  if (chowned) cases.push_back({others, "error:不是您自己的文件"});
  for (const Case& c : cases) {
    // A felwick that blocks on the FIFO is let go after a generous ceiling, and that shows.
    std::atomic<bool> done{false};
    std::atomic<bool> hung{false};
    std::thread release([&] {
      for (int waited = 0; waited < 20000 && !done; waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (done) return;
      hung = true;
      const int fd = open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
    });
    const UploaderRun run = RunUploader(c.path, Url("e.mp4"));
    done = true;
    release.join();
    EXPECT_FALSE(hung) << c.path.toStdString();
    EXPECT_EQ(run.exitCode, 1) << c.path.toStdString();
    EXPECT_NE(run.output.find(c.error), std::string::npos) << run.output;
    EXPECT_TRUE(run.echo.empty()) << c.path.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(store_.filePath(QStringLiteral("e.mp4"))));
}

TEST_F(FelwickTest, AnAnswerThatDoesNotShowTheFileStoredIsAFailure) {
  ASSERT_FALSE(server_.Address().isEmpty());
  const QString lesson = RandomFile("lesson.mp4", 3 * 1024 * 1024 + 17);
  struct Case {
    const char* mode;
    const char* error;
  };
  const Case cases[] = {
      // tus: a PATCH taken without telling how far the file got, or telling more than it has.
      {"mode=normal&answer=no-offset", "error:服务器的回答没有 Upload-Offset"},
      {"mode=normal&answer=past-end", "error:服务器报告的上传位置无效"},
      // The form: a page that is not the server's JSON answer.
      {"mode=multipart-only&answer=not-json", "error:服务器的回答不是 JSON 对象"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Mode(c.mode));
    const UploaderRun run = RunUploader(lesson, Url("f.mp4"));
    EXPECT_EQ(run.exitCode, 1) << c.mode << "\n" << run.output;
    EXPECT_NE(run.output.find(c.error), std::string::npos) << c.mode << "\n" << run.output;
    EXPECT_TRUE(run.echo.empty()) << c.mode;
    EXPECT_TRUE(run.percents.empty() || run.percents.back() < 100.0) << c.mode;
  }
  // The same server answering properly again: the lesson goes up.
  ASSERT_TRUE(Mode("mode=normal"));
  const UploaderRun run = RunUploader(lesson, Url("g.mp4"));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.echo, R"({"code":0,"filename":"g.mp4"})");
}

}  // namespace
}  // namespace vortane
