// The platform requests over real HTTP against the reference server on 127.0.0.1: login and
// destinations, a refused password, every fault the server can play (redirects among them), a
// server that never answers, replaced requests, requests without a thread, and the stop signal.
#include "http/platform_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include "encoder/encoder_job.h"
#include "http/http_get.h"
#include "http/platform_account.h"
#include "support/pump.h"
#include "support/reference_platform.h"

namespace vortane {
namespace {

using test::ReferencePlatform;

int argc = 1;
char arg0[] = "platform_client_test";
char* argv[] = {arg0, nullptr};

using Texts = std::vector<std::string>;

// What requests running side by side report comes in either order.
Texts Sorted(Texts texts) {
  std::sort(texts.begin(), texts.end());
  return texts;
}

// Collects the replies reported to one receiver.
class Replies {
 public:
  QObject* receiver() { return &owner_; }
  PlatformReplyHandler handler() {
    return [this](const PlatformReply& reply) { replies_.push_back(reply); };
  }
  // Waits up to `ms` for `count` replies in all.
  bool WaitFor(size_t count, int ms) {
    return test::PumpUntil([&] { return replies_.size() >= count; }, ms);
  }
  int Code(size_t i) const { return replies_.at(i).StatusCode(); }
  std::string Text(size_t i) const { return replies_.at(i).text.toStdString(); }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (size_t i = 0; i < replies_.size(); ++i)
      texts.push_back(Text(i));
    return texts;
  }

 private:
  QObject owner_;
  std::vector<PlatformReply> replies_;
};

PlatformCredentials Teacher(const ReferencePlatform& server, const char* user = "13800138000",
                            const char* password = "lesson") {
  return {server.HostAndPort(), QString::fromUtf8(user), QString::fromUtf8(password)};
}

class PlatformClient : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { app_ = new QCoreApplication(argc, argv); }
  static void TearDownTestSuite() {
    EndPlatformRequests(std::chrono::seconds(20));
    delete app_;
  }
  static QCoreApplication* app_;
};
QCoreApplication* PlatformClient::app_ = nullptr;

TEST_F(PlatformClient, LoginAndDestinationsFromTheReferenceServer) {
  ReferencePlatform server({QStringLiteral("--rtmp"), QStringLiteral("rtmp://127.0.0.1:1/live")});
  ASSERT_FALSE(server.Address().isEmpty());
  Replies replies;
  RequestLiveTasks(Teacher(server), replies.receiver(), replies.handler());
  RequestUploadTargets(Teacher(server), replies.receiver(), replies.handler());
  ASSERT_TRUE(replies.WaitFor(2, 20000));
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(replies.Code(i), 3) << replies.Text(i);
    EXPECT_EQ(replies.Text(i), "");
  }
  PlatformAccount& live = LiveAccount();
  EXPECT_TRUE(live.IsLoaded());
  EXPECT_EQ(live.DisplayName(), "王老师");
  const std::vector<LiveTask> tasks = live.LiveTasks();
  ASSERT_EQ(tasks.size(), 9u);
  EXPECT_EQ(tasks[0].name, QString::fromUtf8("高一年级"));
  EXPECT_EQ(tasks[1].name, QString::fromUtf8("物理 第三章 牛顿运动定律"));
  EXPECT_EQ(tasks[1].level, 2);
  EXPECT_EQ(tasks[1].pushUrl, "rtmp://127.0.0.1:1/live/physics-11");
  EXPECT_EQ(tasks[1].callbackUrl, server.Address().toStdString() + "/backend/lumio/callback/11");
  EXPECT_EQ(tasks[1].meetingUrl,
            server.Address().toStdString() + "/meeting/11?account=13800138000&password=lesson");
  EXPECT_EQ(tasks[4].name, QString::fromUtf8("Unit 5 阅读 第一课时"));
  EXPECT_EQ(tasks[4].level, 3);
  EXPECT_EQ(tasks[8].name, QString::fromUtf8("公开课 语文 古诗词鉴赏"));
  EXPECT_TRUE(UploadAccount().IsLoaded());
  EXPECT_EQ(UploadAccount().UploadTargets().size(), 3u);

  // A password with "&", "#", "+" and a space logs in as typed.
  Replies second;
  RequestLiveTasks(Teacher(server, "teacher2", "a&b #1+2"), second.receiver(), second.handler());
  ASSERT_TRUE(second.WaitFor(1, 20000));
  EXPECT_EQ(second.Code(0), 3) << second.Text(0);
  EXPECT_EQ(LiveAccount().DisplayName(), "李老师");
  EXPECT_EQ(LiveAccount().LiveTasks().size(), 1u);

  // The wrong password: the platform's own words, logged out, the old list kept until a new one.
  Replies refused;
  RequestLiveTasks(Teacher(server, "teacher2", "a&b"), refused.receiver(), refused.handler());
  RequestUploadTargets(Teacher(server, "teacher2", "a&b"), refused.receiver(), refused.handler());
  ASSERT_TRUE(refused.WaitFor(2, 20000));
  EXPECT_EQ(Sorted(refused.Texts()),
            (Texts{"用户名或密码错误！", "登录上传服务器失败！用户名或密码错误！"}));
  EXPECT_FALSE(LiveAccount().IsLoaded());
  EXPECT_EQ(LiveAccount().LiveTasks().size(), 1u);
  EXPECT_FALSE(UploadAccount().IsLoaded());
  EXPECT_TRUE(UploadAccount().UploadTargets().empty());

  // The live list's refresh reuses the stored server, user and password.
  Replies refresh;
  RequestLiveTasks(Teacher(server), refresh.receiver(), refresh.handler());
  ASSERT_TRUE(refresh.WaitFor(1, 20000));
  RequestLiveTasks(std::nullopt, refresh.receiver(), refresh.handler());
  EXPECT_FALSE(LiveAccount().IsLoaded()) << "a refresh clears the loaded mark at once";
  ASSERT_TRUE(refresh.WaitFor(2, 20000));
  EXPECT_EQ(refresh.Code(1), 3) << refresh.Text(1);
  EXPECT_EQ(LiveAccount().LiveTasks().size(), 9u);
}

