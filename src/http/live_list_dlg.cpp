#include "http/live_list_dlg.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QTreeWidgetItem>

#include "http/live_task_choice.h"
#include "http/platform_account.h"
#include "http/platform_client.h"
#include "http/popup_layout.h"
#include "platform/code_page.h"
#include "platform/folders.h"
#include "platform/program_info.h"
#include "ui/gdi_button.h"
#include "ui/label.h"
#include "ui/skin_list_ctrl.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kListBackground(88, 88, 88);
constexpr int kTitleWidth = 350;
// The start time column takes what the title leaves, less this.
constexpr int kTimeColumnMargin = 370;
constexpr int kShortestTimeColumn = 120;

ui::CGdiButton* AddButton(QWidget* parent, const char* text, int id, const QRect& units) {
  auto* button = new ui::CGdiButton(QString::fromUtf8(text), id, parent);
  button->setObjectName(QString::number(id));
  button->move(PopupUnitsToPixels(units).topLeft());
  return button;
}

}  // namespace

CLiveListDlg::CLiveListDlg(QWidget* parent) : ui::CPopupBaseDlg(parent) {
  SetResizable(false);
  LoadSkin(GetProgramFolder() + QStringLiteral("skin/maindlg.xml"));
  setWindowTitle(QStringLiteral("我的直播列表"));
  setFont(ui::MakeUiFont(QStringLiteral("宋体"), 13));
  setFixedSize(PopupUnitsToPixels(QRect(0, 0, 311, 233)).size());

  list_ = new ui::CSkinListCtrl(this);
  list_->setObjectName(QString::number(kIdList));
  list_->setGeometry(PopupUnitsToPixels(QRect(5, 25, 301, 159)));
  list_->setColumnCount(2);
  list_->setHeaderLabels({QStringLiteral("标题"), QStringLiteral("开播时间")});
  list_->setHeaderHidden(true);
  list_->backgroundColor = kListBackground;
  list_->textColor = kGreen;
  // Every task stays reachable: the wheel, the keys, and a scroll bar once the rows overflow.
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionsMovable(true);
  QPalette colours = list_->palette();
  colours.setColor(QPalette::Base, kListBackground);
  colours.setColor(QPalette::Text, kGreen);
  list_->setPalette(colours);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Choose(); });

  status_ = new ui::CLabel(kIdStatus, this);
  status_->setObjectName(QString::number(kIdStatus));
  status_->setGeometry(PopupUnitsToPixels(QRect(5, 188, 171, 9)).adjusted(0, -3, 0, 3));
  status_->SetBackground(QColor(0, 0, 0)).SetTextColor(kGreen).SetTransparent(true);

  refresh_ = AddButton(this, "刷新", kIdRefresh, QRect(5, 205, 50, 18));
  AddButton(this, "选择", kIdChoose, QRect(190, 205, 50, 18))->setDefault(true);
  AddButton(this, "取消", kIdCancel, QRect(249, 205, 50, 18));

  Fill();
}

CLiveListDlg::~CLiveListDlg() = default;

void CLiveListDlg::Fill() {
  list_->setUpdatesEnabled(false);
  list_->clear();
  tasks_ = LiveAccount().LiveTasks();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(tasks_.size()));
  for (size_t i = 0; i < tasks_.size(); ++i) {
    auto* row = new QTreeWidgetItem({live_task_choice::RowTitle(tasks_[i]), tasks_[i].startTime});
    row->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    rows.append(row);
  }
  list_->addTopLevelItems(rows);
  list_->setUpdatesEnabled(true);
}

void CLiveListDlg::resizeEvent(QResizeEvent* event) {
  ui::CPopupBaseDlg::resizeEvent(event);
  if (list_ == nullptr) return;
  list_->setColumnWidth(0, kTitleWidth);
  list_->setColumnWidth(
      1, std::max(kShortestTimeColumn, list_->viewport()->width() - kTimeColumnMargin));
}

void CLiveListDlg::OnCommand(int id) {
  switch (id) {
    case kIdChoose:
      Choose();
      break;
    case kIdCancel:
      reject();
      break;
    case kIdRefresh:
      Refresh();
      break;
    default:
      break;
  }
}

void CLiveListDlg::Choose() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  const LiveTask* task = nullptr;
  if (!selected.isEmpty()) {
    const size_t index = selected.first()->data(0, Qt::UserRole).toULongLong();
    if (index < tasks_.size()) task = &tasks_[index];
  }
  if (const std::optional<QString> refusal = live_task_choice::Refusal(task)) {
    ShowMessage(*refusal);
    return;
  }
  chosen_ = *task;
  accept();
}

void CLiveListDlg::Refresh() {
  if (!live_task_choice::RefreshAllowed(LiveAccount().IsLoaded())) return;
  live_task_choice::MarkRefreshed();
  refresh_->setEnabled(false);
  list_->clear();
  tasks_.clear();
  status_->SetText(QStringLiteral("刷新列表..."));
  RequestLiveTasks(std::nullopt, this,
                   [this](const PlatformReply& reply) { OnPlatformReply(reply); });
}

void CLiveListDlg::OnPlatformReply(const PlatformReply& reply) {
  refresh_->setEnabled(true);
  list_->setUpdatesEnabled(true);
  if (reply.ok) {
    Fill();
    status_->SetText(QStringLiteral("已刷新"));
  } else if (!reply.text.isEmpty()) {
    status_->SetTextColor(kRed).SetText(reply.text);
  }
}

void CLiveListDlg::ShowMessage(const QString& text) {
  if (messageSink_) {
    messageSink_(this, text);
  } else {
    QMessageBox::information(this, ProgramTitle(), text);
  }
}

void CLiveListDlg::showEvent(QShowEvent* event) {
  ui::CPopupBaseDlg::showEvent(event);
  emit Shown();
}

}  // namespace vortane
