#pragma once

#include <gio/gio.h>

namespace vortane::platform {

// Whether the desktop portal's answer to Properties.Get(interface, "version") names a version:
// the property answers only where the portal offers that interface. Consumes the reply (null
// for no answer).
inline bool PortalVersionOffered(GVariant* reply) {
  if (reply == nullptr) return false;
  GVariant* version = nullptr;
  g_variant_get(reply, "(v)", &version);
  const bool offered =
      g_variant_is_of_type(version, G_VARIANT_TYPE_UINT32) && g_variant_get_uint32(version) > 0;
  g_variant_unref(version);
  g_variant_unref(reply);
  return offered;
}

}  // namespace vortane::platform
