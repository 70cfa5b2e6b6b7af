#include "http/login_rules.h"

#include "platform/code_page.h"

namespace vortane {
namespace {

constexpr size_t kServerBytes = 255;
constexpr size_t kUserBytes = 63;
constexpr size_t kPasswordBytes = 63;

bool TooLong(const QString& text, size_t bytes) {
  return platform::WideToAnsi(text).size() > bytes;
}

}  // namespace

std::optional<LoginProblem> CheckLoginFields(const LoginFields& fields) {
  if (fields.server.isEmpty())
    return LoginProblem{LoginField::kServer, QString::fromUtf8("请输入服务器IP或域名！")};
  if (fields.user.isEmpty())
    return LoginProblem{LoginField::kUser, QString::fromUtf8("请输入用户名（手机号）！")};
  if (fields.password.isEmpty())
    return LoginProblem{LoginField::kPassword, QString::fromUtf8("请输入用户密码！")};
  if (TooLong(fields.server, kServerBytes))
    return LoginProblem{LoginField::kServer, QString::fromUtf8("服务器地址太长，请检查！")};
  if (TooLong(fields.user, kUserBytes))
    return LoginProblem{LoginField::kUser, QString::fromUtf8("用户名太长，请检查！")};
  if (TooLong(fields.password, kPasswordBytes))
    return LoginProblem{LoginField::kPassword, QString::fromUtf8("密码太长，请检查！")};
  return std::nullopt;
}

}  // namespace vortane
