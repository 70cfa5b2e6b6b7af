// The platform protocol without the network: request addresses, the stop signal's address, the
// text helpers, and what every kind of reply means for its request.
#include "http/platform_reply.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "http/platform_text.h"

namespace vortane {
namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

std::string Utf8Of(const QString& text) {
  return text.toStdString();
}

TEST(PlatformReply, AddressesAndTheTextHelpersTheyUse) {
  struct Case {
    const char* server;
    const char* path;
    const char* user;
    const char* password;
    const char* url;
  };
  const Case cases[] = {
      {"lesson.example.cn:8080", kLivesPath, "13800138000", "pw1",
       "http://lesson.example.cn:8080/backend/lumio/lives/?username=13800138000&password=pw1"},
      {"http://10.0.0.5", kUploadsPath, "u", "p",
       "http://10.0.0.5/backend/lumio/?username=u&password=p"},
      {"https://school.example.cn", kLivesPath, "u", "p",
       "https://school.example.cn/backend/lumio/lives/?username=u&password=p"},
      // "http" later in the text is no scheme.
      {"myhttp.example.cn", kLivesPath, "u", "p",
       "http://myhttp.example.cn/backend/lumio/lives/?username=u&password=p"},
      // A query already there: "&username=".
      {"host/portal?site=2", kLivesPath, "u", "p",
       "http://host/portal?site=2/backend/lumio/lives/&username=u&password=p"},
      // Values that would cut or bend the query are percent-encoded; a space becomes "+".
      {"host", kLivesPath, "a&b", "p#1+2 x&y=z",
       "http://host/backend/lumio/lives/?username=a%26b&password=p%231%2B2+x%26y%3Dz"},
      // A Chinese user name goes out as UTF-8.
      {"host", kLivesPath, "王", "p",
       "http://host/backend/lumio/lives/?username=%E7%8E%8B&password=p"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BuildAccountUrl({U(c.server), U(c.user), U(c.password)}, c.path), c.url) << c.server;

  EXPECT_FALSE(StopSignalUrl("http://"));  // 7 characters: nothing is sent
  EXPECT_EQ(StopSignalUrl("http://a"), "http://a?signal=stop");
  EXPECT_EQ(StopSignalUrl("http://host/cb/11"), "http://host/cb/11?signal=stop");
  EXPECT_EQ(StopSignalUrl("http://host/cb?lesson=3"), "http://host/cb?lesson=3&signal=stop");
  // A "?" at the very start is no query.
  EXPECT_EQ(StopSignalUrl("?http://host/cb"), "?http://host/cb?signal=stop");

  EXPECT_EQ(UrlEncode("Az09-_.~"), "Az09-_.~");
  EXPECT_EQ(UrlEncode("a b/\xE7\x8E\x8B"), "a+b%2F%E7%8E%8B");
  // Every occurrence, and a replacement is never scanned again.
  EXPECT_EQ(ReplaceAll("_ACCT/_ACCT", "_ACCT", "x_ACCTx"), "x_ACCTx/x_ACCTx");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  // A cut never splits a character: "王" is 3 bytes.
  EXPECT_EQ(Utf8Prefix("ab\xE7\x8E\x8B", 4), "ab");
  EXPECT_EQ(Utf8Prefix("ab\xE7\x8E\x8B", 5), "ab\xE7\x8E\x8B");
}

TEST(PlatformReply, TaskTreesFlattenInPreOrder) {
  const PlatformCredentials account{U("host"), U("t_PWD"), U("p&1")};
  const std::string body = R"({"code":0,"name":"王老师","data":[
    {"id":"17","name":"高一","children":[
      {"id":17.9,"name":"物理","level":2,"start_time":"2024-03-12 14:00",
       "push_url":"rtmp://h/live/a","calback_url":"http://h/cb/1","chat_url":"http://h/chat",
       "meeting_url":"http://h/m?a=_ACCT&b=_ACCT&p=_PWD"},
      {"id":3,"level":2,"children":[{"id":4,"name":"skipped with its parent"}]},
      "not a node",
      {"id":true,"name":"id of the wrong kind"},
      {"id":5,"name":"数学","level":"3","push_url":7}
    ]},
    {"id":-2.9,"name":"公开课","level":99999999999,"children":[]},
    {"id":"12abc","name":"atoi","level":-1e300},
    {"id":99999999999999999999,"name":"huge","level":0}
  ]})";
  const LoginReply reply = ReadLoginReply(body, account);
  ASSERT_TRUE(reply.ok) << Utf8Of(reply.text);
  EXPECT_EQ(reply.displayName, "王老师");
  ASSERT_EQ(reply.tasks.size(), 6u);
  const std::vector<std::pair<int, int>> idsAndLevels = {
      {17, 1}, {17, 2}, {5, 1}, {-2, 2147483647}, {12, -2147483648}, {2147483647, 0}};
  const char* names[] = {"高一", "物理", "数学", "公开课", "atoi", "huge"};
  for (size_t i = 0; i < reply.tasks.size(); ++i) {
    EXPECT_EQ(reply.tasks[i].id, idsAndLevels[i].first) << i;
    EXPECT_EQ(reply.tasks[i].level, idsAndLevels[i].second) << i;
    EXPECT_EQ(reply.tasks[i].name, QString::fromUtf8(names[i])) << i;
  }
  const LiveTask& physics = reply.tasks[1];
  EXPECT_EQ(physics.startTime, U("2024-03-12 14:00"));
  EXPECT_EQ(physics.pushUrl, "rtmp://h/live/a");
  EXPECT_EQ(physics.callbackUrl, "http://h/cb/1");
  EXPECT_EQ(physics.chatUrl, "http://h/chat");
  // The user name twice; its own "_PWD" becomes the password too; both percent-encoded.
  EXPECT_EQ(physics.meetingUrl, "http://h/m?a=tp%261&b=tp%261&p=p%261");
  EXPECT_TRUE(reply.tasks[2].pushUrl.empty()) << "a number is no address";
}

