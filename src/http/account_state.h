#pragma once

#include <QString>

#include "http/platform_client.h"

namespace vortane {

// What the login shows in the toolbar.
class AccountView {
 public:
  virtual ~AccountView() = default;
  // The logged-in look with the user's name, or "未登录" in grey.
  virtual void ShowUserState(bool loggedIn, const QString& name) = 0;
  virtual void SetStatusText(const QString& text, bool isError) = 0;
  // The user button and the start button wait while a login runs.
  virtual void SetLoginPending(bool pending) = 0;
};

// The texts of the login dialog.
struct LoginFields {
  QString server;
  QString user;
  QString password;
  bool remember = false;
};

// Where the remembered login is kept (the account fields of config.cfg).
class LoginMemory {
 public:
  virtual ~LoginMemory() = default;
  virtual LoginFields Recall() const = 0;
  // Keeps the server, the user and the choice, and the password only when it is to be
  // remembered; false when that could not be saved.
  virtual bool Remember(const LoginFields& fields) = 0;
};

// Logging in and out of the platform from the toolbar, and what the replies of the two login
// requests show. The user counts as logged in while the live account has its task list.
class AccountState {
 public:
  AccountState(AccountView& view, LoginMemory& memory);

  bool IsLoggedIn() const;
  // The login dialog's first texts: the remembered server, user and password.
  LoginFields Prefill() const;
  // An accepted login dialog: the login and destination requests start, reporting to `onReply`
  // on `receiver`'s thread, and the fields are remembered (the password only when asked to).
  // False when they could not be saved (the login goes ahead all the same).
  bool Login(const LoginFields& fields, QObject* receiver, const PlatformReplyHandler& onReply);
  // Forgets the task lists and shows the logged-out look.
  void Logout();
  // A reply of the login requests or of a stop signal.
  void OnPlatformReply(const PlatformReply& reply);

 private:
  AccountView& view_;
  LoginMemory& memory_;
};

}  // namespace vortane
