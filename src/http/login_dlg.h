#pragma once

#include <QString>
#include <functional>

#include "http/account_state.h"
#include "ui/command_target.h"
#include "ui/popup_base_dlg.h"

class QCheckBox;
class QLineEdit;

namespace vortane {

namespace ui {
class CGdiButton;
}

// "登录" (dialog 142): server address, user name, password and "记住密码" on the skinned popup.
// Accepting checks the fields in that order and says what is missing; the dialog stays open
// until they are usable or the user cancels.
class LoginDlg : public ui::CPopupBaseDlg, public ui::CCommandTarget {
  Q_OBJECT

 public:
  enum ControlId : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdServer = 1056,
    kIdPassword = 1058,
    kIdRemember = 1063,
    kIdUser = 2020,
  };
  using MessageSink = std::function<void(QWidget* parent, const QString& text)>;

  explicit LoginDlg(const LoginFields& fields, QWidget* parent = nullptr);

  // Where the dialog's messages go (default: an OK box with the program's title).
  void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
  // The texts as they were accepted.
  const LoginFields& Fields() const { return fields_; }

  QLineEdit* Edit(int id) const;
  QCheckBox* RememberBox() const { return remember_; }

  void OnCommand(int id) override;
  void accept() override;

 signals:
  // The dialog is on the screen (the toolbar's trace lists its controls then).
  void Shown();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  LoginFields fields_;
  QLineEdit* server_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* remember_ = nullptr;
  MessageSink messageSink_;
};

}  // namespace vortane