TEST(PlatformReply, RepliesNoRealPlatformSends) {
  const PlatformCredentials account{U("host"), U("u"), U("p")};
  auto nested = [](int levels) {
    std::string data;
    for (int i = 0; i < levels; ++i)
      data += R"([{"id":1,"name":"n","children":)";
    data += "[]";
    for (int i = 0; i < levels; ++i)
      data += "}]";
    return R"({"code":0,"data":)" + data + "}";
  };
  // 64 levels are a tree; 65 and far deeper are refused, without a crash.
  const LoginReply deepest = ReadLoginReply(nested(64), account);
  EXPECT_TRUE(deepest.ok);
  EXPECT_EQ(deepest.tasks.size(), 64u);
  for (int levels : {65, 100000}) {
    const LoginReply reply = ReadLoginReply(nested(levels), account);
    EXPECT_FALSE(reply.ok) << levels;
    EXPECT_TRUE(reply.tasks.empty()) << levels;
    EXPECT_EQ(Utf8Of(reply.text), "服务器返回错误！") << levels;
  }
  const UploadReply uploads = ReadUploadReply(nested(100000));
  EXPECT_FALSE(uploads.ok);
  EXPECT_EQ(Utf8Of(uploads.text), "上传服务器返回数据格式无法识别！");
  // Brackets inside strings are no nesting.
  const std::string brackets(5000, '[');
  EXPECT_TRUE(
      ReadLoginReply(R"({"code":0,"data":[{"id":1,"name":")" + brackets + R"("}]})", account).ok);
  // A long error description is kept whole here; the status text cuts it at 255 bytes.
  const std::string longError(600, 'x');
  EXPECT_EQ(Utf8Of(ReadLoginReply(R"({"code":3,"err_desc":")" + longError + "\"}", account).text),
            longError);
}

// A reply's body (none: no answer), whether it is a success, and the text it leaves (UTF-8).
struct ReplyCase {
  std::optional<std::string> body;
  bool ok;
  const char* text;
  bool loaded = false;
};

std::string Name(const ReplyCase& c) {
  return c.body.value_or("(no answer)");
}

