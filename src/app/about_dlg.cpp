#include "app/about_dlg.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "app/program_icon.h"
#include "app/toolbar_layout.h"
#include "platform/folders.h"
#include "platform/program_info.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

const char kNotice[] =
    "本软件供教师录制课程和直播教学使用。录制和直播的内容由使用者负责，请遵守学校和直播平台的"
    "规定，尊重他人的著作权和肖像权。软件按现状提供，不附带任何明示或暗示的担保。";
const char kMakers[] = "Vortane 开发组 出品";

}  // namespace

AboutDlg::AboutDlg(QWidget* parent, const QString& programFolder, Opener opener)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      programFolder_(programFolder.isEmpty() ? GetProgramFolder()
                                             : WithTrailingSeparator(programFolder)),
      opener_(std::move(opener)) {
  if (!opener_) opener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  setWindowTitle(Text("关于"));
  setFont(ui::MakeUiFont(Text("宋体"), 13));
  setFixedSize(DialogUnitsToPixels(QSize(225, 152)));
  setStyleSheet(QStringLiteral(
      "QDialog, QLabel, QPushButton { background-color: rgb(88,88,88); color: rgb(0,255,0); }"
      "QPushButton { border: 1px solid rgb(0,160,0); padding: 2px; }"
      "QPushButton:pressed { background-color: rgb(70,70,70); }"));

  auto* icon = new QLabel(this);
  const QRect iconRect = DialogUnitsToPixels(QRect(10, 6, 20, 20));
  icon->setGeometry(iconRect);
  icon->setPixmap(ProgramIcon().pixmap(std::min(iconRect.width(), iconRect.height())));

  title_ = new QLabel(ProgramTitle(), this);
  title_->setGeometry(DialogUnitsToPixels(QRect(10, 31, 124, 9)));
  version_ = new QLabel(Text("版本号 ") + ProgramVersion(), this);
  version_->setGeometry(DialogUnitsToPixels(QRect(10, 42, 87, 9)));

  auto* notice = new QLabel(Text(kNotice), this);
  notice->setGeometry(DialogUnitsToPixels(QRect(10, 56, 206, 33)));
  notice->setWordWrap(true);
  notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* makers = new QLabel(Text(kMakers) + QStringLiteral("\n") + QLatin1String(kHomePage), this);
  makers->setGeometry(DialogUnitsToPixels(QRect(10, 91, 206, 22)));
  makers->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  makers->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(DialogUnitsToPixels(QRect(10, 119, 206, 1)).adjusted(0, 0, 0, 1));

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(DialogUnitsToPixels(QRect(167, 126, 49, 18)));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  help_ = new QPushButton(Text("查看帮助"), this);
  help_->setGeometry(DialogUnitsToPixels(QRect(65, 126, 49, 18)));
  help_->setAutoDefault(false);
  connect(help_, &QPushButton::clicked, this, &AboutDlg::OnHelp);

  homePage_ = new QPushButton(Text("访问官网"), this);
  homePage_->setGeometry(DialogUnitsToPixels(QRect(10, 126, 49, 18)));
  homePage_->setAutoDefault(false);
  connect(homePage_, &QPushButton::clicked, this, &AboutDlg::OnHomePage);

  // Kept for the layout's sake; it has never had anything to do.
  feedback_ = new QPushButton(Text("问题反馈"), this);
  feedback_->setGeometry(DialogUnitsToPixels(QRect(167, 6, 49, 18)));
  feedback_->setAutoDefault(false);
  feedback_->hide();
}

QPushButton* AboutDlg::Button(int id) const {
  switch (id) {
    case kIdOk:
      return ok_;
    case kIdHelp:
      return help_;
    case kIdHomePage:
      return homePage_;
    case kIdFeedback:
      return feedback_;
    default:
      return nullptr;
  }
}

void AboutDlg::OnHelp() {
  const QString page = programFolder_ + QStringLiteral("manual/index.html");
  if (QFileInfo(page).isFile()) opener_(QUrl::fromLocalFile(page));
}

void AboutDlg::OnHomePage() {
  opener_(QUrl(QLatin1String(kHomePage)));
}

}  // namespace vortane
