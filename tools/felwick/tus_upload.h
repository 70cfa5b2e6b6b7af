#pragma once

#include "upload_session.h"

// tus 1.0 (core + creation): POST creates the upload (201 and Location), PATCH sends the file
// from an offset, HEAD tells the offset after a dropped connection so that sending continues
// there instead of starting again. The reply body of the PATCH that completes the file is the
// server's answer.
namespace felwick {

// How much one PATCH carries: about a twentieth of the file, within these bounds (streamed, so
// memory does not depend on it). Each answer tells how far the server really got, so progress
// follows the server even on a slow line whose buffers take a small file at once.
inline constexpr std::int64_t kSmallestPatch = std::int64_t(32) << 10;
inline constexpr std::int64_t kLargestPatch = std::int64_t(64) << 20;
// Failed attempts in a row (without the server taking a byte more) before giving up.
inline constexpr int kMaxRetries = 8;

UploadOutcome TusUpload(UploadSession& session);

}  // namespace felwick
