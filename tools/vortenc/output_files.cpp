#include "vortenc/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "vortenc/argument_translation.h"
#include "vortenc/media_library.h"

namespace vortenc {
namespace {

enum class OutputKind { kFile, kNetwork, kOther };

// ffmpeg's own reading of an output name: "proto:..." (or "proto,options:...") names a protocol,
// except a one-letter drive; anything else is a file. "file:" is a file too; "-" and "pipe:" are
// standard output.
OutputKind KindOf(const std::string& name, std::string& path) {
  constexpr std::string_view kSchemeChars =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.";
  path = name;
  if (name == "-") return OutputKind::kOther;
  const std::size_t length = name.find_first_not_of(kSchemeChars);
  if (length == std::string::npos || length == 0) return OutputKind::kFile;
  const bool protocol = (name[length] == ':' && length > 1) ||
                        (name[length] == ',' && name.find(':', length + 1) != std::string::npos);
  if (!protocol) return OutputKind::kFile;
  const std::string scheme = name.substr(0, length);
  if (scheme == "file") {
    path = name.substr(length + 1);
    return OutputKind::kFile;
  }
  return scheme == "pipe" ? OutputKind::kOther : OutputKind::kNetwork;
}

bool IsTimeRange(const std::string& token) {
  return token == "-ss" || token == "-t" || token == "-to";
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// What stands at `path` instead of a regular file of this user's.
std::string WhatIsThere(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "it cannot be looked at";
  if (S_ISLNK(info.st_mode)) return "it is a link";
  if (S_ISFIFO(info.st_mode)) return "it is a FIFO";
  if (S_ISDIR(info.st_mode)) return "it is a directory";
  if (!S_ISREG(info.st_mode)) return "it is not a regular file";
  if (info.st_uid != ::geteuid()) return "it belongs to another user";
  return "it exists already";
}

bool SameFile(const struct stat& output, const std::string& input) {
  struct stat info {};
  return ::stat(input.c_str(), &info) == 0 && info.st_dev == output.st_dev &&
         info.st_ino == output.st_ino;
}

}  // namespace

OutputPlan PlanOutputs(std::vector<std::string>& arguments, bool captures,
                       std::optional<double> lessonSeconds) {
  OutputPlan plan;
  bool overwrite = false;
  bool timeRange = false;
  // Positions of the outputs and of the first option that belongs to each.
  std::vector<std::size_t> outputs;
  std::vector<std::size_t> optionsFrom;
  std::size_t groupStart = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& token = arguments[i];
    if (token == "-i" && i + 1 < arguments.size()) {
      plan.inputs.push_back(arguments[++i]);
      groupStart = i + 1;
    } else if (TakesValue(token) && i + 1 < arguments.size()) {
      timeRange = timeRange || IsTimeRange(token);
      ++i;
    } else if (token == "-y") {
      overwrite = true;
    } else if (token.size() <= 1 || token[0] != '-') {
      outputs.push_back(i);
      optionsFrom.push_back(groupStart);
      groupStart = i + 1;
    }
  }

  std::vector<std::string> planned;
  if (!captures) planned.push_back("-xerror");
  if (!overwrite) planned.push_back("-y");
  std::size_t next = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "-n") continue;
    if (next < outputs.size() && i == outputs[next]) {
      std::string path;
      const OutputKind kind = KindOf(arguments[i], path);
      if (kind == OutputKind::kNetwork) {
        planned.insert(planned.end(), {"-protocol_whitelist", kLiveProtocols});
      } else if (kind == OutputKind::kFile) {
        bool hasFormat = false;
        for (std::size_t j = optionsFrom[next]; j < i; ++j) {
          if (arguments[j] == "-f") hasFormat = true;
          if (TakesValue(arguments[j])) ++j;
        }
        if (!hasFormat) {
          const AVOutputFormat* format =
              Media() ? Media()->guessFormat(nullptr, path.c_str(), nullptr) : nullptr;
          if (format == nullptr) {
            plan.error = "cannot tell from the name " + Quoted(arguments[i]) +
                         " which kind of file to write";
            return plan;
          }
          planned.insert(planned.end(), {"-f", format->name});
        }
        if (lessonSeconds && !captures && !timeRange) {
          char seconds[32];
          // Rounded down: a cut placed just before a packet must not take it in.
          std::snprintf(seconds, sizeof seconds, "%.3f", std::floor(*lessonSeconds * 1000) / 1000);
          planned.insert(planned.end(), {"-t", seconds});
        }
        plan.files.push_back({planned.size(), path, captures || timeRange || !overwrite, captures});
      }
      ++next;
    }
    planned.push_back(arguments[i]);
  }
  arguments = std::move(planned);
  return plan;
}

OpenedOutput OpenOutput(const FileOutput& output, const std::vector<std::string>& inputs) {
  const std::string refused = "will not write " + Quoted(output.path) + ": ";
  // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting for one.
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                    (output.exclusive ? O_EXCL : 0);
  const int fd = ::open(output.path.c_str(), flags, 0666);
  if (fd < 0) {
    const int error = errno;
    // EACCES: the kernel's own guard against following or opening someone else's link, FIFO or
    // file in a folder all users may write.
    struct stat there {};
    if (error == EEXIST || error == ELOOP || error == ENXIO || error == EISDIR ||
        ((error == EACCES || error == EPERM) && ::lstat(output.path.c_str(), &there) == 0))
      return {-1, refused + WhatIsThere(output.path)};
    return {-1, "cannot write " + Quoted(output.path) + ": " + std::strerror(error)};
  }
  const auto refuse = [fd](std::string message) {
    ::close(fd);
    return OpenedOutput{-1, std::move(message)};
  };
  struct stat info {};
  if (::fstat(fd, &info) != 0) return refuse(refused + std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return refuse(refused + "it is not a regular file");
  if (info.st_uid != ::geteuid()) return refuse(refused + "it belongs to another user");
  for (const std::string& input : inputs) {
    std::string path;
    if (KindOf(input, path) == OutputKind::kFile && SameFile(info, path))
      return refuse(refused + "it is the file being read");
  }
  if (output.lock) {
    // An open-file-description lock, not a classic one: ffmpeg opens and closes the same file
    // through its own descriptor, which would drop a classic lock of this process. Either kind
    // reaches the lock manager of a network file system, so an encoder on another machine
    // holds the capture against a recovery here. A file system without locks records unlocked.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0 && (errno == EAGAIN || errno == EACCES))
      return refuse(refused + "another encoder is writing it");
  }
  // The encoder inherits it, blocking as files are.
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFD, 0) != 0)
    return refuse("cannot write " + Quoted(output.path) + ": " + std::strerror(errno));
  return {fd, {}};
}

std::string OpenedOutputName(int fd) {
  return "file:/proc/self/fd/" + std::to_string(fd);
}

}  // namespace vortenc
