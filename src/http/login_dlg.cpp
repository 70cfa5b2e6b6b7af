#include "http/login_dlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "http/login_rules.h"
#include "http/popup_layout.h"
#include "platform/folders.h"
#include "platform/program_info.h"
#include "ui/gdi_button.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

QLineEdit* AddEdit(QWidget* parent, int id, const QRect& units, const QString& text) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::number(id));
  edit->setGeometry(PopupUnitsToPixels(units));
  return edit;
}

void AddStatic(QWidget* parent, const char* text, const QRect& units, Qt::Alignment alignment) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setAlignment(alignment | Qt::AlignVCenter);
  // A static of 8 units is just the text's height; it is centred on the same line here.
  label->setGeometry(PopupUnitsToPixels(units).adjusted(0, -4, 0, 4));
}

}  // namespace

LoginDlg::LoginDlg(const LoginFields& fields, QWidget* parent)
    : ui::CPopupBaseDlg(parent), fields_(fields) {
  SetResizable(false);
  LoadSkin(GetProgramFolder() + QStringLiteral("skin/maindlg.xml"));
  setWindowTitle(QStringLiteral("登录"));
  setFont(ui::MakeUiFont(QStringLiteral("宋体"), 13));
  setFixedSize(PopupUnitsToPixels(QRect(0, 0, 219, 155)).size());
  // Labels, the check box and the background in green on grey; the edits keep their own look.
  setStyleSheet(
      QStringLiteral("QLabel, QCheckBox { color: rgb(0, 255, 0); }"
                     "QLineEdit { padding: 0 4px; }"));

  server_ = AddEdit(this, kIdServer, QRect(56, 32, 137, 16), fields.server);
  user_ = AddEdit(this, kIdUser, QRect(56, 56, 137, 16), fields.user);
  password_ = AddEdit(this, kIdPassword, QRect(56, 80, 137, 16), fields.password);
  password_->setEchoMode(QLineEdit::Password);
  remember_ = new QCheckBox(this);
  remember_->setObjectName(QString::number(kIdRemember));
  remember_->setGeometry(PopupUnitsToPixels(QRect(56, 105, 11, 9)).adjusted(0, -2, 4, 2));
  remember_->setChecked(fields.remember);
  AddStatic(this, "服务器：", QRect(5, 35, 46, 8), Qt::AlignRight);
  AddStatic(this, "用户名：", QRect(5, 59, 46, 8), Qt::AlignRight);
  AddStatic(this, "密码：", QRect(5, 82, 46, 8), Qt::AlignRight);
  AddStatic(this, "记住密码", QRect(66, 106, 46, 8), Qt::AlignLeft);

  auto* ok = new ui::CGdiButton(QStringLiteral("登录"), kIdOk, this);
  ok->setObjectName(QString::number(kIdOk));
  ok->move(PopupUnitsToPixels(QRect(115, 128, 44, 16)).topLeft());
  ok->setDefault(true);
  auto* cancel = new ui::CGdiButton(QStringLiteral("取消"), kIdCancel, this);
  cancel->setObjectName(QString::number(kIdCancel));
  cancel->move(PopupUnitsToPixels(QRect(166, 128, 41, 16)).topLeft());

  // The first empty field is where typing starts.
  QLineEdit* first = fields.server.isEmpty() ? server_ : fields.user.isEmpty() ? user_ : password_;
  first->setFocus();
}

QLineEdit* LoginDlg::Edit(int id) const {
  switch (id) {
    case kIdServer:
      return server_;
    case kIdUser:
      return user_;
    case kIdPassword:
      return password_;
    default:
      return nullptr;
  }
}

void LoginDlg::OnCommand(int id) {
  if (id == kIdOk) accept();
  if (id == kIdCancel) reject();
}

void LoginDlg::accept() {
  fields_ = {server_->text(), user_->text(), password_->text(), remember_->isChecked()};
  if (const std::optional<LoginProblem> problem = CheckLoginFields(fields_)) {
    if (messageSink_) {
      messageSink_(this, problem->message);
    } else {
      QMessageBox::information(this, ProgramTitle(), problem->message);
    }
    QLineEdit* edit = problem->field == LoginField::kServer ? server_
                      : problem->field == LoginField::kUser ? user_
                                                            : password_;
    edit->setFocus();
    return;
  }
  QDialog::accept();
}

void LoginDlg::showEvent(QShowEvent* event) {
  ui::CPopupBaseDlg::showEvent(event);
  emit Shown();
}

}  // namespace vortane
