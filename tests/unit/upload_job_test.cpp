// One upload without a window: the reader over the uploader's output blocks, the upload address
// and command line, the destination callback over real HTTP (a canned server on 127.0.0.1), and
// the upload thread running a stand-in uploader (a real child process found on PATH) through
// each row of the failure table.
#include "http/upload_job.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <thread>

#include "http/upload_reader.h"
#include "support/files.h"
#include "support/pump.h"
#include "support/scoped_env.h"

namespace vortane {
namespace {

int argc = 1;
char arg0[] = "upload_job_test";
char* argv[] = {arg0, nullptr};

TEST(UploadReader, BlocksOfTheUploadersOutput) {
  UploaderOutputState state;
  auto events = ReadUploaderBlock(state, "percent:37.26");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(QString::asprintf("%.1f%%", events[0].percent), QStringLiteral("37.3%"));
  EXPECT_TRUE(ReadUploaderBlock(state, "percent:").empty());
  events = ReadUploaderBlock(state, "error:connection refused\n");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, UploaderOutputEvent::kErrorLine);
  EXPECT_EQ(events[0].text, "error:connection refused");
  // The answer's opening marker in one block, the rest and the closing marker in the next.
  events = ReadUploaderBlock(state, "percent:100.00\n[_ECHO]{\"code\":0,");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].percent, 100.0);
  EXPECT_TRUE(state.inEcho);
  ReadUploaderBlock(state, "\"filename\":\"x.mp4\"}[/_ECHO]\n");
  EXPECT_FALSE(state.inEcho);
  EXPECT_EQ(state.echo, R"({"code":0,"filename":"x.mp4"})");
  // An answer far longer than any server's is not taken as one.
  UploaderOutputState flood;
  ReadUploaderBlock(flood, "[_ECHO]");
  const std::string block(kMaxEchoBytes / 2 + 1, '[');
  ReadUploaderBlock(flood, block);
  ReadUploaderBlock(flood, block);
  EXPECT_TRUE(flood.echoTooLong);
  EXPECT_LE(flood.echo.size(), kMaxEchoBytes);
}

TEST(UploadAddress, SaveAsCommandLineAndIdentifier) {
  EXPECT_EQ(AppendSaveAs("http://p/files/", "a.mp4"), "http://p/files/?save_as=a.mp4");
  EXPECT_EQ(AppendSaveAs("http://p/files/?k=1", "a.mp4"), "http://p/files/?k=1&save_as=a.mp4");
  EXPECT_EQ(AppendSaveAs("http://p/f?save_as=b.mp4", "a.mp4"), "http://p/f?save_as=b.mp4");
  EXPECT_EQ(UploaderCommandLine(QStringLiteral("/v/课 1.mp4"), "http://p/?a=1"),
            QStringLiteral("felwick \"/v/课 1.mp4\" \"http://p/?a=1\""));
  // A quote in a file name stays inside its argument.
  EXPECT_EQ(UploaderCommandLine(QStringLiteral("/v/a\"b.mp4"), "u"),
            QStringLiteral("felwick \"/v/a\\\"b.mp4\" \"u\""));
  const std::string id = RenewUploadIdentifier();
  ASSERT_EQ(id.size(), 16u);
  for (int group = 0; group < 4; ++group)
    EXPECT_EQ(id.substr(size_t(group) * 4, 2), "00") << id;
  EXPECT_NE(RenewUploadIdentifier(), id);
}