TEST_F(PlatformClient, EveryFaultReadsAsAPlainMessage) {
  ReferencePlatform server;
  ASSERT_FALSE(server.Address().isEmpty());
  struct Case {
    const char* fault;
    int code;
    const char* login;
    const char* destinations;
  };
  const Case cases[] = {
      {"http-500", 10, "无法连接服务器！", "无法连接上传服务器！"},
      {"not-json", 10, "服务器返回错误！", "上传服务器返回数据格式无法识别！"},
      {"no-code", 10, "服务器返回错误！", "上传服务器返回数据结构错误！"},
      {"huge-body", 10, "服务器返回错误！", "上传服务器返回数据格式无法识别！"},
      {"deep-nesting", 10, "服务器返回错误！", "上传服务器返回数据格式无法识别！"},
      {"slow-drip", 3, "", ""},
      // The account's address goes to no other host, even the same server under another name;
      // moved on the same host it is followed.
      {"redirect-away", 10, "无法连接服务器！", "无法连接上传服务器！"},
      {"redirect-here", 3, "", ""},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(server.SetFault(c.fault)) << c.fault;
    Replies replies;
    RequestLiveTasks(Teacher(server), replies.receiver(), replies.handler());
    ASSERT_TRUE(replies.WaitFor(1, 30000)) << c.fault;
    RequestUploadTargets(Teacher(server), replies.receiver(), replies.handler());
    ASSERT_TRUE(replies.WaitFor(2, 30000)) << c.fault;
    EXPECT_EQ(replies.Code(0), c.code) << c.fault;
    EXPECT_EQ(replies.Text(0), c.login) << c.fault;
    EXPECT_EQ(replies.Text(1), c.destinations) << c.fault;
    EXPECT_EQ(LiveAccount().IsLoaded(), c.code == 3) << c.fault;
  }
  EXPECT_TRUE(server.Referers().empty()) << "no request names the one before it";

  // A wrong path (404) reads like an unreachable server, and so does a port nobody listens on.
  ASSERT_TRUE(server.SetFault("none"));
  const int closedSocket = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ASSERT_EQ(bind(closedSocket, reinterpret_cast<sockaddr*>(&address), length), 0);
  getsockname(closedSocket, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string closed = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  close(closedSocket);
  for (const std::string& where : {server.HostAndPort().toStdString() + "/nowhere", closed}) {
    Replies replies;
    RequestLiveTasks(PlatformCredentials{QString::fromStdString(where),
                                         QStringLiteral("13800138000"), QStringLiteral("lesson")},
                     replies.receiver(), replies.handler());
    ASSERT_TRUE(replies.WaitFor(1, 20000)) << where;
    EXPECT_EQ(replies.Text(0), "无法连接服务器！") << where;
  }
}

TEST_F(PlatformClient, AServerThatNeverAnswersFailsInAboutTheReceiveTimeout) {
  ReferencePlatform silent({QStringLiteral("--fault"), QStringLiteral("no-answer")});
  ReferencePlatform good;
  ASSERT_FALSE(silent.Address().isEmpty());
  ASSERT_FALSE(good.Address().isEmpty());
  Replies replies;
  QElapsedTimer timer;
  timer.start();
  // The login to the silent server is replaced at once by one to the good server: only the
  // newer one reports and fills the account.
  RequestLiveTasks(Teacher(silent), replies.receiver(), replies.handler());
  RequestLiveTasks(Teacher(good), replies.receiver(), replies.handler());
  RequestUploadTargets(Teacher(silent), replies.receiver(), replies.handler());
  ASSERT_TRUE(replies.WaitFor(2, 30000));
  const qint64 elapsed = timer.elapsed();
  EXPECT_GE(elapsed, 4000) << "the receive time-out is 5 s";
  EXPECT_LE(elapsed, 15000);
  test::PumpUntil([] { return false; }, 3000);  // the replaced login ends meanwhile
  EXPECT_EQ(Sorted(replies.Texts()), (Texts{"", "无法连接上传服务器！"}));
  EXPECT_TRUE(LiveAccount().IsLoaded());
  EXPECT_EQ(LiveAccount().LiveTasks().size(), 9u);
}

TEST(HttpRedirects, TheAccountStaysWithItsHostAndNothingStepsDownToHttp) {
  struct Case {
    const char* from;
    const char* to;
    bool anyHost;   // a request without the account
    bool sameHost;  // a request that carries it
  };
  const Case cases[] = {
      {"http://school.cn/a?password=p", "http://school.cn/b", true, true},
      {"http://school.cn:8080/a", "https://SCHOOL.cn/b", true, true},
      {"http://school.cn/a", "http://school.cn:8081/b", true, true},
      {"http://school.cn/a", "http://evil.cn/b", true, false},
      {"http://school.cn/a", "http://school.cn.evil.cn/b", true, false},
      {"http://127.0.0.1:80/a", "http://localhost:80/b", true, false},
      {"https://school.cn/a", "http://school.cn/b", false, false},
      {"https://school.cn/a", "https://school.cn/b", true, true},
      {"http://school.cn/a", "ftp://school.cn/b", false, false},
      {"http://school.cn/a", "file:///etc/passwd", false, false},
      {"http://school.cn/a", "", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RedirectAllowed(c.from, c.to, Redirects::kAnyHost), c.anyHost)
        << c.from << " " << c.to;
    EXPECT_EQ(RedirectAllowed(c.from, c.to, Redirects::kSameHost), c.sameHost)
        << c.from << " " << c.to;
  }
}

TEST_F(PlatformClient, ARequestWhoseThreadCannotStartFailsLikeOneWithoutAnswer) {
  ReferencePlatform server;
  ASSERT_FALSE(server.Address().isEmpty());
  Replies replies;
  // No thread of this process can get a stack of a petabyte.
  pthread_attr_t normal;
  ASSERT_EQ(pthread_getattr_default_np(&normal), 0);
  pthread_attr_t huge;
  ASSERT_EQ(pthread_attr_init(&huge), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&huge, size_t{1} << 50), 0);
  ASSERT_EQ(pthread_setattr_default_np(&huge), 0);
  RequestLiveTasks(Teacher(server), replies.receiver(), replies.handler());
  RequestUploadTargets(Teacher(server), replies.receiver(), replies.handler());
  const bool sent = SendStopSignal(server.Address().toStdString() + "/backend/lumio/callback/11",
                                   replies.receiver(), replies.handler());
  ASSERT_EQ(pthread_setattr_default_np(&normal), 0);
  pthread_attr_destroy(&huge);
  pthread_attr_destroy(&normal);
  EXPECT_TRUE(sent);
  ASSERT_TRUE(replies.WaitFor(3, 20000));
  EXPECT_EQ(replies.Texts(),
            (Texts{"无法连接服务器！", "无法连接上传服务器！", "无法连接应用服务器！"}));
  EXPECT_FALSE(LiveAccount().IsLoaded());
  EXPECT_TRUE(EndPlatformRequests(std::chrono::seconds(1)));
  EXPECT_TRUE(server.Signals().empty());
}

