// The login dialog, the live task list and the toolbar's platform commands on the offscreen
// platform, against the reference platform server on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "app/vortane_dlg.h"
#include "http/live_list_dlg.h"
#include "http/live_task_choice.h"
#include "http/login_dlg.h"
#include "http/platform_account.h"
#include "http/platform_client.h"
#include "settings/capture_settings.h"
#include "settings/settings.h"
#include "support/reference_platform.h"
#include "toolbar_harness.h"
#include "ui/gdi_button.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "ui/skin_list_ctrl.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

using Id = CVortaneDlg::ControlId;

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

class PlatformEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath("config"))); }
  void TearDown() override { EndPlatformRequests(std::chrono::seconds(20)); }

 private:
  QTemporaryDir home_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PlatformEnvironment);

// Runs `open` (a command that shows a modal `Dialog`) and `step` on that dialog inside its own
// loop; true when the step ran.
template <typename Dialog>
bool InModal(const std::function<void()>& open, const std::function<void(Dialog&)>& step) {
  bool ran = false;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (ran || dialog == nullptr || !dialog->isVisible()) return;
    ran = true;
    step(*dialog);
  });
  poll.start();
  open();
  return ran;
}

void ClickId(QWidget& dialog, int id) {
  auto* button = dialog.findChild<ui::CGdiButton*>(QString::number(id));
  ASSERT_NE(button, nullptr) << id;
  button->click();
}

void Choose(CLiveListDlg& dialog, int row) {
  dialog.List()->setCurrentItem(dialog.List()->topLevelItem(row));
  ClickId(dialog, CLiveListDlg::kIdChoose);
}

LiveTask Task(int id, int level, const char* name, const char* pushUrl) {
  LiveTask task;
  task.id = id;
  task.level = level;
  task.name = U(name);
  task.pushUrl = pushUrl;
  task.startTime = QStringLiteral("2024-03-12 14:00");
  return task;
}

TEST(LoginDialog, MissingFieldsAreNamedInOrderAndTheDialogStaysOpen) {
  test::WidgetTestApp();
  LoginDlg dialog(LoginFields{});
  QStringList messages;
  dialog.SetMessageSink([&](QWidget*, const QString& text) { messages << text; });
  dialog.show();
  const std::string longName(64, 'u');
  struct Step {
    int fill;  // the edit filled before this accept (0: none)
    const char* text;
    const char* message;  // nullptr: accepted
    int focus;
  };
  const Step steps[] = {
      {0, "", "请输入服务器IP或域名！", LoginDlg::kIdServer},
      {LoginDlg::kIdServer, "127.0.0.1:8080", "请输入用户名（手机号）！", LoginDlg::kIdUser},
      {LoginDlg::kIdUser, longName.c_str(), "请输入用户密码！", LoginDlg::kIdPassword},
      // Blanks are a password; the user name is too long for config.cfg.
      {LoginDlg::kIdPassword, " ", "用户名太长，请检查！", LoginDlg::kIdUser},
      {LoginDlg::kIdUser, "王老师", nullptr, 0},
  };
  for (const Step& step : steps) {
    if (step.fill != 0) dialog.Edit(step.fill)->setText(U(step.text));
    messages.clear();
    ClickId(dialog, LoginDlg::kIdOk);
    EXPECT_EQ(messages, step.message ? QStringList(U(step.message)) : QStringList())
        << &step - steps;
    EXPECT_EQ(dialog.isVisible(), step.message != nullptr) << &step - steps;
    if (step.message == nullptr)
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
    else
      EXPECT_EQ(dialog.focusWidget(), dialog.Edit(step.focus)) << step.message;
  }
  EXPECT_EQ(dialog.Fields().user, U("王老师"));
  EXPECT_EQ(dialog.Fields().password, QStringLiteral(" "));
  EXPECT_EQ(dialog.Edit(LoginDlg::kIdPassword)->echoMode(), QLineEdit::Password);
}

