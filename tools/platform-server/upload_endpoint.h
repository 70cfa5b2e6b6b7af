#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The platform's file store: the upload address of every destination ("/files/"). It speaks tus
// 1.0 (core + creation: POST, PATCH, HEAD) and also takes one multipart/form-data POST with the
// field "file". A finished file is stored in the upload folder under the name the client asked
// for (tus metadata "filename", or the form's file name), made unique, and that name is the
// answer: {"code":0,"filename":"NAME"}. The destination callback ("/backend/lumio/uploaded/ID")
// is answered here too and recorded with its "_FILENAME", "_SRC_ID" and "_TITLE" values.
//
// For tests: GET /control/upload?mode=normal|refuse|multipart-only[&drop_at=PERCENT][&rate=KBPS]
// [&answer=no-offset|past-end|not-json] changes how it answers (refuse: every upload is refused
// with 403; multipart-only: it does not speak tus; drop_at: the connection of the PATCH that
// crosses that share of a file is cut, once per upload; rate: tus bodies are read no faster than
// that, like a slow school line; answer: every PATCH it takes is answered without Upload-Offset
// or with one past the file's end, or a form it takes is answered with an HTML page), and GET
// /control/uploads lists the uploads, their byte counts, the stored files and the callbacks.
namespace platform_server {

class UploadEndpoint {
 public:
  explicit UploadEndpoint(std::string folder);

  // Adds the upload routes and their control routes. `answer` sends a callback reply through
  // the server's fault switches.
  using Answer = std::function<void(httplib::Response&, const std::function<std::string()>&)>;
  void Route(httplib::Server& server, Answer answer);

  const std::string& Folder() const { return folder_; }

 private:
  enum class Mode { kNormal, kRefuse, kMultipartOnly };
  // What the answer to a taken upload proves: that it was stored, or nothing.
  enum class Proof { kRight, kNoOffset, kPastEnd, kNotJson };

  struct Upload {
    std::string name;  // asked for
    std::int64_t length = 0;
    std::int64_t offset = 0;
    std::int64_t received = 0;  // body bytes read, including any sent twice
    int patches = 0;
    int heads = 0;
    bool busy = false;     // a PATCH is being read
    bool dropped = false;  // the test drop happened
    std::string storedAs;  // once complete
  };

  void Create(const httplib::Request& request, httplib::Response& response);
  void Patch(const httplib::Request& request, httplib::Response& response,
             const httplib::ContentReader& reader);
  void Head(const httplib::Request& request, httplib::Response& response);
  void Multipart(const httplib::Request& request, httplib::Response& response,
                 const httplib::ContentReader& reader);
  std::string Callback(const httplib::Request& request);
  void Control(const httplib::Request& request, httplib::Response& response);
  nlohmann::json Listing();

  // A name not yet used in the folder, from what the client asked for.
  std::string UniqueName(const std::string& asked);
  bool Refused(httplib::Response& response) const;

  std::string folder_;
  std::atomic<Mode> mode_{Mode::kNormal};
  std::atomic<Proof> proof_{Proof::kRight};
  std::atomic<int> dropAtPercent_{0};
  std::atomic<int> rateKilobytes_{0};
  std::mutex mutex_;
  std::map<std::string, Upload> uploads_;
  std::vector<std::string> callbacks_;
  std::uint64_t nextId_ = 1;
};

}  // namespace platform_server