TEST_F(PlatformClient, StopSignals) {
  ReferencePlatform server;
  ASSERT_FALSE(server.Address().isEmpty());
  const std::string base = server.Address().toStdString();
  Replies replies;
  EXPECT_FALSE(SendStopSignal("http://", replies.receiver(), replies.handler()));
  EXPECT_TRUE(
      SendStopSignal(base + "/backend/lumio/callback/11", replies.receiver(), replies.handler()));
  EXPECT_EQ(LiveAccount().RequestUrl(), base + "/backend/lumio/callback/11?signal=stop");
  EXPECT_TRUE(SendStopSignal(base + "/backend/lumio/callback/3?lesson=open", replies.receiver(),
                             replies.handler()));
  // A success posts nothing; a failure says so.
  EXPECT_TRUE(SendStopSignal(base + "/nowhere", replies.receiver(), replies.handler()));
  ASSERT_TRUE(replies.WaitFor(1, 20000));
  ASSERT_TRUE(EndPlatformRequests(std::chrono::seconds(20)));
  test::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(replies.Texts(), Texts{"无法连接应用服务器！"});
  EXPECT_EQ(Sorted(server.Signals()),
            (Texts{"task=11 signal=stop", "task=3 lesson=open&signal=stop"}));
}

}  // namespace
}  // namespace vortane
