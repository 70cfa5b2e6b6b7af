#include "server_options.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace platform_server {
namespace {

struct NamedFault {
  Fault fault;
  const char* name;
};
constexpr NamedFault kFaults[] = {
    {Fault::kNone, "none"},
    {Fault::kNoAnswer, "no-answer"},
    {Fault::kSlowDrip, "slow-drip"},
    {Fault::kHttp500, "http-500"},
    {Fault::kNotJson, "not-json"},
    {Fault::kNoCode, "no-code"},
    {Fault::kHugeBody, "huge-body"},
    {Fault::kDeepNesting, "deep-nesting"},
    {Fault::kHostile, "hostile"},
    {Fault::kRedirectAway, "redirect-away"},
    {Fault::kRedirectHere, "redirect-here"},
};

void PrintUsage() {
  std::fprintf(stderr,
               "usage: platform-server [--data FILE] [--rtmp URL] [--port N] [--fault MODE]\n"
               "                       [--signal-log FILE] [--upload-dir DIR]\n"
               "  --data FILE        accounts, live tasks and upload destinations (JSON);\n"
               "                     default: platform-sample.json beside the program\n"
               "  --rtmp URL         replaces {rtmp} in the replies (default %s)\n"
               "  --port N           listen on 127.0.0.1:N (default: a free port)\n"
               "  --fault MODE       answer every platform request wrongly:",
               "rtmp://127.0.0.1:1935/live");
  for (const std::string& name : FaultNames())
    std::fprintf(stderr, " %s", name.c_str());
  std::fprintf(stderr,
               "\n"
               "                     (hostile: the tasks' and destinations' addresses and\n"
               "                     levels attack the teacher's machine; redirect-away,\n"
               "                     redirect-here: the account requests are redirected to this\n"
               "                     server as \"localhost\", or to /moved/... of it)\n"
               "  --signal-log FILE  append each stop signal received as one line\n"
               "  --upload-dir DIR   store uploaded files there (default: a new folder in /tmp)\n"
               "Prints its address (http://127.0.0.1:PORT) on the first line of standard output;\n"
               "GET /control/fault?mode=MODE switches faults, GET /control/signals lists the\n"
               "stop signals, GET /control/referers the Referer headers of the requests it\n"
               "received. It ends with the process that started it.\n");
}

std::string ProgramFolder() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

}  // namespace

std::optional<Fault> FaultByName(const std::string& name) {
  for (const NamedFault& entry : kFaults)
    if (name == entry.name) return entry.fault;
  return std::nullopt;
}

const char* FaultName(Fault fault) {
  for (const NamedFault& entry : kFaults)
    if (fault == entry.fault) return entry.name;
  return "none";
}

std::vector<std::string> FaultNames() {
  std::vector<std::string> names;
  for (const NamedFault& entry : kFaults)
    names.emplace_back(entry.name);
  return names;
}

std::optional<ServerOptions> ParseOptions(int argc, char* argv[]) {
  ServerOptions options;
  options.dataFile = ProgramFolder() + "/platform-sample.json";
  options.rtmpBase = "rtmp://127.0.0.1:1935/live";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      PrintUsage();
      return std::nullopt;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "platform-server: %s needs a value\n", option.c_str());
      PrintUsage();
      return std::nullopt;
    }
    const std::string value = argv[++i];
    if (option == "--data") {
      options.dataFile = value;
    } else if (option == "--rtmp") {
      options.rtmpBase = value;
    } else if (option == "--port") {
      options.port = std::atoi(value.c_str());
      if (options.port <= 0 || options.port > 65535) {
        std::fprintf(stderr, "platform-server: no such port: %s\n", value.c_str());
        return std::nullopt;
      }
    } else if (option == "--fault") {
      const std::optional<Fault> fault = FaultByName(value);
      if (!fault) {
        std::fprintf(stderr, "platform-server: no such fault: %s\n", value.c_str());
        PrintUsage();
        return std::nullopt;
      }
      options.fault = *fault;
    } else if (option == "--signal-log") {
      options.signalLog = value;
    } else if (option == "--upload-dir") {
      options.uploadFolder = value;
    } else {
      std::fprintf(stderr, "platform-server: unknown option %s\n", option.c_str());
      PrintUsage();
      return std::nullopt;
    }
  }
  if (options.uploadFolder.empty()) {
    char folder[] = "/tmp/platform-uploads.XXXXXX";
    if (mkdtemp(folder) != nullptr) options.uploadFolder = folder;
  }
  return options;
}

}  // namespace platform_server
