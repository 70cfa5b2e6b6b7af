#pragma once

#include "upload_session.h"

// The fallback for a server without tus: one POST of multipart/form-data with the file as the
// field "file", streamed from disk. Its reply body is the server's answer, which must be a JSON
// object for the upload to count as done.
namespace felwick {

UploadOutcome MultipartUpload(UploadSession& session);

}  // namespace felwick
