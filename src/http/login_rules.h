#pragma once

#include <QString>
#include <optional>

#include "http/account_state.h"

namespace vortane {

// Which login field a problem concerns (the dialog puts the focus there).
enum class LoginField { kServer, kUser, kPassword };

struct LoginProblem {
  LoginField field;
  QString message;
};

// The first reason the login dialog cannot be accepted, in the order server, user name,
// password: empty (blanks count as text), or longer than config.cfg can hold (255 bytes of GBK
// for the server, 63 for the user name and the password).
std::optional<LoginProblem> CheckLoginFields(const LoginFields& fields);

}  // namespace vortane
