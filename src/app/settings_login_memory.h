#pragma once

#include "http/account_state.h"

namespace vortane {

struct CaptureSettings;

// The remembered login in the settings record's account fields, saved to config.cfg.
class SettingsLoginMemory : public LoginMemory {
 public:
  explicit SettingsLoginMemory(CaptureSettings& settings) : settings_(settings) {}

  LoginFields Recall() const override;
  bool Remember(const LoginFields& fields) override;

 private:
  CaptureSettings& settings_;
};

}  // namespace vortane
