#include "upload_endpoint.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace platform_server {
namespace {

using nlohmann::json;

constexpr char kFilesPath[] = "/files/";
constexpr char kUploadPattern[] = R"(/files/([0-9a-f]+))";
constexpr char kUploadedPattern[] = R"(/backend/lumio/uploaded/(\d+))";
constexpr char kTusVersion[] = "1.0.0";
constexpr std::int64_t kMaxLength = std::int64_t(16) << 30;

void Reply(httplib::Response& response, int status, const json& body) {
  response.status = status;
  response.set_content(body.dump(), "application/json");
}

void Refuse(httplib::Response& response, int status, const char* text) {
  Reply(response, status, json{{"code", 1}, {"err_desc", text}});
}

std::string DecodeBase64(const std::string& text) {
  std::string out;
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    int digit = -1;
    if (c >= 'A' && c <= 'Z') digit = c - 'A';
    if (c >= 'a' && c <= 'z') digit = c - 'a' + 26;
    if (c >= '0' && c <= '9') digit = c - '0' + 52;
    if (c == '+') digit = 62;
    if (c == '/') digit = 63;
    if (digit < 0) continue;
    value = (value << 6) | unsigned(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += char((value >> bits) & 0xFF);
    }
  }
  return out;
}

// The value of one key of tus's Upload-Metadata ("key base64,key base64").
std::string MetadataValue(const std::string& metadata, const std::string& key) {
  size_t start = 0;
  while (start <= metadata.size()) {
    const size_t comma = metadata.find(',', start);
    std::string pair = metadata.substr(start, comma == std::string::npos ? comma : comma - start);
    pair.erase(0, pair.find_first_not_of(' '));
    const size_t blank = pair.find(' ');
    if (pair.substr(0, blank) == key)
      return blank == std::string::npos ? std::string() : DecodeBase64(pair.substr(blank + 1));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return {};
}

// Cuts the TCP connection a request arrived on, as a network that drops would: the client sees
// its connection end without an answer.
void CutConnection(const httplib::Request& request) {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return;
  while (dirent* entry = readdir(fds)) {
    const int fd = std::atoi(entry->d_name);
    if (fd <= 2) continue;
    sockaddr_storage peer{};
    socklen_t length = sizeof(peer);
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    if (peer.ss_family != AF_INET) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(&peer);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text));
    if (ntohs(address->sin_port) == request.remote_port && request.remote_addr == text) {
      linger abort{1, 0};  // a reset, not an orderly close
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
      shutdown(fd, SHUT_RDWR);
    }
  }
  closedir(fds);
}

// Reads and drops a body that is not wanted, so the connection stays usable.
void Drain(const httplib::Request& request, const httplib::ContentReader& reader) {
  const auto drop = [](const char*, size_t) { return true; };
  if (request.is_multipart_form_data())
    reader([](const httplib::MultipartFormData&) { return true; }, drop);
  else
    reader(drop);
}

std::string PartPath(const std::string& folder, const std::string& id) {
  return folder + "/." + id + ".part";
}

}  // namespace

UploadEndpoint::UploadEndpoint(std::string folder) : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
}

void UploadEndpoint::Route(httplib::Server& server, Answer answer) {
  server.Post(kFilesPath, [this](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& reader) {
    if (Refused(response)) {
      Drain(request, reader);
      return;
    }
    if (request.is_multipart_form_data()) {
      Multipart(request, response, reader);
      return;
    }
    Drain(request, reader);
    if (request.has_header("Tus-Resumable") && mode_ != Mode::kMultipartOnly) {
      Create(request, response);
      return;
    }
    Refuse(response, 400, "没有收到文件");
  });
  server.Patch(kUploadPattern,
               [this](const httplib::Request& request, httplib::Response& response,
                      const httplib::ContentReader& reader) { Patch(request, response, reader); });
  // HEAD requests reach the GET handler; the body is left out for them.
  server.Get(kUploadPattern, [this](const httplib::Request& request, httplib::Response& response) {
    Head(request, response);
  });
  server.Options(kFilesPath, [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Tus-Resumable", kTusVersion);
    response.set_header("Tus-Version", kTusVersion);
    response.set_header("Tus-Extension", "creation");
    response.status = 204;
  });
  server.Get(kUploadedPattern,
             [this, answer](const httplib::Request& request, httplib::Response& response) {
               answer(response, [&] { return Callback(request); });
             });
  server.Get("/control/upload",
             [this](const httplib::Request& request, httplib::Response& response) {
               Control(request, response);
             });
  server.Get("/control/uploads", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(Listing().dump(), "application/json");
  });
}

