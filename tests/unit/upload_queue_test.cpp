// The upload queue and the destination choice without a window: what a choice does to a row,
// which row starts on a tick, the buttons, and what every report of the job shows in the column
// "状态", the log box and the side file.
#include "http/upload_queue.h"

#include <gtest/gtest.h>

#include "http/destination_choice.h"
#include "support/job_events.h"

namespace vortane {
namespace {

std::vector<UploadTarget> SampleTargets() {
  return {
      {100, 1, QStringLiteral("学校资源库"), "", ""},
      {101, 2, QStringLiteral("高一 物理"), "http://127.0.0.1:1/files/", "http://127.0.0.1:1/cb"},
      {102, 3, QStringLiteral("第一课时"), "http://127.0.0.1:1/files/", ""},
      {103, 2, QStringLiteral("没有地址"), "", ""},
  };
}

TEST(DestinationChoice, EntriesAndEveryRuleOfTheEndOfAnEdit) {
  const auto entries = DestinationEntries(SampleTargets());
  ASSERT_EQ(entries.size(), 4u);  // the top level is not offered
  EXPECT_EQ(entries[0].text, QStringLiteral("不上传"));
  EXPECT_FALSE(entries[0].target);
  EXPECT_EQ(entries[1].text, QStringLiteral("高一 物理"));
  EXPECT_EQ(entries[2].text, QStringLiteral("    第一课时"));
  // The edit starts on the cell's destination; an empty cell on the first destination.
  EXPECT_EQ(EntryForCellText(entries, QStringLiteral("没有")), 3);
  EXPECT_EQ(EntryForCellText(entries, QString()), 1);
  EXPECT_EQ(EntryForCellText(entries, QStringLiteral("不上")), 0);

  // However deep the platform says a destination is, its indent stays short: below level 16 it
  // has one, deeper ones have none (as in the live list).
  const auto deep = DestinationEntries({{1, 15, QStringLiteral("十五"), "", ""},
                                        {2, 16, QStringLiteral("十六"), "", ""},
                                        {3, 268435457, QStringLiteral("很深"), "", ""},
                                        {4, 536870914, QStringLiteral("更深"), "", ""},
                                        {5, 2147483647, QStringLiteral("最深"), "", ""},
                                        {6, -2147483647 - 1, QStringLiteral("负数"), "", ""}});
  QStringList texts;
  for (const DestinationEntry& entry : deep)
    texts << entry.text;
  EXPECT_EQ(texts, QStringList({QStringLiteral("不上传"), QString(52, ' ') + QStringLiteral("十五"),
                                QStringLiteral("十六"), QStringLiteral("很深"),
                                QStringLiteral("更深"), QStringLiteral("最深")}));

  RecordingUploadPart row;
  EXPECT_EQ(ChooseDestination(row, entries, -1), DestinationChoice::kUnchanged);
  EXPECT_EQ(ChooseDestination(row, entries, 1), DestinationChoice::kQueued);
  EXPECT_EQ(row.uploadState, 0);
  EXPECT_EQ(row.targetId, 101);
  EXPECT_EQ(row.uploadUrl, "http://127.0.0.1:1/files/");
  EXPECT_EQ(row.reportUrl, "http://127.0.0.1:1/cb");
  EXPECT_EQ(row.targetName, QStringLiteral("高一 物理"));
  // "不上传" takes a queued row out of the queue.
  EXPECT_EQ(ChooseDestination(row, entries, 0), DestinationChoice::kNoUpload);
  EXPECT_EQ(row.uploadState, -1);
  EXPECT_EQ(row.targetId, -1);
  EXPECT_TRUE(row.uploadUrl.empty());
  // A destination without an upload address: refused, the row stays out of the queue.
  EXPECT_EQ(ChooseDestination(row, entries, 3), DestinationChoice::kInvalid);
  EXPECT_EQ(row.uploadState, -1);
  // A finished row: the same destination again does not queue it, another one does.
  ChooseDestination(row, entries, 1);
  row.uploadState = 3;
  EXPECT_EQ(ChooseDestination(row, entries, 1), DestinationChoice::kSameDestination);
  EXPECT_EQ(row.uploadState, 3);
  EXPECT_EQ(ChooseDestination(row, entries, 2), DestinationChoice::kQueued);
  EXPECT_EQ(row.uploadState, 0);
  // A row that uploads now keeps everything.
  row.uploadState = 2;
  EXPECT_EQ(ChooseDestination(row, entries, 0), DestinationChoice::kUnchanged);
  EXPECT_EQ(row.targetId, 102);
}

class QueueTest : public ::testing::Test {
 protected:
  QueueTest()
      : queue_(
            [this](const RecordingUploadPart& row) {
              return QStringLiteral("/lessons/%1m.mp4").arg(&row - parts_);
            },
            [this](const UploadReport& report) { last_ = queue_.OnJobStatus(rows_, report); },
            [this](UploadJob& job) { launched_.push_back(job.request()); }) {
    for (RecordingUploadPart& part : parts_)
      rows_.push_back(&part);
  }
  void Queue(int i) {
    parts_[i].uploadState = 0;
    parts_[i].uploadUrl = "http://127.0.0.1:1/files/";
  }
  // A report of the running upload's job, and what the queue made of it.
  UploadQueue::StatusView Post(int code, const char* text = "", double value = 0,
                               bool uploaded = false) {
    last_ = {};
    if (code == kJobError && uploaded) {
      emit queue_.Job()->finished(
          JobOutcome{JobOutcome::End::kFailed, 0, QString::fromUtf8(text), {}, true});
    } else {
      test::EmitJobStatus(*queue_.Job(), code, text, value);
    }
    return last_;
  }

