// A teacher opens a live lesson's two interaction pages from the toolbar, with the real program,
// the real interaction module (talvine, a Qt WebEngine window) and the reference platform of
// scripts/with-desktop: log in, choose the physics lesson, 文字互动 shows the lesson's chat page
// beside the toolbar at the place and size its address asks for; then, while the camera is being
// pushed live and the camera window is up, 视频互动 closes the camera window and opens the video
// page in the browser (a stand-in on PATH that records its arguments).
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
  // ffmpeg stand-in pushes it: it reports progress until the stop's "q".
  const QString browserRecord = work.filePath(QStringLiteral("browser.txt"));
  ASSERT_TRUE(QDir().mkpath(work.filePath(QStringLiteral("bin"))));
  ASSERT_TRUE(WriteScript(work.filePath(QStringLiteral("bin/google-chrome")),
                          "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"" +
                              QFile::encodeName(browserRecord) + ".part\"\nmv \"" +
                              QFile::encodeName(browserRecord) + ".part\" \"" +
                              QFile::encodeName(browserRecord) + "\"\n"));
  const QString ffmpeg = work.filePath(QStringLiteral("ffmpeg"));
  ASSERT_TRUE(WriteScript(ffmpeg,
                          "#!/bin/bash\nwhile :; do printf 'frame=1 time=00:00:01.00 "
                          "bitrate=1.0kbits/s \\r' >&2; read -t 1 -n 1 key && exit 0; done\n"));
  const QString cameras = work.filePath(QStringLiteral("cameras.txt"));
  ASSERT_TRUE(WriteScript(cameras,
                          "camera USB Camera HD\npath /nonexistent/vortane-video0\n"
                          "size 1280x720 YUYV\n"));

  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())
                                      .LiveEnabled(true)
                                      .VideoSource(1)
                                      .VideoDevice(QStringLiteral("USB Camera HD"))));
  toolbar.Start(ProgramDir() + QStringLiteral("/vortane"),
                {QStringLiteral("PATH=") + work.filePath(QStringLiteral("bin")) + QLatin1Char(':') +
                     qEnvironmentVariable("PATH"),
                 QStringLiteral("VORTENC_FFMPEG=") + ffmpeg,
                 QStringLiteral("VORTANE_DEVICE_FIXTURE=") + cameras});
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  const auto bar = VisibleWindowRect(QString::fromLatin1(kToolbarName));
  ASSERT_TRUE(bar);

  // Log in and choose the physics lesson, as the platform test does.
  size_t from = toolbar.TraceSize();
  ASSERT_TRUE(ClickControl(toolbar, 2020));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("login dialog opened"), 10000, from))
      << toolbar.TraceText().toStdString();
  std::map<int, QPoint> controls = TracedControls(toolbar, from);
  ASSERT_TRUE(TypeInto(controls.at(1056), platform.HostAndPort()));
  ASSERT_TRUE(TypeInto(controls.at(2020), QStringLiteral("13800138000")));
  ASSERT_TRUE(TypeInto(controls.at(1058), QStringLiteral("lesson")));
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(controls.at(1)));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("user: 王老师"), 20000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(ClickControl(toolbar, 1054, from));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("live list opened"), 10000, from))
      << toolbar.TraceText().toStdString();
  const auto row = TracedRow(toolbar, kPhysics, from);
  ASSERT_TRUE(row) << toolbar.TraceText().toStdString();
  controls = TracedControls(toolbar, from);
  ASSERT_TRUE(ClickAt(*row));
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(controls.at(1)));
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
  ASSERT_TRUE(WaitUntil([&] { return QFile::exists(browserRecord); }, 10000));
  QFile record(browserRecord);
  ASSERT_TRUE(record.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(record.readAll()),
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

}  // namespace
}  // namespace vortane::test
