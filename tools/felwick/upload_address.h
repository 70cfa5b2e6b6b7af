#pragma once

#include <string>
#include <string_view>

// The pieces of the upload address the uploader needs.
namespace felwick {

// The value of the query parameter "save_as", percent-decoded; empty when there is none.
std::string SaveAsName(std::string_view url);
// The last component of a path.
std::string BaseName(std::string_view path);
// Standard base64 with padding, as tus's Upload-Metadata wants it.
std::string Base64(std::string_view bytes);
// `location` (absolute, or relative as a Location header may be) resolved against `base`; empty
// when it cannot be.
std::string ResolveLocation(const std::string& base, const std::string& location);

}  // namespace felwick