// A server on 127.0.0.1 that answers every request with `reply` (nothing at all when empty)
// and keeps the request lines.
class CannedServer {
 public:
  explicit CannedServer(std::string reply) : reply_(std::move(reply)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 4);
    thread_ = std::thread([this] {
      for (;;) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
          const ssize_t got = read(client, buffer, sizeof(buffer));
          if (got <= 0) break;
          request.append(buffer, size_t(got));
        }
        lines_.push_back(request.substr(0, request.find("\r\n")));
        if (!reply_.empty()) {
          const std::string answer =
              "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply_.size()) +
              "\r\nConnection: close\r\n\r\n" + reply_;
          (void)!write(client, answer.data(), answer.size());
        }
        close(client);
      }
    });
  }
  ~CannedServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> lines_;

 private:
  std::string reply_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(NotifyUploadDone, FillsTheTemplateAndReadsEveryAnswer) {
  const QString title = QStringLiteral("数学");
  {
    CannedServer server(R"({"code":0})");
    const auto result =
        NotifyUploadDone(server.Address() + "/cb?file=_FILENAME&src=_SRC_ID&title=_TITLE",
                         "0012003400560078.mp4", "0012003400560078", title);
    EXPECT_EQ(result.code, 0);
    ASSERT_EQ(server.lines_.size(), 1u);
    EXPECT_EQ(server.lines_[0],
              "GET /cb?file=0012003400560078.mp4&src=0012003400560078&title=%E6%95%B0%E5%AD%A6 "
              "HTTP/1.1");
  }
  struct Case {
    std::string reply;
    const char* text;
  };
  const Case cases[] = {
      {"", "回调时无响应！"},
      {"<html>busy</html>", "回调时返回数据不符合规范！"},
      {R"({"err_desc":"x"})", "回调时返回数据不符合规范！"},
      {R"({"code":7,"err_desc":"课时已关闭"})", "回调返回错误！错误信息：课时已关闭"},
      // The platform's own code 1 is its error, not a missing answer.
      {R"({"code":1,"err_desc":"无权限"})", "回调返回错误！错误信息：无权限"},
      {std::string(100000, '[') + "]", "回调时返回数据不符合规范！"},
  };
  for (const Case& c : cases) {
    CannedServer server(c.reply);
    const auto result = NotifyUploadDone(server.Address() + "/cb", "f", "i", title);
    EXPECT_NE(result.code, 0) << c.reply.substr(0, 40);
    EXPECT_EQ(CallbackFailureText(result), QString::fromUtf8(c.text)) << c.reply.substr(0, 40);
  }
}

// Runs upload jobs with a stand-in "felwick" (a shell script) first on PATH.
class UploadJobTest : public ::testing::Test {
 protected:
  UploadJobTest() {
    test::WriteBytes(lesson_, "lesson");
    // Old enough not to look like a recording still being written.
    QFile file(lesson_);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
  }