TEST(LiveListDialog, RowsChoosingAndTheRefreshMarker) {
  test::WidgetTestApp();
  test::ReferencePlatform server;
  ASSERT_FALSE(server.Address().isEmpty());
  LiveAccount().SetCredentials({server.HostAndPort(), "13800138000", "lesson"});
  LiveAccount().Load(std::vector<LiveTask>{Task(1, 1, "高一年级", ""),
                                           Task(2, 3, "物理", "rtmp://a"),   // 8 bytes
                                           Task(3, 0, "数学", "rtmp://ab"),  // 9 bytes
                                           Task(4, 16, "英语", "rtmp://127.0.0.1/live/en")});
  live_task_choice::ResetRefreshMarker();

  CLiveListDlg dialog;
  QStringList messages;
  dialog.SetMessageSink([&](QWidget*, const QString& text) { messages << text; });
  dialog.show();
  ui::CSkinListCtrl& list = *dialog.List();
  ASSERT_EQ(list.topLevelItemCount(), 4);
  const char* const names[] = {" 高一年级", "   物理", "数学", "英语"};
  for (int row = 0; row < 4; ++row)
    EXPECT_EQ(list.topLevelItem(row)->text(0), U(names[row])) << names[row];
  EXPECT_EQ(list.topLevelItem(1)->text(1), QStringLiteral("2024-03-12 14:00"));

  // Nothing selected, then a group row and an 8-byte address: the dialog stays open.
  ClickId(dialog, CLiveListDlg::kIdChoose);
  Choose(dialog, 0);
  Choose(dialog, 1);
  EXPECT_EQ(messages, QStringList({"请选择要使用的直播任务！", "请选择有效的直播任务！",
                                   "请选择有效的直播任务！"}));
  EXPECT_TRUE(dialog.isVisible());

  // The first refresh of the process reloads from the platform.
  ClickId(dialog, CLiveListDlg::kIdRefresh);
  EXPECT_EQ(dialog.StatusLabel()->text(), U("刷新列表..."));
  EXPECT_FALSE(dialog.RefreshButton()->isEnabled());
  EXPECT_EQ(list.topLevelItemCount(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.StatusLabel()->text() == U("已刷新"); }, 20000));
  EXPECT_TRUE(dialog.RefreshButton()->isEnabled());
  ASSERT_EQ(list.topLevelItemCount(), 9);
  EXPECT_EQ(list.topLevelItem(4)->text(0), U("   Unit 5 阅读 第一课时"));
  // While the list is loaded, refreshing again does nothing, in this dialog and the next.
  ClickId(dialog, CLiveListDlg::kIdRefresh);
  EXPECT_EQ(dialog.StatusLabel()->text(), U("已刷新"));
  EXPECT_EQ(list.topLevelItemCount(), 9);

  // A 9-byte address can be chosen: the dialog returns a copy of it.
  LiveAccount().Load(std::vector<LiveTask>{Task(3, 1, "数学", "rtmp://ab")});
  CLiveListDlg next;
  next.SetMessageSink([&](QWidget*, const QString& text) { messages << text; });
  next.show();
  ClickId(next, CLiveListDlg::kIdRefresh);
  EXPECT_TRUE(next.StatusLabel()->text().isEmpty());
  Choose(next, 0);
  EXPECT_EQ(next.result(), QDialog::Accepted);
  ASSERT_TRUE(next.ChosenTask());
  EXPECT_EQ(next.ChosenTask()->name, U("数学"));
  ClearLiveTasks();
  EXPECT_EQ(next.ChosenTask()->pushUrl, "rtmp://ab") << "the choice outlives the list";

  // A task pushes to an RTMP, RTMPS or UDP server only: a file of the teacher's, or the
  // encoder's "tee:" that joins outputs with '|', is refused when the task is chosen.
  struct Push {
    const char* url;
    bool accepted;
  };
  const Push pushes[] = {
      {"/home/teacher/视频/20240301093000m.mp4", false},
      {"file:/home/teacher/视频/20240301093000m.mp4", false},
      {"tee:/home/teacher/a.mp4|rtmp://127.0.0.1/live/x", false},
      {"rtmp://127.0.0.1/live/x|/home/teacher/a.flv", false},
      {"rtmp://127.0.0.1/live/x\" -y \"/home/teacher/a.flv", false},
      {"udp://239.0.0.1:1234\n/home/teacher/a.ts", false},
      {"RTMP://127.0.0.1/live/x", false},
      {"rtmps://live.example.cn/app/key", true},
      {"udp://239.0.0.1:1234?pkt_size=1316", true},
  };
  for (const Push& push : pushes) {
    LiveAccount().Load(std::vector<LiveTask>{Task(5, 1, "直播", push.url)});
    CLiveListDlg pick;
    messages.clear();
    pick.SetMessageSink([&](QWidget*, const QString& text) { messages << text; });
    pick.show();
    Choose(pick, 0);
    EXPECT_EQ(pick.result() == QDialog::Accepted, push.accepted) << push.url;
    EXPECT_EQ(messages, push.accepted ? QStringList()
                                      : QStringList(U("该直播任务的直播地址无效，无法使用！")))
        << push.url;
  }
  ClearLiveTasks();

  // Not loaded (a reload failed): refresh runs again, and a failure shows in red.
  LiveAccount().SetCredentials({server.HostAndPort(), "13800138000", "x"});
  CLiveListDlg failing;
  failing.show();
  ClickId(failing, CLiveListDlg::kIdRefresh);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return failing.StatusLabel()->text() == U("用户名或密码错误！"); }, 20000));
  EXPECT_EQ(failing.StatusLabel()->TextColor(), QColor(255, 0, 0));
  EXPECT_TRUE(failing.RefreshButton()->isEnabled());

  // More tasks than rows: the last one is reached with the keys, and a scroll bar shows.
  std::vector<LiveTask> many;
  for (int i = 0; i < 60; ++i)
    many.push_back(Task(i, 1, "课", "rtmp://127.0.0.1/live/x"));
  LiveAccount().Load(many);
  CLiveListDlg tall;
  tall.show();
  ui::CSkinListCtrl& rows = *tall.List();
  ASSERT_EQ(rows.topLevelItemCount(), 60);
  EXPECT_TRUE(QTest::qWaitFor([&] { return rows.verticalScrollBar()->isVisible(); }, 2000));
  rows.setFocus();
  rows.setCurrentItem(rows.topLevelItem(0));
  QTest::keyClick(&rows, Qt::Key_End);
  EXPECT_EQ(rows.currentItem(), rows.topLevelItem(59));
  EXPECT_TRUE(rows.viewport()->rect().contains(rows.visualItemRect(rows.topLevelItem(59))));
}

