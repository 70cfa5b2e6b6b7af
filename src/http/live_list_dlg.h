#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "http/live_task.h"
#include "ui/command_target.h"
#include "ui/popup_base_dlg.h"

namespace vortane {

struct PlatformReply;
namespace ui {
class CGdiButton;
class CLabel;
class CSkinListCtrl;
}  // namespace ui

// "我的直播列表" (dialog 140): the live tasks received at login as an indented list with their
// start times. "刷新" reloads the list from the platform, "选择" (or a double click) returns the
// chosen task. Group rows without a push address cannot be chosen.
class CLiveListDlg : public ui::CPopupBaseDlg, public ui::CCommandTarget {
  Q_OBJECT

 public:
  enum ControlId : int {
    kIdChoose = 1,
    kIdCancel = 2,
    kIdRefresh = 3,
    kIdList = 1055,
    kIdStatus = 1057,
  };
  using MessageSink = std::function<void(QWidget* parent, const QString& text)>;

  explicit CLiveListDlg(QWidget* parent = nullptr);
  ~CLiveListDlg() override;

  void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
  // The task chosen when the dialog closed with "选择".
  const std::optional<LiveTask>& ChosenTask() const { return chosen_; }

  ui::CSkinListCtrl* List() const { return list_; }
  ui::CLabel* StatusLabel() const { return status_; }
  ui::CGdiButton* RefreshButton() const { return refresh_; }

  void OnCommand(int id) override;

 signals:
  void Shown();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Lists the live account's tasks.
  void Fill();
  void Choose();
  void Refresh();
  void OnPlatformReply(const PlatformReply& reply);
  void ShowMessage(const QString& text);

  ui::CSkinListCtrl* list_ = nullptr;
  ui::CLabel* status_ = nullptr;
  ui::CGdiButton* refresh_ = nullptr;
  // The rows' tasks: a copy, so a reload on the request thread never changes what is shown.
  std::vector<LiveTask> tasks_;
  std::optional<LiveTask> chosen_;
  MessageSink messageSink_;
};

}  // namespace vortane