  void Uploader(const std::string& script) {
    const QString path = folder_.filePath(QStringLiteral("felwick"));
    // The arguments it was given, beside it.
    test::WriteBytes(
        path, QByteArray::fromStdString("#!/bin/sh\necho \"$@\" > \"$0.args\"\n" + script + "\n"));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  // What one upload reported, "code:text" ("3+10" for a failure after the file went up).
  std::vector<std::string> Run(const std::string& reportUrl) {
    std::vector<std::string> texts;
    bool ended = false;
    UploadJob job({lesson_, "http://127.0.0.1:1/files/", reportUrl, QStringLiteral("高一 物理")});
    QObject::connect(&job, &Job::started, &owner_, [&] { texts.push_back("1:"); });
    QObject::connect(&job, &Job::noted, &owner_,
                     [&](const QString& line) { texts.push_back("-1:" + line.toStdString()); });
    QObject::connect(&job, &Job::finished, &owner_, [&](const JobOutcome& outcome) {
      texts.push_back((outcome.childSucceeded ? "3+" : "") + std::to_string(outcome.StatusCode()) +
                      ":" + outcome.text.toStdString());
      ended = true;
    });
    QFile::remove(folder_.filePath(QStringLiteral("felwick.args")));
    job.Start();
    if (afterStart_) afterStart_();
    EXPECT_TRUE(test::PumpUntil([&] { return ended; }, 60000));
    QFile args(folder_.filePath(QStringLiteral("felwick.args")));
    lastArguments_ = args.open(QIODevice::ReadOnly) ? QString::fromUtf8(args.readAll()) : QString();
    return texts;
  }

  QCoreApplication app_{argc, argv};
  QObject owner_;
  QTemporaryDir folder_;
  test::ScopedEnv path_{"PATH", folder_.path().toUtf8() + ":" + qgetenv("PATH")};
  QString lesson_ = folder_.filePath(QStringLiteral("20240312140000m.mp4"));
  QString lastArguments_;
  std::function<void()> afterStart_;
};

TEST_F(UploadJobTest, EveryOutcomeOfTheUploaderAndTheCallback) {
  using Texts = std::vector<std::string>;
  // Uploaded, the server names the file, the callback takes it.
  CannedServer platform(R"({"code":0})");
  Uploader(
      R"(printf 'percent:50.00\n'; sleep 0.2; printf '[_ECHO]{"code":0,"filename":"x.mp4"}[/_ECHO]\n')");
  EXPECT_EQ(Run(platform.Address() + "/cb?file=_FILENAME&src=_SRC_ID"), (Texts{"1:", "3:"}));
  ASSERT_EQ(platform.lines_.size(), 1u);
  EXPECT_EQ(platform.lines_[0].substr(0, 25), "GET /cb?file=x.mp4&src=00");
  EXPECT_TRUE(
      lastArguments_.startsWith(lesson_ + QStringLiteral(" http://127.0.0.1:1/files/?save_as=00")))
      << lastArguments_.toStdString();
  // No answer from the upload server: logged, and the callback gets the generated name.
  Uploader("exit 0");
  EXPECT_EQ(Run(platform.Address() + "/cb?file=_FILENAME"),
            (Texts{"1:", "-1:服务器无响应！", "3:"}));
  EXPECT_EQ(platform.lines_.back().substr(0, 15), "GET /cb?file=00");
  // The server's answer says no.
  Uploader(R"(printf '[_ECHO]{"code":5}[/_ECHO]')");
  EXPECT_EQ(Run(platform.Address() + "/cb"), (Texts{"1:", "3+10:服务器返回错误！"}));
  // The uploader fails: its error line, its exit code, and no callback.
  const size_t calls = platform.lines_.size();
  Uploader("printf 'error:磁盘已满\\n'; exit 1");
  EXPECT_EQ(Run(platform.Address() + "/cb"), (Texts{"1:", "-1:error:磁盘已满", "3:"}));
  EXPECT_EQ(platform.lines_.size(), calls);
  // The callback fails.
  CannedServer silent("");
  Uploader(R"(printf '[_ECHO]{"code":0}[/_ECHO]')");
  EXPECT_EQ(Run(silent.Address() + "/cb"), (Texts{"1:", "3+10:回调时无响应！"}));
  // A lesson still being written is not uploaded.
  {
    std::atomic<bool> writing{true};
    QFile file(lesson_);
    file.open(QIODevice::Append);
    file.write("frame");
    file.flush();
    std::thread recorder([&] {
      while (writing) {
        file.write("frame");
        file.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    const Texts texts = Run("");
    writing = false;
    recorder.join();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("仍在写入"), std::string::npos) << texts[0];
  }
  // No thread can be made for the upload (threads get more room than there is): it fails like
  // any other upload, with its reason, and the program goes on.
  Uploader(R"(printf '[_ECHO]{"code":0}[/_ECHO]')");
  pthread_attr_t huge;
  pthread_attr_t usual;
  ASSERT_EQ(pthread_getattr_default_np(&usual), 0);
  pthread_attr_init(&huge);
  pthread_attr_setstacksize(&huge, size_t(1) << 50);
  ASSERT_EQ(pthread_setattr_default_np(&huge), 0);
  afterStart_ = [&] { pthread_setattr_default_np(&usual); };
  const Texts noThread = Run(platform.Address() + "/cb");
  afterStart_ = nullptr;
  pthread_attr_destroy(&huge);
  pthread_attr_destroy(&usual);
  EXPECT_EQ(noThread, (Texts{"10:无法开始上传：系统资源不足"}));
  // A lesson deleted before its turn never reaches the uploader.
  QFile::remove(lesson_);
  const Texts gone = Run(platform.Address() + "/cb");
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0].substr(0, 3), "10:");
  EXPECT_NE(gone[0].find("已被删除或改名"), std::string::npos);
}

}  // namespace
}  // namespace vortane
