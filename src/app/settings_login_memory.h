#pragma once

#include "http/account_state.h"

namespace vortane {

struct Settings;

// The remembered login in the settings record's account fields, saved to config.cfg.
class SettingsLoginMemory : public LoginMemory {
 public:
  explicit SettingsLoginMemory(Settings& settings) : settings_(settings) {}

  LoginFields Recall() const override;
  bool Remember(const LoginFields& fields) override;

 private:
  Settings& settings_;
};

}  // namespace vortane