bool UploadEndpoint::Refused(httplib::Response& response) const {
  if (mode_ != Mode::kRefuse) return false;
  Refuse(response, 403, "上传空间已满");
  return true;
}

void UploadEndpoint::Create(const httplib::Request& request, httplib::Response& response) {
  const std::string lengthText = request.get_header_value("Upload-Length");
  char* end = nullptr;
  const long long length = std::strtoll(lengthText.c_str(), &end, 10);
  if (lengthText.empty() || *end != '\0' || length < 0 || length > kMaxLength) {
    Refuse(response, 400, "Upload-Length 无效");
    return;
  }
  Upload upload;
  upload.length = length;
  upload.name = MetadataValue(request.get_header_value("Upload-Metadata"), "filename");
  if (upload.name.empty()) upload.name = request.get_param_value("save_as");
  std::string id;
  {
    std::lock_guard lock(mutex_);
    char text[17];
    std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(nextId_++));
    id = text;
  }
  const int fd = open(PartPath(folder_, id).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    Refuse(response, 500, "无法保存文件");
    return;
  }
  close(fd);
  {
    std::lock_guard lock(mutex_);
    uploads_[id] = upload;
  }
  response.status = 201;
  response.set_header("Tus-Resumable", kTusVersion);
  response.set_header("Location", std::string(kFilesPath) + id);
  std::printf("upload %s created: %s, %lld bytes\n", id.c_str(), upload.name.c_str(), length);
  std::fflush(stdout);
}

