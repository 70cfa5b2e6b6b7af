// The two interaction buttons of a live lesson without a window: the command lines they build
// from the platform's addresses, and what they start, refuse and say, with a real interaction
// module stand-in in a program-files folder of its own and a browser stand-in on PATH.
#include "http/interaction_launcher.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "http/interaction_command_lines.h"
#include "platform/folders.h"
#include "settings/settings.h"
#include "support/files.h"
#include "support/pump.h"
#include "support/scoped_env.h"

extern char** environ;

namespace vortane {
namespace {

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

// Two inputs and what they give.
struct Case {
  const char* input;
  const char* with;
  const char* expected;
};

// The module's arguments for a chat address, joined by blanks as its command line reads them;
// "invalid" or "too long" when there are none.
std::string ModuleLine(std::string_view chat, std::string_view server) {
  const std::optional<std::string> page = SafePageUrl(chat, server);
  if (!page) return "invalid";
  const std::optional<std::vector<std::string>> arguments = BuildModuleArguments(*page, chat);
  if (!arguments) return "too long";
  std::string line;
  for (const std::string& argument : *arguments)
    line += (line.empty() ? "" : " ") + argument;
  return line;
}

TEST(InteractionCommandLines, ChatModuleAndBrowserArguments) {
  const Case cases[] = {
      // A relative address completed with a server typed without a scheme.
      {"/chat/room?id=7&width=800&height=600&lock-view=1", "lesson.example.cn:8080",
       "--url=http://lesson.example.cn:8080/chat/room?id=7&width=800&height=600&lock-view=1"
       " --width=800 --height=600 --lock-view"},
      // The server already carries its scheme: no second http://.
      {"/chat/room?id=7&width=800&height=600&lock-view=1", "http://lesson.example.cn",
       "--url=http://lesson.example.cn/chat/room?id=7&width=800&height=600&lock-view=1"
       " --width=800 --height=600 --lock-view"},
      // Not a number gives 0; an empty value gives no option at all.
      {"https://chat.example.cn/r?xpos=abc&ypos=&height=480", "ignored",
       "--url=https://chat.example.cn/r?xpos=abc&ypos=&height=480 --height=480 --xpos=0"},
      // Leading blanks and a sign are read, the rest after the digits is not; options keep
      // their own order whatever the address's order.
      {"http://c/r?ypos= -40px&xpos=+25&width=99999999999", "",
       "--url=http://c/r?ypos=%20-40px&xpos=+25&width=99999999999 --width=2147483647 --xpos=25"
       " --ypos=-40"},
      // A "lock-view=" without a value locks nothing.
      {"http://c/r?lock-view=", "", "--url=http://c/r?lock-view="},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ModuleLine(c.input, c.with), c.expected) << c.input;

  // The module reads 1999 bytes: a line of exactly that length goes, one byte more is refused
  // (never cut, which would open another page).
  const std::string prefix = "http://c/";
  const std::string fits = prefix + std::string(1999 - 6 - prefix.size(), 'a');
  EXPECT_EQ(ModuleLine(fits, "").size(), 1999u);
  EXPECT_EQ(ModuleLine(fits + "a", ""), "too long");
  EXPECT_EQ(ModuleLine("/chat/1?width=1&room=" + std::string(1970, 'r'), "10.0.0.5:81"),
            "too long");

  // The video page: an https address passes unchanged; a relative one gets the server.
  const std::string meeting = "https://meet.example.cn/room/5?account=13800138000&password=p";
  EXPECT_EQ(SafePageUrl(meeting, "lesson.example.cn"), meeting);
  EXPECT_EQ(SafePageUrl("/meeting/3", "10.0.0.5:81"), "http://10.0.0.5:81/meeting/3");
  EXPECT_EQ(SafePageUrl("/meeting/3", "https://school.cn"), "https://school.cn/meeting/3");
  EXPECT_EQ(BuildBrowserArguments("https://m/r?a=1"),
            (std::vector<std::string>{"--app=https://m/r?a=1", "--incognito", "--start-maximized",
                                      "--start-maximized"}));
  // The platform's addresses are UTF-8; the account's name, put into the video page's address,
  // is GBK.
  EXPECT_EQ(CommandLineText("--url=http://c/聊天"), Utf8("--url=http://c/聊天"));
  EXPECT_EQ(ArgumentTexts({"--app=http://m/r?account=\xCD\xF5\xC0\xCF\xCA\xA6", "--incognito"}),
            QStringList({Utf8("--app=http://m/r?account=王老师"), "--incognito"}));
}

TEST(InteractionCommandLines, APlatformsAddressIsOneHttpArgumentOrNothing) {
  // Blanks, quotes and control characters are percent-encoded, so whatever reads the address
  // finds no end in it and no option after it.
  const Case pages[] = {
      {"http://127.0.0.1:8080/meeting/21?a=1 --user-data-dir=/tmp/p --gpu-launcher=touch /tmp/x",
       "",
       "http://127.0.0.1:8080/meeting/21?a=1%20--user-data-dir=/tmp/p%20--gpu-launcher=touch%20/"
       "tmp/x"},
      {"https://h/m?n=\"a' b\"", "", "https://h/m?n=%22a%27%20b%22"},
      {"http://h/m\t--load-extension=/tmp/e\r\n--remote-debugging-port=9222\x7F", "",
       "http://h/m%09--load-extension=/tmp/e%0D%0A--remote-debugging-port=9222%7F"},
      {"/meeting/3 --renderer-cmd-prefix=sh", "10.0.0.5:81",
       "http://10.0.0.5:81/meeting/3%20--renderer-cmd-prefix=sh"},
      // Anything but an absolute http or https address with a host opens nothing: a relative
      // address glued to the server without a slash is no address either.
      {"httpfile:///etc/passwd", "", nullptr},
      {"http:/meeting/3", "", nullptr},
      {"http:///meeting/3", "", nullptr},
      {"https://", "", nullptr},
      {"javascript:alert(1)", "10.0.0.5:81", nullptr},
      {"file:///etc/passwd", "10.0.0.5:81", nullptr},
      {"/meeting/3", "", nullptr},
      {"/meeting/3", "school.cn --no-sandbox", nullptr},
  };
  for (const Case& c : pages) {
    const std::optional<std::string> page = SafePageUrl(c.input, c.with);
    if (c.expected == nullptr) {
      EXPECT_FALSE(page) << c.input << " gave " << page.value_or("");
    } else {
      EXPECT_EQ(page.value_or("refused"), c.expected) << c.input;
    }
  }

  // A chat address with options of its own: the page is one argument, the geometry is read.
  EXPECT_EQ(ModuleLine("http://127.0.0.1:8080/chat/21?width=380 --url=file:///etc/passwd "
                       "-platformpluginpath /tmp/p --webEngineArgs --renderer-cmd-prefix=sh"
                       "&height=560",
                       ""),
            "--url=http://127.0.0.1:8080/chat/21?width=380%20--url=file:///etc/passwd%20"
            "-platformpluginpath%20/tmp/p%20--webEngineArgs%20--renderer-cmd-prefix=sh"
            "&height=560 --width=380 --height=560");
  EXPECT_EQ(ModuleLine("file:///etc/passwd", "10.0.0.5:81"), "invalid");
}

TEST(InteractionCommandLines, GetUrlParam) {
  const Case cases[] = {
      {"/c?width=800&height=600", "width", "800"},
      {"/c?width=800&height=600", "height", "600"},  // the last one runs to the end
      {"/c?maxwidth=5&width=800", "width", "5"},     // the key as the tail of a longer name
      {"/c?a=1&width=800", "width", "800"},
      {"/c?width=&height=1", "width", ""},
      {"/c?lock-view=1", "lock-view", "1"},
      {"/c?height=1", "width", ""},
      {"/c?width", "width", ""},
      // A first value without a following '&' gives way to a later one that has one... but
      // only across a line break, where a value ends.
      {"/c?width=1\n&width=2&", "width", "2"},
      {"/c?width=1\nx", "width", "1"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetUrlParam(c.input, c.with), c.expected) << c.input << " " << c.with;
  // A very long address is searched without trouble.
  const std::string huge = "/c?" + std::string(4'000'000, 'x') + "width=7";
  EXPECT_EQ(GetUrlParam(huge, "width"), "7");
}

// What the launchers reach in the toolbar, recorded.
class FakeHost : public InteractionHost {
 public:
  bool loggedIn = true;
  std::optional<LiveTask> task;
  std::optional<LiveTask> chosenInList;  // what the live list's user picks
  bool cameraOpen = false;
  int listOpened = 0;
  int cameraClosed = 0;
  std::vector<std::pair<QString, MessageIcon>> messages;

  bool IsLoggedIn() const override { return loggedIn; }
  std::optional<LiveTask> SelectedTask() const override { return task; }
  void ChooseLiveTask() override {
    ++listOpened;
    if (chosenInList) task = chosenInList;
  }
  void ShowLauncherMessage(const QString& text, MessageIcon icon) override {
    messages.emplace_back(text, icon);
  }
  bool IsCameraOpen() const override { return cameraOpen; }
  void CloseCamera() override {
    ++cameraClosed;
    cameraOpen = false;
  }
};

LiveTask Lesson(std::string chat, std::string meeting) {
  LiveTask task;
  task.id = 11;
  task.name = Utf8("物理");
  task.chatUrl = std::move(chat);
  task.meetingUrl = std::move(meeting);
  return task;
}

using Messages = std::vector<std::pair<QString, MessageIcon>>;

// The message boxes showing `texts`, all with `icon`.
Messages Said(MessageIcon icon, std::initializer_list<const char*> texts) {
  Messages said;
  for (const char* text : texts)
    said.emplace_back(Utf8(text), icon);
  return said;
}

const MessageIcon info = MessageIcon::kInformation;
const MessageIcon warning = MessageIcon::kWarning;

TEST(InteractionLauncher, PreconditionsAndPagesATaskLacks) {
  Settings settings;
  QTemporaryDir programFiles;  // no module installed: nothing may get that far
  test::ScopedEnv folder(kProgramFilesVariable, QFile::encodeName(programFiles.path()));

  FakeHost host;
  host.loggedIn = false;
  host.task = Lesson("/chat/1", "/meeting/1");
  InteractionLauncher launcher(host, settings);
  EXPECT_EQ(launcher.OpenChat().outcome, LaunchOutcome::kNotLoggedIn);
  EXPECT_EQ(launcher.OpenVideoInteraction().outcome, LaunchOutcome::kNotLoggedIn);
  EXPECT_EQ(host.messages, Said(info, {"登录系统后才可以互动！", "登录系统后才可以互动！"}));
  EXPECT_EQ(host.listOpened, 0);

  // No task: said, then the live list opens; choosing none there ends it.
  host = FakeHost();
  EXPECT_EQ(launcher.OpenVideoInteraction().outcome, LaunchOutcome::kNoTask);
  EXPECT_EQ(host.messages, Said(info, {"请先选择直播课程！"}));
  EXPECT_EQ(host.listOpened, 1);

  // The task chosen in the list is used at once; this one has neither page.
  host = FakeHost();
  host.chosenInList = Lesson("", "");
  EXPECT_EQ(launcher.OpenChat().outcome, LaunchOutcome::kNoPage);
  EXPECT_EQ(launcher.OpenVideoInteraction().outcome, LaunchOutcome::kNoPage);
  EXPECT_EQ(host.messages, Said(info, {"请先选择直播课程！", "该直播课程没有开启互动功能！",
                                       "该直播课程没有开启视频互动功能！"}));
  EXPECT_EQ(host.listOpened, 1);
  EXPECT_EQ(host.cameraClosed, 0);

  // A video page that is not an http or https address opens nothing, and the camera window
  // stays.
  host = FakeHost();
  host.task = Lesson("", "httpfile:///etc/passwd");
  host.cameraOpen = true;
  EXPECT_EQ(launcher.OpenVideoInteraction().outcome, LaunchOutcome::kBadAddress);
  EXPECT_EQ(host.cameraClosed, 0);
  EXPECT_EQ(host.messages, Said(warning, {"该直播课程的互动页面地址无效，无法开启互动！"}));
}

// A stand-in program that writes its arguments, one per line in brackets, into `record`.
bool WriteRecorder(const QString& path, const QString& record) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  const QByteArray to = QFile::encodeName(record);
  test::WriteBytes(path, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"" + to +
                             ".part\"\nmv \"" + to + ".part\" \"" + to + "\"\n");
  return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The recorded arguments once the stand-in has run (nothing after 30 s).
QStringList Recorded(const QString& record) {
  test::PumpUntil([&] { return QFile::exists(record); });
  return QString::fromUtf8(test::ReadBytes(record)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A process whose program file is named talvine, as a running module is.
pid_t StartFakeModule(const QString& folder) {
  const QString program = folder + QStringLiteral("/talvine");
  if (!QFile::exists(program)) QFile::copy(QStringLiteral("/bin/sleep"), program);
  const QByteArray path = QFile::encodeName(program);
  char seconds[] = "60";
  char* argv[] = {const_cast<char*>(path.constData()), seconds, nullptr};
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ), 0);
  return pid;
}

void EndProcess(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST(InteractionLauncher, ChatModuleStartsUnlessMissingTwoRunningOrTheAddressIsTooLong) {
  QTemporaryDir programFiles;
  QTemporaryDir work;
  test::ScopedEnv folder(kProgramFilesVariable, QFile::encodeName(programFiles.path()));
  Settings settings;
  settings.platformServer = QStringLiteral("127.0.0.1:8080");
  FakeHost host;
  host.task = Lesson("/chat/11?width=380&height=560&lock-view=1", "");
  InteractionLauncher launcher(host, settings);
  ASSERT_EQ(CountRunningModules(), 0) << "another interaction module runs on this machine";

  // Not installed.
  EXPECT_EQ(launcher.OpenChat().outcome, LaunchOutcome::kModuleMissing);
  EXPECT_EQ(std::exchange(host.messages, {}),
            Said(warning, {"您没有安装互动模块，请下载并安装互动模块然后再尝试开启互动！"}));

  // Installed, one module already running: another one starts with the page and its geometry.
  const QString record = work.filePath(QStringLiteral("first.txt"));
  ASSERT_TRUE(WriteRecorder(programFiles.filePath(QStringLiteral("talvine/talvine")), record));
  const pid_t running = StartFakeModule(work.path());
  ASSERT_TRUE(test::PumpUntil([] { return CountRunningModules() == 1; }, 10000));
  const LaunchResult started = launcher.OpenChat();
  EXPECT_EQ(started.outcome, LaunchOutcome::kStarted);
  EXPECT_EQ(started.program, programFiles.filePath(QStringLiteral("talvine/talvine")));
  EXPECT_EQ(Recorded(record),
            QStringList({"[--url=http://127.0.0.1:8080/chat/11?width=380&height=560&lock-view=1]",
                         "[--width=380]", "[--height=560]", "[--lock-view]"}));
  EXPECT_TRUE(host.messages.empty());

  // Two running: nothing happens, and nothing is said.
  const pid_t second = StartFakeModule(work.path());
  ASSERT_TRUE(test::PumpUntil([] { return CountRunningModules() == 2; }, 10000));
  EXPECT_EQ(launcher.OpenChat().outcome, LaunchOutcome::kModuleBusy);
  EXPECT_TRUE(host.messages.empty());
  EndProcess(running);
  EndProcess(second);
  EXPECT_TRUE(test::PumpUntil([] { return CountRunningModules() == 0; }, 10000));

  // A chat address that is not an http or https address does not reach the module.
  QFile::remove(record);
  host.task = Lesson("file:///etc/passwd", "");
  EXPECT_EQ(launcher.OpenChat().outcome, LaunchOutcome::kBadAddress);
  EXPECT_EQ(std::exchange(host.messages, {}),
            Said(warning, {"该直播课程的互动页面地址无效，无法开启互动！"}));
  EXPECT_FALSE(QFile::exists(record));

  // An address the module's command line cannot hold is refused, not cut.
  host.task = Lesson("/chat/11?room=" + std::string(2000, 'r'), "");
  EXPECT_EQ(launcher.OpenChat().outcome, LaunchOutcome::kTooLong);
  EXPECT_EQ(std::exchange(host.messages, {}),
            Said(warning, {"该直播课程的互动页面地址太长，无法开启互动！"}));

  // A module file that cannot run is said too.
  host.task = Lesson("/chat/11", "");
  QFile::setPermissions(programFiles.filePath(QStringLiteral("talvine/talvine")),
                        QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_EQ(launcher.OpenChat().outcome, LaunchOutcome::kStartFailed);
  EXPECT_EQ(host.messages, Said(warning, {"互动模块无法启动，请重新安装互动模块！"}));
}

TEST(InteractionLauncher, VideoPageOpensInTheFirstBrowserAfterTheCameraWindowCloses) {
  QTemporaryDir browsers;
  QTemporaryDir work;
  test::ScopedEnv path("PATH", QFile::encodeName(browsers.path()) + ":/usr/bin:/bin");
  Settings settings;
  settings.platformServer = QStringLiteral("school.example.cn");
  FakeHost host;
  host.task = Lesson("", "https://meet.example.cn/room/11?account=13800138000&password=lesson");
  host.cameraOpen = true;
  InteractionLauncher launcher(host, settings);
  const char* noBrowser =
      "该功能需要谷歌浏览器支持，请安装谷歌浏览器！\n安装地址：百度搜索chrome或谷歌浏览器。";

  // No browser: the camera window has closed all the same, and the user is told.
  if (!InteractionLauncher::FindBrowser().isEmpty()) GTEST_SKIP() << "a browser in /usr/bin";
  EXPECT_EQ(launcher.OpenVideoInteraction().outcome, LaunchOutcome::kStartFailed);
  EXPECT_EQ(host.cameraClosed, 1);
  EXPECT_EQ(std::exchange(host.messages, {}), Said(warning, {noBrowser}));

  // Chromium alone serves; Google Chrome comes first when both are there.
  const QString chromiumRecord = work.filePath(QStringLiteral("chromium.txt"));
  ASSERT_TRUE(WriteRecorder(browsers.filePath(QStringLiteral("chromium")), chromiumRecord));
  EXPECT_EQ(launcher.OpenVideoInteraction().outcome, LaunchOutcome::kStarted);
  EXPECT_EQ(host.cameraClosed, 1) << "a closed camera window is left alone";
  EXPECT_EQ(Recorded(chromiumRecord),
            QStringList({"[--app=https://meet.example.cn/room/11?account=13800138000&password="
                         "lesson]",
                         "[--incognito]", "[--start-maximized]", "[--start-maximized]"}));
  const QString chromeRecord = work.filePath(QStringLiteral("chrome.txt"));
  ASSERT_TRUE(WriteRecorder(browsers.filePath(QStringLiteral("google-chrome")), chromeRecord));
  host.task = Lesson("", "/meeting/11");
  const LaunchResult chrome = launcher.OpenVideoInteraction();
  EXPECT_EQ(chrome.program, browsers.filePath(QStringLiteral("google-chrome")));
  EXPECT_EQ(Recorded(chromeRecord).value(0),
            QStringLiteral("[--app=http://school.example.cn/meeting/11]"));

  // A browser that cannot be started counts as none.
  test::WriteBytes(browsers.filePath(QStringLiteral("google-chrome")),
                   "#!/nonexistent/interpreter\n");
  EXPECT_EQ(launcher.OpenVideoInteraction().outcome, LaunchOutcome::kStartFailed);
  EXPECT_EQ(host.messages, Said(warning, {noBrowser}));
}

}  // namespace
}  // namespace vortane
