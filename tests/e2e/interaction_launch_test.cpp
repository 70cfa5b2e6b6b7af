// A teacher opens a live lesson's two interaction pages from the toolbar, with the real program,
// the real interaction module (talvine, a Qt WebEngine window) and the reference platform of
// scripts/with-desktop: log in, choose the physics lesson, 文字互动 shows the lesson's chat page
// beside the toolbar at the place and size its address asks for; then, while the camera is being
// pushed live and the camera window is up, 视频互动 closes the camera window and opens the video
// page in the browser (a stand-in on PATH that records its arguments).
//
// Then a hostile platform, whose addresses try to add options and write files.
//
// Set VORTANE_SCREENSHOT_DIR to keep a picture of the chat page beside the toolbar.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "dialog_harness.h"
#include "platform/process.h"
#include "support/reference_platform.h"

namespace vortane::test {
namespace {

const QString kPhysics = Utf8("物理 第三章 牛顿运动定律");
// Where the sample platform's physics chat address puts the module:
// "…/chat/11?width=380&height=560&xpos=1520&ypos=150&lock-view=1".
const QRect kChatWindow(1520, 150, 380, 560);

// Writes an executable shell script.
bool WriteScript(const QString& path, const QByteArray& text) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text);
  file.close();
  return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A student's message in the lesson's chat room, sent as the chat page sends it.
bool PostChatMessage(const QString& room, const QString& name, const QString& text) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  const std::string url = (room + QStringLiteral("/messages")).toStdString();
  const std::string body =
      QJsonDocument(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("text"), text}})
          .toJson(QJsonDocument::Compact)
          .toStdString();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(
      curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t n, void*) { return size * n; });
  long status = 0;
  const bool sent = curl_easy_perform(curl) == CURLE_OK &&
                    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
                    status == 200;
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return sent;
}

// The interaction modules running on this test's desktop (other desktops may run their own).
std::vector<pid_t> ModulesOnThisDesktop() {
  std::vector<pid_t> found;
  const QByteArray display = "DISPLAY=" + qgetenv("DISPLAY");
  for (pid_t pid : platform::FindProcessesByName("talvine")) {
    QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
    if (environment.open(QIODevice::ReadOnly) &&
        environment.readAll().split('\0').contains(display))
      found.push_back(pid);
  }
  return found;
}

// Clicks the toolbar control `id` as traced from line `from` on.
bool ClickControl(Toolbar& toolbar, int id, size_t from = 0) {
  const std::map<int, QPoint> controls = TracedControls(toolbar, from);
  return controls.count(id) != 0 && ClickAt(controls.at(id));
}

// A stand-in program that writes its arguments, one per line in brackets, into `record`.
bool WriteRecorder(const QString& path, const QString& record) {
  const QByteArray to = QFile::encodeName(record);
  return QDir().mkpath(QFileInfo(path).absolutePath()) &&
         WriteScript(path, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"" +
                               to + ".part\"\nmv \"" + to + ".part\" \"" + to + "\"\n");
}

