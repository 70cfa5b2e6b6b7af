#include "app/settings_login_memory.h"

#include "settings/settings.h"

namespace vortane {

LoginFields SettingsLoginMemory::Recall() const {
  return {settings_.platformServer, settings_.platformUser, settings_.platformPassword,
          settings_.rememberPassword};
}

bool SettingsLoginMemory::Remember(const LoginFields& fields) {
  // The dialog limits its fields to what the file holds; a text that would not fit is refused
  // and the remembered one stays.
  const QString password = fields.remember ? fields.password : QString();
  if (Settings::FitsServer(fields.server)) settings_.platformServer = fields.server;
  if (Settings::FitsAccountText(fields.user)) settings_.platformUser = fields.user;
  if (Settings::FitsAccountText(password)) settings_.platformPassword = password;
  settings_.rememberPassword = fields.remember;
  return SaveSettings(settings_);
}

}  // namespace vortane