TEST(PlatformReply, LoginUploadAndStopReplies) {
  const PlatformCredentials account{U("host"), U("13800138000"), U("pw")};
  const ReplyCase logins[] = {
      {std::nullopt, false, "无法连接服务器！"},
      {"<html>502</html>", false, "服务器返回错误！"},
      {"[1,2]", false, "服务器返回错误！"},
      {R"({"data":[]})", false, "服务器返回错误！"},
      {R"({"code":"0","data":[]})", false, "服务器返回错误！"},  // code as text
      {R"({"code":1,"err_desc":"密码错误"})", false, "密码错误"},
      {R"({"code":2})", false, "登录服务器失败！"},
      {R"({"code":2,"err_desc":""})", false, "登录服务器失败！"},
      {R"({"code":0,"name":"王老师"})", false, "没有直播任务！"},
      {R"({"code":0,"data":{}})", false, "没有直播任务！"},
      // Broken UTF-8, and a reply cut short.
      {"{\"code\":0,\"data\":[{\"id\":1,\"name\":\"\xE7\x8E\"}]}", false, "服务器返回错误！"},
      {R"({"code":0,"data":[{"id":1,"name":"物)", false, "服务器返回错误！"},
      {R"({"code":0,"data":[]})", true, ""},
      {"{\"code\":0,\"data\":[]}\n", true, ""},
  };
  for (const ReplyCase& c : logins) {
    const LoginReply reply = ReadLoginReply(c.body, account);
    EXPECT_EQ(reply.ok, c.ok) << Name(c);
    EXPECT_EQ(Utf8Of(reply.text), c.text) << Name(c);
  }

  const ReplyCase uploads[] = {
      {std::nullopt, false, "无法连接上传服务器！"},
      {"<html>", false, "上传服务器返回数据格式无法识别！"},
      {R"({"data":[]})", false, "上传服务器返回数据结构错误！"},
      {R"({"code":4,"err_desc":"账号已停用"})", false, "登录上传服务器失败！账号已停用"},
      {R"({"code":4})", false, "登录上传服务器失败！"},
      // No "data": a success without destinations.
      {R"({"code":0})", true, ""},
      {R"({"code":0,"data":[]})", true, "", true},
  };
  for (const ReplyCase& c : uploads) {
    const UploadReply reply = ReadUploadReply(c.body);
    EXPECT_EQ(reply.ok, c.ok) << Name(c);
    EXPECT_EQ(reply.loaded, c.loaded) << Name(c);
    EXPECT_EQ(Utf8Of(reply.text), c.text) << Name(c);
  }
  const UploadReply tree = ReadUploadReply(
      R"({"code":0,"name":"ignored","data":[{"id":100,"name":"资源库","children":[
        {"id":"101","name":"物理","level":2,"upload_url":"http://h/files/","calback_url":"http://h/up?f=_FILENAME"}]}]})");
  ASSERT_EQ(tree.targets.size(), 2u);
  EXPECT_EQ(tree.targets[1].id, 101);
  EXPECT_EQ(tree.targets[1].level, 2);
  EXPECT_EQ(tree.targets[1].name, QString::fromUtf8("物理"));
  EXPECT_EQ(tree.targets[1].uploadUrl, "http://h/files/");
  EXPECT_EQ(tree.targets[1].callbackUrl, "http://h/up?f=_FILENAME");

  const ReplyCase stops[] = {
      {std::nullopt, false, "无法连接应用服务器！"},
      {"ok", false, "应用服务器返回错误！"},
      {R"({"result":0})", false, "应用服务器返回错误！"},
      {R"({"code":5,"err_desc":"直播不存在"})", false, "直播不存在"},
      {R"({"code":5})", false, "请求应用服务器失败！"},
      {R"({"code":0})", true, ""},
  };
  for (const ReplyCase& c : stops) {
    const StopReply reply = ReadStopReply(c.body);
    EXPECT_EQ(reply.ok, c.ok) << Name(c);
    EXPECT_EQ(Utf8Of(reply.text), c.text) << Name(c);
  }
}

}  // namespace
}  // namespace vortane