// What a recorder wrote, once it has (empty after `ms`).
QString Recorded(const QString& record, int ms = 10000) {
  if (!WaitUntil([&] { return QFile::exists(record); }, ms)) return {};
  QFile file(record);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// An ffmpeg stand-in for a camera that exists only in a fixture: it records its arguments into
// `record` and reports progress until the stop's "q".
bool WriteEncoderStandIn(const QString& path, const QString& record) {
  const QByteArray to = QFile::encodeName(record);
  return WriteScript(path, "#!/bin/bash\nprintf '[%s]\\n' \"$@\" > \"" + to + ".part\"\nmv \"" +
                               to + ".part\" \"" + to +
                               "\"\nwhile :; do printf 'frame=1 time=00:00:01.00 "
                               "bitrate=1.0kbits/s \\r' >&2; read -t 1 -n 1 key && exit 0; done\n");
}

// The camera of the fixture, as the settings name it.
bool WriteCameraFixture(const QString& path) {
  return WriteScript(path,
                     "camera USB Camera HD\npath /nonexistent/vortane-video0\n"
                     "size 1280x720 YUYV\n");
}

// Logs in through the login dialog as 王老师; true once both replies have arrived.
bool LogIn(Toolbar& toolbar, const ReferencePlatform& platform) {
  size_t from = toolbar.TraceSize();
  if (!ClickControl(toolbar, 2020) ||
      !toolbar.WaitForTrace(QStringLiteral("login dialog opened"), 10000, from))
    return false;
  const std::map<int, QPoint> controls = TracedControls(toolbar, from);
  if (!TypeInto(controls.at(1056), platform.HostAndPort()) ||
      !TypeInto(controls.at(2020), QStringLiteral("13800138000")) ||
      !TypeInto(controls.at(1058), QStringLiteral("lesson")))
    return false;
  from = toolbar.TraceSize();
  if (!ClickAt(controls.at(1)) || !toolbar.WaitForTrace(Utf8("user: 王老师"), 20000, from))
    return false;
  return WaitUntil(
      [&] {
        int replies = 0;
        for (size_t i = from; i < toolbar.Trace().size(); ++i)
          replies += toolbar.Trace()[i].text.startsWith(QStringLiteral("platform reply 3"));
        return replies >= 2;
      },
      20000);
}

// Opens 直播列表 and clicks the row `name` and 选择. The list's controls are returned, or none
// when it did not open or has no such row.
std::optional<std::map<int, QPoint>> ChooseInLiveList(Toolbar& toolbar, const QString& name) {
  const size_t from = toolbar.TraceSize();
  if (!ClickControl(toolbar, 1054) ||
      !toolbar.WaitForTrace(QStringLiteral("live list opened"), 10000, from))
    return std::nullopt;
  const auto row = TracedRow(toolbar, name, from);
  const std::map<int, QPoint> controls = TracedControls(toolbar, from);
  if (!row || !ClickAt(*row) || !ClickAt(controls.at(1))) return std::nullopt;
  return controls;
}

// Starts `toolbar` set to push the fixture camera live, with the stand-ins in `work`/bin first on
// PATH, `ffmpeg` as the encoder's ffmpeg and `cameras` as the camera fixture.
void StartLiveCameraToolbar(Toolbar& toolbar, const QTemporaryDir& work, const QString& ffmpeg,
                            const QString& cameras, QStringList environment = {}) {
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())
                                      .LiveEnabled(true)
                                      .VideoSource(1)
                                      .VideoDevice(QStringLiteral("USB Camera HD"))));
  environment << QStringLiteral("PATH=") + work.filePath(QStringLiteral("bin")) + QLatin1Char(':') +
                     qEnvironmentVariable("PATH")
              << QStringLiteral("VORTENC_FFMPEG=") + ffmpeg
              << QStringLiteral("VORTANE_DEVICE_FIXTURE=") + cameras;
  toolbar.Start(ProgramDir() + QStringLiteral("/vortane"), environment);
}

