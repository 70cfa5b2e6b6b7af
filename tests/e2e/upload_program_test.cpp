// A teacher uploads a lesson with the real program and the reference platform of
// scripts/with-desktop: record a short lesson with F8, log in, open 文件, choose 高一 物理 in the
// column 上传位置, press 开始上传, try to close the window meanwhile (refused), watch the
// percentage climb while the school's line drops at 60 %, and see 上传完毕 — the file on the
// platform, attached to the lesson by the destination's callback.
//
// Set VORTANE_SCREENSHOT_DIR to keep a picture of the file manager during the upload.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "file_manager_harness.h"
#include "http/http_get.h"
#include "support/reference_platform.h"

namespace vortane::test {
namespace {

nlohmann::json Uploads(const ReferencePlatform& platform) {
  const auto body = HttpGet(platform.Address().toStdString() + "/control/uploads");
  return nlohmann::json::parse(body.value_or("{}"), nullptr, false);
}

TEST(UploadProgram, ChooseADestinationUploadThroughADropAndFindTheLessonOnThePlatform) {
  ReferencePlatform platform = ReferencePlatform::Shared();
  ASSERT_FALSE(platform.Address().isEmpty()) << "needs the platform server of scripts/with-desktop";
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  const auto bars = FindWindows(QLatin1String(kToolbarName));
  ASSERT_EQ(bars.size(), 1);
  const std::optional<QRect> bar = WindowGeometry(bars.first());
  ASSERT_TRUE(bar);

  // A short lesson.
  size_t from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(RecordingPast(6.0), 60000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("job remux code 3"), 60000, from))
      << toolbar.TraceText().toStdString();
  const QStringList recordings = Recordings(toolbar.VideosFolder());
  ASSERT_EQ(recordings.size(), 1);
  const QString lesson = recordings.first();
  const qint64 size = QFileInfo(toolbar.VideosFolder() + '/' + lesson).size();

  // 登录.
  from = toolbar.TraceSize();
  std::map<int, QRect> controls = TracedControls(toolbar, 0);
  ASSERT_TRUE(controls.count(2020));
  ASSERT_TRUE(ClickControl(controls.at(2020)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("login dialog opened"), 10000, from));
  controls = TracedControls(toolbar, from);
  const auto type = [](const QRect& edit, const QString& text) {
    return ClickControl(edit) &&
           Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
  };
  ASSERT_TRUE(type(controls.at(1056), platform.HostAndPort()));
  ASSERT_TRUE(type(controls.at(2020), QStringLiteral("13800138000")));
  ASSERT_TRUE(type(controls.at(1058), QStringLiteral("lesson")));
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickControl(controls.at(1)));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("user: 王老师"), 20000, from))
      << toolbar.TraceText().toStdString();
  // Both replies (tasks and destinations) have arrived.
  ASSERT_TRUE(WaitUntil(
      [&] {
        int replies = 0;
        for (size_t i = from; i < toolbar.Trace().size(); ++i)
          replies += toolbar.Trace()[i].text.startsWith(QStringLiteral("platform reply 3"));
        return replies >= 2;
      },
      20000))
      << toolbar.TraceText().toStdString();

  // 文件: the lesson's row, its destination 高一 物理 (one step down from 不上传).
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(ToolbarRowButton(*bar, 4)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files listed 1"), 20000, from))
      << toolbar.TraceText().toStdString();
  controls = TracedControls(toolbar, from);
  ASSERT_TRUE(controls.count(1062) && controls.count(1063));
  const std::optional<TracedRow> row = TracedFileRow(toolbar, 0, from);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->texts.value(5), Utf8("不上传"));
  // The destination cell is the last column, at the right end of the row.
  const int cellX = row->rect.width() - 60;
  ASSERT_TRUE(ClickAt(QPoint(row->rect.left() + cellX, row->rect.center().y())));
  SleepMs(500);
  ASSERT_TRUE(PressKey(QStringLiteral("Down")));
  ASSERT_TRUE(PressKey(QStringLiteral("Return")));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("files destination 高一 物理"), 5000, from))
      << toolbar.TraceText().toStdString();

  // A slow line (about eight seconds for the lesson) that drops at 60 %.
  const qint64 rate = std::max<qint64>(1, size / 1024 / 8);
  ASSERT_TRUE(HttpGet(platform.Address().toStdString() +
                      "/control/upload?mode=normal&drop_at=60&rate=" + std::to_string(rate)));
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickControl(controls.at(1062)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files upload start ") + lesson, 5000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(
      [](const QString& line) {
        if (!line.startsWith(QStringLiteral("files upload 0: ")) || !line.endsWith('%'))
          return false;
        const double percent = line.section(' ', -1).chopped(1).toDouble();
        return percent > 0 && percent < 100;
      },
      30000, from))
      << toolbar.TraceText().toStdString();
  if (const auto window = VisibleWindows(FileManagerTitle()); !window.isEmpty()) {
    const QString folder = qEnvironmentVariable("VORTANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
      EXPECT_TRUE(Screenshot(folder + QStringLiteral("/files-uploading.png"),
                             WindowGeometry(window.first())->adjusted(0, -70, 0, 0)));
    }
  }
  // Closing now is refused.
  ASSERT_TRUE(PressKey(QStringLiteral("Escape")));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("files message: 有上传任务，不能退出本界面"), 5000, from));
  if (const std::optional<QString> box = WaitForMessageBox(5000)) AnswerMessageBox(*box);

  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("files upload 0: 上传完毕"), 60000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("files upload log: error:上传中断"), 1000, from))
      << "the drop is in the log";
  // The lesson is on the platform, whole, sent once, and attached to the destination.
  ASSERT_TRUE(WaitUntil([&] { return !Uploads(platform)["callbacks"].empty(); }, 10000));
  const nlohmann::json listing = Uploads(platform);
  std::string storedAs;
  for (const auto& upload : listing["uploads"])
    if (upload["length"].get<qint64>() == size) {
      storedAs = upload["stored_as"].get<std::string>();
      EXPECT_EQ(upload["received"].get<qint64>(), size);
      EXPECT_GE(upload["heads"].get<int>(), 1);
    }
  ASSERT_EQ(storedAs.size(), 20u) << listing.dump();
  EXPECT_EQ(storedAs.substr(16), ".mp4");
  EXPECT_EQ(QFileInfo(QString::fromStdString(listing["folder"].get<std::string>() + "/" + storedAs))
                .size(),
            size);
  const std::string callback = listing["callbacks"].back();
  EXPECT_EQ(callback, "target=101 file=" + storedAs + "&src=" + storedAs.substr(0, 16) +
                          "&title=" + Utf8("高一 物理").toStdString())
      << callback;
  // No later failure replaced it, and the side file keeps the outcome.
  SleepMs(1000);
  const std::optional<TracedRow> done = TracedFileRow(toolbar, 0, from);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->texts.value(4), Utf8("上传完毕"));
  EXPECT_EQ(done->texts.value(5), Utf8("高一 物理"));
  QFile meta(toolbar.VideosFolder() + QStringLiteral("/metas/") + lesson + QStringLiteral(".meta"));
  ASSERT_TRUE(meta.open(QIODevice::ReadOnly));
  EXPECT_TRUE(meta.readAll().contains(QByteArray("\xc9\xcf\xb4\xab\xcd\xea\xb1\xcf")))
      << "上传完毕 in GBK";

  toolbar.Terminate();
  EXPECT_TRUE(toolbar.WaitForExit(15000));
}

}  // namespace
}  // namespace vortane::test