  UploadQueue queue_;
  RecordingUploadPart parts_[3];
  std::vector<RecordingUploadPart*> rows_;
  std::vector<UploadRequest> launched_;
  UploadQueue::StatusView last_;
};

TEST_F(QueueTest, RowsGoOneAfterTheOtherFromTheTopAtMostOnePerTick) {
  Queue(1);
  Queue(2);
  parts_[0].uploadUrl = "http://x";  // 8 bytes: no upload address
  parts_[0].uploadState = 0;
  EXPECT_EQ(queue_.Tick(rows_), -1) << "the queue is off";
  EXPECT_TRUE(queue_.Start());
  EXPECT_FALSE(queue_.Start()) << "already on";
  EXPECT_EQ(queue_.Tick(rows_), 1);
  EXPECT_EQ(parts_[1].uploadState, 1);
  ASSERT_EQ(launched_.size(), 1u);
  EXPECT_EQ(launched_[0].filePath, QStringLiteral("/lessons/1m.mp4"));
  EXPECT_EQ(queue_.Tick(rows_), -1) << "one upload at a time";

  Post(kJobStarted);
  Post(kJobProgress, "", 37.26);
  const auto finished = Post(kJobFinished, "", 0);
  EXPECT_EQ(finished.cellText, QStringLiteral("上传完毕"));
  EXPECT_FALSE(queue_.UploadBusy()) << "the job's end comes after the destination's callback";
  EXPECT_EQ(queue_.Tick(rows_), 2);
  ASSERT_EQ(launched_.size(), 2u);
  EXPECT_EQ(launched_[1].filePath, QStringLiteral("/lessons/2m.mp4"));
}

TEST_F(QueueTest, StopDuringAnUploadEndsItAndTurnsTheQueueOff) {
  Queue(0);
  queue_.Start();
  auto buttons = queue_.UploadButtons(true);
  EXPECT_FALSE(buttons.startEnabled);
  EXPECT_TRUE(buttons.stopEnabled);
  ASSERT_EQ(queue_.Tick(rows_), 0);
  // Logged out meanwhile: the queue cannot be switched on, the running upload can be stopped.
  buttons = queue_.UploadButtons(false);
  EXPECT_FALSE(buttons.startEnabled);
  EXPECT_TRUE(buttons.stopEnabled);
  queue_.Stop();
  EXPECT_TRUE(queue_.Job()->StopRequested());
  EXPECT_FALSE(queue_.AutoUpload());
  for (bool loaded : {true, false}) {
    buttons = queue_.UploadButtons(loaded);
    EXPECT_FALSE(buttons.startEnabled);
    EXPECT_TRUE(buttons.stopEnabled) << "still ending: it can be asked again";
    EXPECT_EQ(buttons.stopText, QStringLiteral("停止..."));
  }
  EXPECT_FALSE(queue_.Start()) << "not while the upload still ends";
  const auto stopped = Post(kJobStopped);
  EXPECT_EQ(stopped.cellText, QStringLiteral("上传被终止"));
  EXPECT_EQ(stopped.logLines, QStringList{QStringLiteral("上传被终止")});
  EXPECT_TRUE(stopped.saveSideFile);
  EXPECT_EQ(parts_[0].uploadState, 4);
  EXPECT_EQ(parts_[0].statusText, QStringLiteral("上传被终止"));
  buttons = queue_.UploadButtons(true);
  EXPECT_TRUE(buttons.startEnabled);
  EXPECT_FALSE(buttons.stopEnabled);
  EXPECT_EQ(buttons.stopText, QStringLiteral("停止上传"));
  EXPECT_FALSE(queue_.UploadButtons(false).startEnabled) << "no destinations, no queue";
}

TEST_F(QueueTest, EveryReportShowsItsText) {
  struct Case {
    std::vector<std::tuple<int, std::string, double, bool>> posted;
    int state;
    bool saved;
    const char* cell;  // nullptr: the cell is not written
    QStringList log;
  };
  const Case cases[] = {
      {{{kJobStarted, "", 0, false}}, 1, false, "开始上传...", {}},
      {{{kJobProgress, "", 37.26, false}}, 2, false, "37.3%", {}},
      {{{-1, "error:磁盘已满", 0, false}}, 1, false, nullptr, {"error:磁盘已满"}},
      {{{kJobFinished, "", 0, false}}, 3, true, "上传完毕", {"上传完毕"}},
      {{{kJobStopped, "", 0, false}}, 4, true, "上传被终止", {"上传被终止"}},
      {{{kJobError, "", -1, false}}, 10, true, "错误！", {"错误！"}},
      {{{kJobError, "创建进程失败", -1, false}}, 10, true, "创建进程失败", {"创建进程失败"}},
      // Uploaded, then the server's answer says no.
      {{{kJobError, "服务器返回错误！", -1, true}},
       10,
       true,
       "服务器返回错误！",
       {"上传完毕", "服务器返回错误！"}},
      // The uploader failed: never "上传完毕", and its last error says why.
      {{{-1, "error:磁盘已满", 0, false}, {kJobFinished, "", 1, false}},
       10,
       true,
       "上传失败：磁盘已满",
       {"error:磁盘已满", "上传失败：磁盘已满"}},
      {{{kJobFinished, "", 2, false}},
       10,
       true,
       "上传失败（上传程序退出码 2）",
       {"上传失败（上传程序退出码 2）"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell ? c.cell : "an error line");
    Queue(0);
    parts_[0].statusText.clear();
    queue_.Start();
    ASSERT_EQ(queue_.Tick(rows_), 0);
    UploadQueue::StatusView last;
    QStringList log;
    bool saved = false;
    for (const auto& [code, text, value, uploaded] : c.posted) {
      last = Post(code, text.c_str(), value, uploaded);
      log += last.logLines;
      saved = saved || last.saveSideFile;
    }
    EXPECT_EQ(last.row, 0);
    if (c.cell) {
      EXPECT_EQ(last.cellText, QString::fromUtf8(c.cell));
    } else {
      EXPECT_TRUE(last.cellText.isNull());
    }
    EXPECT_EQ(log, c.log);
    EXPECT_EQ(parts_[0].uploadState, c.state);
    EXPECT_EQ(saved, c.saved);
    if (c.saved) {
      EXPECT_EQ(parts_[0].statusText, QString::fromUtf8(c.cell));
    }
    // Whatever happened, the next row may go once the job has ended.
    if (queue_.UploadBusy()) Post(kJobStopped);
    queue_.Stop();
  }
}

TEST_F(QueueTest, AReportForARowThatWentAwayIsLogged) {
  Queue(0);
  queue_.Start();
  ASSERT_EQ(queue_.Tick(rows_), 0);
  queue_.ForgetRow(&parts_[0]);
  const auto view = Post(kJobFinished);
  EXPECT_EQ(view.row, -1);
  EXPECT_EQ(view.logLines, QStringList{QStringLiteral("无法识别的消息！！")});
  EXPECT_FALSE(queue_.UploadBusy()) << "the upload still ended";
}

}  // namespace
}  // namespace vortane