TEST(InteractionLaunch, ChatPageBesideTheToolbarAndVideoPageInTheBrowser) {
  ReferencePlatform platform = ReferencePlatform::Shared();
  ASSERT_FALSE(platform.Address().isEmpty()) << "needs the platform server of scripts/with-desktop";
  ASSERT_TRUE(QFile::exists(qEnvironmentVariable("VORTANE_PROGRAM_FILES") +
                            QStringLiteral("/talvine/talvine")))
      << "the interaction module is built into the program-files folder";
  ASSERT_TRUE(ModulesOnThisDesktop().empty()) << "a module runs already";
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());

  // The browser stand-in records its arguments. The camera exists only in a fixture, so an
  // ffmpeg stand-in pushes it.
  const QString browserRecord = work.filePath(QStringLiteral("browser.txt"));
  ASSERT_TRUE(WriteRecorder(work.filePath(QStringLiteral("bin/google-chrome")), browserRecord));
  const QString ffmpeg = work.filePath(QStringLiteral("ffmpeg"));
  ASSERT_TRUE(WriteEncoderStandIn(ffmpeg, work.filePath(QStringLiteral("ffmpeg.txt"))));
  const QString cameras = work.filePath(QStringLiteral("cameras.txt"));
  ASSERT_TRUE(WriteCameraFixture(cameras));

  Toolbar toolbar;
  ASSERT_NO_FATAL_FAILURE(StartLiveCameraToolbar(toolbar, work, ffmpeg, cameras));
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  const auto bar = VisibleWindowRect(QString::fromLatin1(kToolbarName));
  ASSERT_TRUE(bar);

  // Log in and choose the physics lesson, as the platform test does.
  ASSERT_TRUE(LogIn(toolbar, platform)) << toolbar.TraceText().toStdString();
  size_t from = toolbar.TraceSize();
  ASSERT_TRUE(ChooseInLiveList(toolbar, kPhysics)) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("task: ") + kPhysics, 10000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("control 1066 at"), 5000, from))
      << "the interaction buttons appear with the lesson";

  // A student has written; 文字互动 opens the chat room in the module, where the address says.
  const QString room = platform.Address() + QStringLiteral("/chat/11");
  ASSERT_TRUE(PostChatMessage(room, Utf8("李同学"), Utf8("老师好！第三题我没听懂。")));
  const size_t chatFrom = toolbar.TraceSize();
  ASSERT_TRUE(ClickControl(toolbar, 1065, from));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("interaction chat: started"), 10000, chatFrom))
      << toolbar.TraceText().toStdString();
  // The window takes the page's title once the page has loaded.
  const QStringList chat = VisibleWindows(kPhysics + Utf8(" · 文字互动"), 90000);
  ASSERT_EQ(chat.size(), 1) << toolbar.TraceText().toStdString();
  EXPECT_EQ(WindowGeometry(chat.first()), kChatWindow);
  EXPECT_EQ(ModulesOnThisDesktop().size(), 1u);
  SleepMs(1500);  // the page's first poll shows the message
  KeepScreenshot(QStringLiteral("interaction-chat.png"),
                 bar->united(kChatWindow).adjusted(-10, -10, 10, 10));

  // Live with the camera, its window up (showing that the camera is being recorded).
  from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("status: 正在直播"), 20000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(PressKey(QStringLiteral("F9")));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("camera button camed.bmp"), 10000, from))
      << toolbar.TraceText().toStdString();

  // 视频互动: the camera window closes and the browser gets the video page as an app window.
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickControl(toolbar, 1066));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("camera button cam.bmp"), 10000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("interaction meeting: started ") +
                                       work.filePath(QStringLiteral("bin/google-chrome")),
                                   10000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_EQ(Recorded(browserRecord),
            QStringLiteral("[--app=%1/meeting/11?account=13800138000&password=lesson]\n"
                           "[--incognito]\n[--start-maximized]\n[--start-maximized]\n")
                .arg(platform.Address()));

  from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("job capture code 4"), 15000, from))
      << toolbar.TraceText().toStdString();
  toolbar.Terminate();
  EXPECT_TRUE(toolbar.WaitForExit(15000));
  // The module is a program of its own: it outlives the toolbar until the teacher closes it.
  const std::vector<pid_t> modules = ModulesOnThisDesktop();
  EXPECT_EQ(modules.size(), 1u);
  for (pid_t pid : modules)
    kill(pid, SIGTERM);
  EXPECT_TRUE(WaitUntil([] { return ModulesOnThisDesktop().empty(); }, 15000));
}