TEST(ToolbarPlatform, LoginChooseATaskAndLogOut) {
  test::WidgetTestApp();
  test::ReferencePlatform server;
  ASSERT_FALSE(server.Address().isEmpty());
  ClearLiveTasks();
  Settings settings;
  settings.platformPassword = QStringLiteral("old");
  settings.rememberPassword = true;

  test::ToolbarHarness t;
  QStringList questions;
  bool answer = true;
  CVortaneDlg::Services services = t.QuietServices();
  services.askQuestion = [&](QWidget*, const QString& text) {
    questions << text;
    return answer;
  };
  t.Open(services, &settings);
  CVortaneDlg& w = *t.window;
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.IsReady(); }, 5000));
  EXPECT_EQ(w.Label(Id::kIdUserName)->text(), U("未登录"));

  // Not logged in: the live-task command explains.
  w.OnCommand(Id::kIdLiveTasks);
  ASSERT_EQ(t.messages.size(), 1u);
  EXPECT_EQ(t.messages[0], U("使用直播任务需要先登录云平台！\r\n点击右上角的登录按钮登录。"));

  // A click on the user label opens the login dialog, prefilled from the settings.
  QString prefilled;
  ASSERT_TRUE(
      InModal<LoginDlg>([&] { w.OnCommand(Id::kIdUserName); },
                        [&](LoginDlg& dialog) {
                          prefilled = dialog.Edit(LoginDlg::kIdPassword)->text();
                          dialog.Edit(LoginDlg::kIdServer)->setText(server.HostAndPort());
                          dialog.Edit(LoginDlg::kIdUser)->setText(QStringLiteral("13800138000"));
                          dialog.Edit(LoginDlg::kIdPassword)->setText(QStringLiteral("lesson"));
                          dialog.RememberBox()->setChecked(false);
                          ClickId(dialog, LoginDlg::kIdOk);
                        }))
      << "label 2020 opens the login";
  EXPECT_EQ(prefilled, QStringLiteral("old"));
  // Meanwhile: status, buttons waiting, the password not kept.
  EXPECT_EQ(t.Status(), U("登录云平台..."));
  EXPECT_FALSE(w.Button(Id::kIdUser)->isEnabled());
  EXPECT_FALSE(w.Button(Id::kIdStart)->isEnabled());
  const CaptureSettings stored = LoadCaptureSettingsFrom(ConfigFilePath());
  EXPECT_EQ(stored.PlatformServer(), server.HostAndPort());
  EXPECT_EQ(stored.PlatformUser(), QStringLiteral("13800138000"));
  EXPECT_EQ(stored.PlatformPassword(), QString());
  EXPECT_EQ(stored.rememberPassword, 0);

  // Both replies come in either order; the login's brings the name.
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.Label(Id::kIdUserName)->text() == U("王老师"); }, 20000));
  EXPECT_TRUE(w.account().IsLoggedIn());
  EXPECT_TRUE(w.Button(Id::kIdUser)->isEnabled());
  EXPECT_EQ(t.Status(), U("已登录"));
  EXPECT_TRUE(w.Button(Id::kIdStart)->isEnabled());
  EXPECT_FALSE(w.Button(Id::kIdLiveTasks)->isHidden());

  // Choose the physics lesson (it has chat and meeting pages); live streaming is off, so the
  // toolbar asks and switches it on.
  const auto openList = [&] { w.OnCommand(Id::kIdLiveTasks); };
  ASSERT_TRUE(InModal<CLiveListDlg>(openList, [](CLiveListDlg& dialog) { Choose(dialog, 1); }));
  EXPECT_EQ(questions, QStringList(U("您选择一个直播任务，但是在系统设置中没有开启直播选项。\r\n"
                                     "您现在要开启云直播选项吗？")));
  EXPECT_TRUE(settings.liveEnabled);
  EXPECT_EQ(t.Status(), U("就绪 - 准备直播 - 全屏模式"));
  EXPECT_EQ(w.Label(Id::kIdTask)->text(), U("物理 第三章 牛顿运动定律"));
  EXPECT_FALSE(w.Button(Id::kIdChat)->isHidden());
  EXPECT_FALSE(w.Button(Id::kIdMeeting)->isHidden());
  ASSERT_TRUE(w.controller().selectedLiveTask());
  EXPECT_EQ(w.controller().selectedLiveTask()->callbackUrl,
            server.Address().toStdString() + "/backend/lumio/callback/11");

  // A task without pages leaves the buttons as they were.
  ASSERT_TRUE(InModal<CLiveListDlg>(openList, [](CLiveListDlg& dialog) { Choose(dialog, 2); }));
  EXPECT_EQ(w.Label(Id::kIdTask)->text(), U("数学 函数的单调性"));
  EXPECT_FALSE(w.Button(Id::kIdChat)->isHidden());
  EXPECT_EQ(questions.size(), 1u) << "live streaming is on now";

  // Logging out: asked first; No keeps everything, Yes forgets the task and the lists.
  answer = false;
  w.OnCommand(Id::kIdUser);
  EXPECT_TRUE(w.account().IsLoggedIn());
  answer = true;
  w.OnCommand(Id::kIdUserName);
  EXPECT_EQ(questions.mid(1), QStringList({"要退出登录吗？", "要退出登录吗？"}));
  EXPECT_FALSE(w.account().IsLoggedIn());
  EXPECT_EQ(w.Label(Id::kIdUserName)->text(), U("未登录"));
  EXPECT_TRUE(w.Button(Id::kIdLiveTasks)->isHidden());
  EXPECT_TRUE(w.Button(Id::kIdChat)->isHidden());
  EXPECT_FALSE(w.controller().selectedLiveTask());
  EXPECT_EQ(w.Label(Id::kIdTask)->text(), U("自定义直播"));
  EXPECT_TRUE(LiveAccount().LiveTasks().empty());

  // The next login dialog shows the server and the user, but no password.
  ASSERT_TRUE(InModal<LoginDlg>(
      [&] { w.OnCommand(Id::kIdUser); },
      [&](LoginDlg& dialog) {
        EXPECT_EQ(dialog.Edit(LoginDlg::kIdServer)->text(), server.HostAndPort());
        EXPECT_EQ(dialog.Edit(LoginDlg::kIdUser)->text(), QStringLiteral("13800138000"));
        EXPECT_EQ(dialog.Edit(LoginDlg::kIdPassword)->text(), QString());
        EXPECT_FALSE(dialog.RememberBox()->isChecked());
        ClickId(dialog, LoginDlg::kIdCancel);
      }));
  EXPECT_TRUE(w.Button(Id::kIdUser)->isEnabled());
  t.window.reset();
}

}  // namespace
}  // namespace vortane
