// The platform client's costs on this machine:
//   - a 2 MB login reply with 20,000 tasks read, flattened and shown in the live list (target:
//     at most 0.3 s);
//   - the longest pause of the UI thread while the toolbar logs in to a server that accepts and
//     never answers (target: at most 50 ms); the login fails after the receive time-out.
//
//   build/bench/platform_bench        (offscreen; starts its own reference platform server)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <string>

#include "../tests/support/reference_platform.h"
#include "app/vortane_dlg.h"
#include "http/live_list_dlg.h"
#include "http/platform_account.h"
#include "http/platform_client.h"
#include "http/platform_reply.h"
#include "platform/code_page.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "ui/skin_list_ctrl.h"

namespace {

using namespace vortane;

std::string TwentyThousandTasks() {
  std::string body = R"({"code":0,"name":"王老师","data":[)";
  for (int group = 0; group < 200; ++group) {
    if (group > 0) body += ',';
    body += R"({"id":)" + std::to_string(group) + R"(,"name":"第)" + std::to_string(group) +
            R"(组 年级课程","level":1,"children":[)";
    for (int lesson = 0; lesson < 99; ++lesson) {
      if (lesson > 0) body += ',';
      const std::string id = std::to_string(group * 100 + lesson + 1);
      body += R"({"id":)" + id + R"(,"name":"第)" + id +
              R"(课","level":2,"start_time":"2024-03-12 14:00","push_url":"rtmp://h/t)" + id +
              "\"}";
    }
    body += "]}";
  }
  return body + "]}";
}

void MeasureLiveList() {
  const std::string body = TwentyThousandTasks();
  QElapsedTimer clock;
  clock.start();
  LoginReply reply = ReadLoginReply(body, PlatformCredentials{"host", "u", "p"});
  const qint64 parsed = clock.elapsed();
  LiveAccount().Load(std::move(reply.tasks));
  CLiveListDlg dialog;
  dialog.show();
  QApplication::processEvents();
  const qint64 shown = clock.elapsed();
  std::printf(
      "live list: %.2f MB, %d rows; parsed and flattened in %lld ms, shown after %lld ms "
      "(target 300 ms: %.2f of it)\n",
      body.size() / 1e6, dialog.List()->topLevelItemCount(), static_cast<long long>(parsed),
      static_cast<long long>(shown), shown / 300.0);
  ClearLiveTasks();
}

void MeasureStallDuringLogin() {
  test::ReferencePlatform silent({QStringLiteral("--fault"), QStringLiteral("no-answer")});
  if (silent.Address().isEmpty()) {
    std::printf("UI stall: the reference platform server did not start\n");
    return;
  }
  CVortaneDlg::Services services;
  services.showMessage = [](QWidget*, const QString&) {};
  services.runStartupCheck = [](QWidget*) { return true; };
  services.captureKeyboard = false;
  services.endLeftoverEncoder = false;
  CVortaneDlg toolbar(services);
  QElapsedTimer ready;
  ready.start();
  while (!toolbar.IsReady() && ready.elapsed() < 5000)
    QApplication::processEvents();

  qint64 longest = 0;
  QElapsedTimer gap;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
  QElapsedTimer clock;
  clock.start();
  gap.start();
  tick.start();
  toolbar.account().Login(
      {silent.HostAndPort(), QStringLiteral("13800138000"), QStringLiteral("lesson"), false},
      &toolbar,
      [&toolbar](const PlatformReply& reply) { toolbar.account().OnPlatformReply(reply); });
  const ui::CHoverButton* user = toolbar.Button(CVortaneDlg::kIdUser);
  while ((!user->isEnabled() || clock.elapsed() < 100) && clock.elapsed() < 30000) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  tick.stop();
  std::printf(
      "UI stall: login to a server that never answers ended after %lld ms with \"%s\"; "
      "longest UI pause %lld ms (target 50 ms: %.2f of it)\n",
      static_cast<long long>(clock.elapsed()),
      toolbar.Label(CVortaneDlg::kIdStatus)->text().toUtf8().constData(),
      static_cast<long long>(longest), longest / 50.0);
  EndPlatformRequests(std::chrono::seconds(20));
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
  QApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("VORTANE_PROGRAM_DIR")) {
    qputenv("VORTANE_PROGRAM_DIR",
            QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"))
                .absolutePath()
                .toUtf8());
  }
  MeasureLiveList();
  MeasureStallDuringLogin();
  return 0;
}