// A platform that attacks the teacher (plain http on a shared school network: anyone between
// may answer for it): page addresses that carry options for the browser and the module, pages
// that are no web pages, push addresses that name a file or add outputs, destinations nested
// past any indent. The module and the browser are stand-ins that record their arguments.
TEST(InteractionLaunch, AHostilePlatformAddsNoOptionAndWritesNoFile) {
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  const QString uploads = work.filePath(QStringLiteral("platform"));
  ASSERT_TRUE(QDir().mkpath(uploads));
  ReferencePlatform platform({QStringLiteral("--fault"), QStringLiteral("hostile"),
                              QStringLiteral("--rtmp"), QStringLiteral("rtmp://127.0.0.1:1/live"),
                              QStringLiteral("--upload-dir"), uploads});
  ASSERT_FALSE(platform.Address().isEmpty());

  const QString browserRecord = work.filePath(QStringLiteral("browser.txt"));
  ASSERT_TRUE(WriteRecorder(work.filePath(QStringLiteral("bin/google-chrome")), browserRecord));
  const QString moduleRecord = work.filePath(QStringLiteral("module.txt"));
  ASSERT_TRUE(WriteRecorder(work.filePath(QStringLiteral("opt/talvine/talvine")), moduleRecord));
  const QString ffmpeg = work.filePath(QStringLiteral("ffmpeg"));
  const QString ffmpegRecord = work.filePath(QStringLiteral("ffmpeg.txt"));
  ASSERT_TRUE(WriteEncoderStandIn(ffmpeg, ffmpegRecord));
  const QString cameras = work.filePath(QStringLiteral("cameras.txt"));
  ASSERT_TRUE(WriteCameraFixture(cameras));

  Toolbar toolbar;
  ASSERT_NO_FATAL_FAILURE(StartLiveCameraToolbar(
      toolbar, work, ffmpeg, cameras,
      {QStringLiteral("VORTANE_PROGRAM_FILES=") + work.filePath(QStringLiteral("opt"))}));
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(LogIn(toolbar, platform)) << toolbar.TraceText().toStdString();

  // 文件 lists the destinations, however deep the platform says they are.
  size_t from = toolbar.TraceSize();
  ASSERT_TRUE(ClickControl(toolbar, 1019));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files listed 0"), 20000, from))
      << toolbar.TraceText().toStdString();

  // A task that pushes into a file, or adds outputs, cannot be chosen; the list stays open.
  for (const char* name : {"推流到录像文件", "推流到多个输出", "推流地址带竖线"}) {
    from = toolbar.TraceSize();
    const auto list = ChooseInLiveList(toolbar, Utf8(name));
    ASSERT_TRUE(list) << name << "\n" << toolbar.TraceText().toStdString();
    EXPECT_TRUE(
        toolbar.WaitForTrace(Utf8("message: 该直播任务的直播地址无效，无法使用！"), 10000, from))
        << name;
    const auto box = WaitForMessageBox(10000);
    ASSERT_TRUE(box) << name;
    ASSERT_TRUE(AnswerMessageBox(*box));
    ASSERT_TRUE(ClickAt(list->at(2)));  // 取消
    ASSERT_TRUE(WaitUntil([] { return VisibleWindows(Utf8("我的直播列表")).isEmpty(); }, 10000));
    EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("live task chosen: "), 0, from)) << name;
  }

  // Page addresses with options of their own: each page reaches the module and the browser as
  // one argument, its blanks percent-encoded.
  const QString options = Utf8("页面地址带参数");
  from = toolbar.TraceSize();
  ASSERT_TRUE(ChooseInLiveList(toolbar, options));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("live task chosen: ") + options, 10000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("control 1066 at"), 5000, from));
  ASSERT_TRUE(ClickControl(toolbar, 1065, from));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("interaction chat: started"), 10000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_EQ(Recorded(moduleRecord),
            QStringLiteral("[--url=%1/chat/21?width=380&height=560%20--url=file:///etc/passwd"
                           "%20-platformpluginpath%20%2%20-plugin%20evdevtouch%20--webEngineArgs"
                           "%20--renderer-cmd-prefix=touch%20%2/renderer]\n"
                           "[--width=380]\n[--height=560]\n")
                .arg(platform.Address(), uploads));
  ASSERT_TRUE(ClickControl(toolbar, 1066, from));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("interaction meeting: started"), 10000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_EQ(Recorded(browserRecord),
            QStringLiteral("[--app=%1/meeting/21?account=13800138000&password=lesson"
                           "%20--user-data-dir=%2/profile%20--gpu-launcher=touch%20%2/gpu-launcher"
                           "%20--load-extension=%2%20--remote-debugging-port=9222]\n"
                           "[--incognito]\n[--start-maximized]\n[--start-maximized]\n")
                .arg(platform.Address(), uploads));

  // Pages that are no web pages: said, and nothing starts.
  QFile::remove(moduleRecord);
  QFile::remove(browserRecord);
  const QString notPages = Utf8("不是网页的页面");
  from = toolbar.TraceSize();
  ASSERT_TRUE(ChooseInLiveList(toolbar, notPages));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("live task chosen: ") + notPages, 10000, from))
      << toolbar.TraceText().toStdString();
  for (int button : {1065, 1066}) {
    const size_t clicked = toolbar.TraceSize();
    ASSERT_TRUE(ClickControl(toolbar, button, from));
    EXPECT_TRUE(toolbar.WaitForTrace(Utf8("message: 该直播课程的互动页面地址无效，无法开启互动！"),
                                     10000, clicked))
        << button << "\n"
        << toolbar.TraceText().toStdString();
    const auto box = WaitForMessageBox(10000);
    ASSERT_TRUE(box) << button;
    ASSERT_TRUE(AnswerMessageBox(*box));
  }

  // F8 pushes to that task's own address, and to nothing else.
  from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("status: 正在直播"), 20000, from))
      << toolbar.TraceText().toStdString();
  const QStringList encoder = Recorded(ffmpegRecord).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  EXPECT_EQ(encoder.value(encoder.size() - 1),
            QStringLiteral("[rtmp://127.0.0.1:1/live/hostile-22]"));
  EXPECT_FALSE(encoder.join(' ').contains(uploads)) << encoder.join(' ').toStdString();
  from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("job capture code 4"), 15000, from))
      << toolbar.TraceText().toStdString();

  // Nothing was written where the platform pointed, nor anywhere of the teacher's, and the
  // toolbar is still there to close.
  SleepMs(1000);
  EXPECT_EQ(QDir(uploads).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
  EXPECT_TRUE(Recordings(toolbar.VideosFolder()).isEmpty());
  EXPECT_FALSE(QFile::exists(moduleRecord));
  EXPECT_FALSE(QFile::exists(browserRecord));
  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(15000));
  EXPECT_EQ(toolbar.ExitCode(), 0);
}
}  // namespace
}  // namespace vortane::test
