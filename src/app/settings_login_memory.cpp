#include "app/settings_login_memory.h"

#include "settings/capture_settings.h"

namespace vortane {

LoginFields SettingsLoginMemory::Recall() const {
  return {settings_.PlatformServer(), settings_.PlatformUser(), settings_.PlatformPassword(),
          settings_.rememberPassword == 1};
}

bool SettingsLoginMemory::Remember(const LoginFields& fields) {
  // The dialog limits its fields to what the record holds, so the setters never refuse here.
  settings_.SetPlatformServer(fields.server);
  settings_.SetPlatformUser(fields.user);
  settings_.SetPlatformPassword(fields.remember ? fields.password : QString());
  settings_.rememberPassword = fields.remember ? 1 : 0;
  return SaveCaptureSettings(settings_);
}

}  // namespace vortane
