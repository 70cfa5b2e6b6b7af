// A teacher's lesson from the toolbar to the file manager with the real program: record with F8,
// open 文件, find the new lesson on top with its length, play it, mark an out point with the
// counter's arrow, cut a clip through the real window, find the clip listed and playing, and
// delete the lesson into the trash. Everything is clicked and typed with xdotool.
//
// Set VORTANE_SCREENSHOT_DIR to keep pictures of the file manager playing the lesson and after
// the cut.
#include <gtest/gtest.h>

#include "file_manager_harness.h"

namespace vortane::test {
namespace {

void MaybeScreenshot(const QString& name) {
  const QString folder = qEnvironmentVariable("VORTANE_SCREENSHOT_DIR");
  if (folder.isEmpty()) return;
  const QStringList ids = VisibleWindows(FileManagerTitle(), 2000);
  ASSERT_FALSE(ids.isEmpty());
  const auto geometry = WindowGeometry(ids.first());
  ASSERT_TRUE(geometry);
  // With the toolbar above it, as the teacher sees them.
  EXPECT_TRUE(Screenshot(folder + QLatin1Char('/') + name, geometry->adjusted(0, -70, 0, 0)));
}

// The desktop shows a lesson slide while the lesson is recorded, so the player has a picture.
bool ShowSlide(const QString& folder) {
  const QString slide = folder + QStringLiteral("/slide.png");
  const auto made =
      Run(QStringLiteral("convert"), {"-size",
                                      "1920x1080",
                                      "xc:#1c3460",
                                      "-fill",
                                      "#f4eed8",
                                      "-draw",
                                      "roundrectangle 160,120 1760,960 24,24",
                                      "-font",
                                      "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
                                      "-fill",
                                      "#1c3460",
                                      "-pointsize",
                                      "84",
                                      "-annotate",
                                      "+260+300",
                                      Utf8("第三课  分数的加法"),
                                      "-fill",
                                      "#444444",
                                      "-pointsize",
                                      "54",
                                      "-annotate",
                                      "+260+460",
                                      Utf8("同分母分数相加：分母不变，分子相加。"),
                                      "-annotate",
                                      "+260+560",
                                      "1/5 + 2/5 = 3/5",
                                      "-fill",
                                      "#c83c3c",
                                      "-draw",
                                      "circle 1450,640 1450,480",
                                      "-fill",
                                      "#3c9660",
                                      "-draw",
                                      "path 'M 1450,640 L 1450,480 A 160,160 0 0,1 1602,590 Z'",
                                      slide});
  if (!made) return false;
  // ImageMagick sets the root window's background and ends (with status 1 when it succeeded).
  QProcess display;
  display.start(QStringLiteral("display"),
                {QStringLiteral("-window"), QStringLiteral("root"), slide});
  return display.waitForFinished(15000) && display.exitStatus() == QProcess::NormalExit;
}

TEST(FileManager, RecordOpenPlayCutAndDeleteThroughTheRealWindow) {
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())));
  QTemporaryDir data;
  ASSERT_TRUE(ShowSlide(data.path()));
  toolbar.Start(ProgramDir() + QStringLiteral("/vortane"),
                {QStringLiteral("XDG_DATA_HOME=") + data.path()});
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  const QStringList bars = FindWindows(QLatin1String(kToolbarName));
  ASSERT_EQ(bars.size(), 1);
  const std::optional<QRect> bar = WindowGeometry(bars.first());
  ASSERT_TRUE(bar);

  // A lesson of about 15 seconds.
  size_t from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(RecordingPast(15.0), 60000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  // The buttons come back once the lesson has been copied into its final file.
  from = toolbar.TraceSize();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("job remux code 3"), 60000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("status: 已停止 "), 5000, from));
  const QStringList recordings = Recordings(toolbar.VideosFolder());
  ASSERT_EQ(recordings.size(), 1) << recordings.join(' ').toStdString();
  const QString lesson = recordings.first();
  const std::optional<MediaInfo> recorded = Probe(toolbar.VideosFolder() + '/' + lesson);
  ASSERT_TRUE(recorded);

  // 文件: the new lesson is the top row, with its length.
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(ToolbarRowButton(*bar, 4)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files listed 1"), 20000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_FALSE(VisibleWindows(FileManagerTitle(), 5000).isEmpty());
  const std::map<int, QRect> controls = TracedControls(toolbar, from);
  for (int id : {1047, 1, 1049, 1038, 2042})
    ASSERT_TRUE(controls.count(id)) << "control " << id << "\n"
                                    << toolbar.TraceText().toStdString();
  std::optional<TracedRow> top = TracedFileRow(toolbar, 0, from);
  ASSERT_TRUE(top);
  EXPECT_EQ(top->texts.value(0), lesson);
  EXPECT_EQ(top->texts.value(3), Utf8("%1秒").arg(static_cast<int>(recorded->duration)))
      << "ffprobe: " << recorded->duration;
  EXPECT_EQ(top->texts.value(5), Utf8("不上传"));

  // Play it.
  ASSERT_TRUE(ClickControl(top->rect, 60));
  ASSERT_TRUE(ClickControl(controls.at(1)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files playing ") + lesson, 10000, from))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files player at 1 s"), 15000, from))
      << toolbar.TraceText().toStdString();
  SleepMs(1500);
  MaybeScreenshot(QStringLiteral("files-playing.png"));

  // Out point: 12 typed into the out counter, one arrow up makes 13; the in point stays at 0.
  ASSERT_TRUE(ClickControl(controls.at(1038)));
  ASSERT_TRUE(Xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a")}));
  ASSERT_TRUE(Xdotool({QStringLiteral("type"), QStringLiteral("12")}));
  ASSERT_TRUE(PressKey(QStringLiteral("Up")));
  // Cut.
  const size_t beforeCut = toolbar.TraceSize();
  ASSERT_TRUE(ClickControl(controls.at(2042)));
  const QString clip = lesson.left(lesson.lastIndexOf('.')) + Utf8("剪辑0-13.mp4");
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("files status: 剪辑完成 "), 30000, beforeCut))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files added ") + clip, 10000, beforeCut))
      << toolbar.TraceText().toStdString();
  top = TracedFileRow(toolbar, 0, beforeCut);
  ASSERT_TRUE(top);
  EXPECT_EQ(top->texts.value(0), clip);
  const std::optional<MediaInfo> cut = Probe(toolbar.VideosFolder() + '/' + clip);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->videoCodec, recorded->videoCodec);
  EXPECT_EQ(cut->audioCodec, recorded->audioCodec);
  // Stream copy starts at a key frame; the recording has one at least every 4 s.
  EXPECT_NEAR(cut->duration, 13.0, 4.0);
  SleepMs(500);
  MaybeScreenshot(QStringLiteral("files-clip.png"));

  // The clip plays.
  ASSERT_TRUE(ClickControl(top->rect, 60));
  ASSERT_TRUE(ClickControl(controls.at(1)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files playing ") + clip, 10000, beforeCut))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files player at 1 s"), 15000, beforeCut));

  // The lesson (now the second row) is deleted: asked, answered, gone into the trash.
  const std::optional<TracedRow> second = TracedFileRow(toolbar, 1, beforeCut);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->texts.value(0), lesson);
  ASSERT_TRUE(ClickControl(second->rect, 60));
  ASSERT_TRUE(ClickControl(controls.at(1049)));
  const std::optional<QString> box = WaitForMessageBox(5000);
  ASSERT_TRUE(box) << "the question";
  ASSERT_TRUE(AnswerMessageBox(*box));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("files deleted ") + lesson, 5000, beforeCut))
      << toolbar.TraceText().toStdString();
  EXPECT_EQ(Recordings(toolbar.VideosFolder()), QStringList({clip}));
  EXPECT_TRUE(QFile::exists(data.path() + QStringLiteral("/Trash/files/") + lesson));

  toolbar.Terminate();
  EXPECT_TRUE(toolbar.WaitForExit(15000));
}

}  // namespace
}  // namespace vortane::test
