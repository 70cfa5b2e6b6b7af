#include "demo_login_dlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "ui/gdi_button.h"
#include "ui/ui_font.h"

namespace vortane::demo {

DemoLoginDlg::DemoLoginDlg(const QString& skinXml, QWidget* parent) : ui::CPopupBaseDlg(parent) {
  LoadSkin(skinXml);
  setWindowTitle(QStringLiteral("登录"));
  setFixedSize(384, 252);
  setFont(ui::MakeUiFont(QStringLiteral("宋体"), 13));
  setStyleSheet(
      QStringLiteral("QLabel, QCheckBox { color: rgb(0, 255, 0); }"
                     "QLineEdit { background: #2a2d31; color: #f0f0f0; border: 1px solid #5a5f66;"
                     " border-radius: 3px; padding: 2px 6px; selection-background-color: #3d8bfd; }"
                     "QLineEdit:focus { border-color: #4c9aff; }"));
  const struct {
    const char* label;
    const char* text;
    int y;
    bool password;
  } rows[] = {{"服务器：", "lesson.vortane.example", 52, false},
              {"用户名：", "13800138000", 91, false},
              {"密码：", "secret", 130, true}};
  for (const auto& row : rows) {
    auto* label = new QLabel(QString::fromUtf8(row.label), this);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(9, row.y, 80, 26);
    auto* edit = new QLineEdit(QString::fromUtf8(row.text), this);
    edit->setGeometry(98, row.y, 240, 26);
    if (row.password) edit->setEchoMode(QLineEdit::Password);
  }
  auto* remember = new QCheckBox(QStringLiteral("记住密码"), this);
  remember->setChecked(true);
  remember->setGeometry(98, 168, 120, 22);
  auto* ok = new ui::CGdiButton(QStringLiteral("登录"), 1, this);
  auto* cancel = new ui::CGdiButton(QStringLiteral("取消"), 2, this);
  ok->move(201, 208);
  cancel->move(278, 208);
  ok->setDefault(true);
  connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
  connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
}

}  // namespace vortane::demo
