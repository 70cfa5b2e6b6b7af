#include "http/account_state.h"

#include "http/platform_account.h"
#include "http/platform_client.h"
#include "http/platform_text.h"

namespace vortane {
namespace {

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

}  // namespace

AccountState::AccountState(AccountView& view, LoginMemory& memory) : view_(view), memory_(memory) {}

bool AccountState::IsLoggedIn() const {
  return LiveAccount().IsLoaded();
}

LoginFields AccountState::Prefill() const {
  return memory_.Recall();
}

bool AccountState::Login(const LoginFields& fields, QObject* receiver,
                         const PlatformReplyHandler& onReply) {
  view_.SetStatusText(Text("登录云平台..."), false);

  const PlatformCredentials credentials{fields.server, fields.user, fields.password};
  ClearLiveTasks();
  RequestLiveTasks(credentials, receiver, onReply);
  ClearUploadTargets();
  RequestUploadTargets(credentials, receiver, onReply);
  // The requests hold their own copy of the password.
  const bool saved = memory_.Remember(fields);
  view_.SetLoginPending(true);
  return saved;
}

void AccountState::Logout() {
  view_.ShowUserState(false, QString());
  ClearLiveTasks();
  ClearUploadTargets();
}

void AccountState::OnPlatformReply(const PlatformReply& reply) {
  const QString& text = reply.text;
  view_.SetLoginPending(false);
  if (reply.ok) {
    view_.SetStatusText(Text("已登录"), false);
    const std::string name = LiveAccount().DisplayName();
    view_.ShowUserState(true, name.empty() ? Text("已登录") : Utf8ToWide(name));
  } else if (!text.isEmpty()) {
    view_.SetStatusText(text, true);
  }
}

}  // namespace vortane