void UploadEndpoint::Patch(const httplib::Request& request, httplib::Response& response,
                           const httplib::ContentReader& reader) {
  const std::string id = request.matches[1];
  std::int64_t offset = 0;
  std::int64_t length = 0;
  std::int64_t dropAt = -1;
  {
    std::lock_guard lock(mutex_);
    auto it = uploads_.find(id);
    if (it == uploads_.end()) {
      response.status = 404;
      return;
    }
    Upload& upload = it->second;
    const std::string asked = request.get_header_value("Upload-Offset");
    if (mode_ == Mode::kRefuse) {
      Refuse(response, 403, "上传空间已满");
      return;
    }
    if (request.get_header_value("Content-Type") != "application/offset+octet-stream") {
      response.status = 415;
      return;
    }
    if (upload.busy || asked != std::to_string(upload.offset)) {
      response.status = upload.busy ? 423 : 409;
      response.set_header("Upload-Offset", std::to_string(upload.offset));
      return;
    }
    upload.busy = true;
    ++upload.patches;
    offset = upload.offset;
    length = upload.length;
    if (dropAtPercent_ > 0 && !upload.dropped) dropAt = upload.length * dropAtPercent_ / 100;
  }
  const int fd = open(PartPath(folder_, id).c_str(), O_WRONLY);
  const int rate = rateKilobytes_;
  const auto started = std::chrono::steady_clock::now();
  const std::int64_t first = offset;
  bool cut = false;
  bool tooLong = false;
  reader([&](const char* data, size_t size) {
    if (offset + std::int64_t(size) > length) {
      tooLong = true;
      return false;
    }
    if (fd < 0 || pwrite(fd, data, size, offset) != ssize_t(size)) return false;
    offset += std::int64_t(size);
    if (rate > 0)
      std::this_thread::sleep_until(started + std::chrono::milliseconds((offset - first) / rate));
    std::lock_guard lock(mutex_);
    Upload& upload = uploads_[id];
    upload.offset = offset;
    upload.received += std::int64_t(size);
    if (dropAt >= 0 && offset >= dropAt) {
      upload.dropped = true;
      cut = true;
      return false;
    }
    return true;
  });
  if (fd >= 0) close(fd);
  std::string storedAs;
  std::string name;
  {
    std::lock_guard lock(mutex_);
    Upload& upload = uploads_[id];
    upload.busy = false;
    name = upload.name;
    if (!cut && upload.offset == upload.length && upload.storedAs.empty()) {
      storedAs = UniqueName(upload.name);
      upload.storedAs = storedAs;
    }
  }
  if (cut) {
    std::printf("upload %s: connection cut at %lld bytes\n", id.c_str(), (long long)offset);
    std::fflush(stdout);
    CutConnection(request);
    return;
  }
  response.set_header("Tus-Resumable", kTusVersion);
  if (proof_ == Proof::kPastEnd)
    response.set_header("Upload-Offset", std::to_string(length + 1));
  else if (proof_ != Proof::kNoOffset || tooLong)
    response.set_header("Upload-Offset", std::to_string(offset));
  if (tooLong) {
    Refuse(response, 413, "超过了声明的长度");
    return;
  }
  if (storedAs.empty()) {
    response.status = 204;
    return;
  }
  std::filesystem::rename(PartPath(folder_, id), folder_ + "/" + storedAs);
  std::printf("upload %s stored as %s\n", id.c_str(), storedAs.c_str());
  std::fflush(stdout);
  Reply(response, 200, json{{"code", 0}, {"filename", storedAs}});
}

void UploadEndpoint::Head(const httplib::Request& request, httplib::Response& response) {
  std::lock_guard lock(mutex_);
  auto it = uploads_.find(request.matches[1]);
  response.set_header("Tus-Resumable", kTusVersion);
  response.set_header("Cache-Control", "no-store");
  if (it == uploads_.end()) {
    response.status = 404;
    return;
  }
  ++it->second.heads;
  response.set_header("Upload-Offset", std::to_string(it->second.offset));
  response.set_header("Upload-Length", std::to_string(it->second.length));
  response.status = 200;
}

void UploadEndpoint::Multipart(const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& reader) {
  std::string field;
  std::string asked;
  std::int64_t received = 0;
  std::string id;
  {
    std::lock_guard lock(mutex_);
    id = "m" + std::to_string(nextId_++);
  }
  const std::string part = PartPath(folder_, id);
  int fd = -1;
  const bool read = reader(
      [&](const httplib::MultipartFormData& file) {
        field = file.name;
        if (field == "file" && fd < 0) {
          asked = file.filename;
          fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        return true;
      },
      [&](const char* data, size_t size) {
        if (field != "file" || fd < 0) return true;
        received += std::int64_t(size);
        return write(fd, data, size) == ssize_t(size);
      });
  if (fd >= 0) close(fd);
  if (!read || asked.empty()) {
    std::filesystem::remove(part);
    Refuse(response, 400, "没有收到文件");
    return;
  }
  std::string storedAs;
  {
    std::lock_guard lock(mutex_);
    storedAs = UniqueName(asked);
    Upload upload;
    upload.name = asked;
    upload.length = upload.offset = upload.received = received;
    upload.storedAs = storedAs;
    uploads_[id] = upload;
  }
  (void)request;
  std::filesystem::rename(part, folder_ + "/" + storedAs);
  std::printf("upload %s (multipart) stored as %s\n", id.c_str(), storedAs.c_str());
  std::fflush(stdout);
  if (proof_ == Proof::kNotJson) {
    response.set_content("<html><body>OK</body></html>", "text/html");
    return;
  }
  Reply(response, 200, json{{"code", 0}, {"filename", storedAs}});
}

std::string UploadEndpoint::UniqueName(const std::string& asked) {
  std::string base = asked.substr(
      asked.find_last_of("/\\") == std::string::npos ? 0 : asked.find_last_of("/\\") + 1);
  if (base.empty() || base[0] == '.') base = "upload" + base;
  std::string name = base;
  for (int n = 2; std::filesystem::exists(folder_ + "/" + name); ++n) {
    const size_t dot = base.find_last_of('.');
    name = dot == std::string::npos || dot == 0
               ? base + "-" + std::to_string(n)
               : base.substr(0, dot) + "-" + std::to_string(n) + base.substr(dot);
  }
  // Reserve it at once, so two uploads finishing together never share a name.
  close(open((folder_ + "/" + name).c_str(), O_WRONLY | O_CREAT, 0644));
  return name;
}

std::string UploadEndpoint::Callback(const httplib::Request& request) {
  const std::string target = request.matches[1];
  std::string query;
  for (const auto& [key, value] : request.params)
    query += (query.empty() ? "" : "&") + key + "=" + value;
  const std::string line = "target=" + target + " " + query;
  const std::string file = request.get_param_value("file");
  bool stored = false;
  {
    std::lock_guard lock(mutex_);
    callbacks_.push_back(line);
    for (const auto& [id, upload] : uploads_)
      stored = stored || (!file.empty() && upload.storedAs == file);
  }
  std::printf("uploaded %s\n", line.c_str());
  std::fflush(stdout);
  if (!stored) return json{{"code", 404}, {"err_desc", "没有找到上传的文件"}}.dump();
  return R"({"code":0})";
}

void UploadEndpoint::Control(const httplib::Request& request, httplib::Response& response) {
  const std::string mode = request.get_param_value("mode");
  const std::string answer = request.get_param_value("answer");
  const auto refuse = [&](const char* text) {
    response.status = 400;
    response.set_content(text, "text/plain");
  };
  Mode newMode = Mode::kNormal;
  if (mode == "refuse") {
    newMode = Mode::kRefuse;
  } else if (mode == "multipart-only") {
    newMode = Mode::kMultipartOnly;
  } else if (mode != "normal" && !mode.empty()) {
    refuse("no such mode\n");
    return;
  }
  Proof newProof = Proof::kRight;
  if (answer == "no-offset") {
    newProof = Proof::kNoOffset;
  } else if (answer == "past-end") {
    newProof = Proof::kPastEnd;
  } else if (answer == "not-json") {
    newProof = Proof::kNotJson;
  } else if (!answer.empty()) {
    refuse("no such answer\n");
    return;
  }
  mode_ = newMode;
  proof_ = newProof;
  dropAtPercent_ = std::atoi(request.get_param_value("drop_at").c_str());
  rateKilobytes_ = std::atoi(request.get_param_value("rate").c_str());
  std::printf("upload mode %s, drop at %d%%, answer %s\n", mode.c_str(), dropAtPercent_.load(),
              answer.empty() ? "right" : answer.c_str());
  std::fflush(stdout);
  response.set_content(R"({"code":0})", "application/json");
}

json UploadEndpoint::Listing() {
  std::lock_guard lock(mutex_);
  json uploads = json::array();
  for (const auto& [id, upload] : uploads_)
    uploads.push_back({{"id", id},
                       {"name", upload.name},
                       {"length", upload.length},
                       {"offset", upload.offset},
                       {"received", upload.received},
                       {"patches", upload.patches},
                       {"heads", upload.heads},
                       {"stored_as", upload.storedAs}});
  return json{{"folder", folder_}, {"uploads", uploads}, {"callbacks", callbacks_}};
}

}  // namespace platform_server
