// The platform server's replies: the login reply with its live task tree, the upload destination
// tree and the stop signal's reply. The first byte picks the request. Every field that reaches a
// command line or a window is taken as far as the program takes it: the push address to the
// choice of a task, the page addresses to the arguments of the browser and of the interaction
// module (and back through the module's own reading), the levels to the indents of the lists.
#include <QStringList>
#include <string_view>

#include "fuzz_input.h"
#include "http/destination_choice.h"
#include "http/interaction_command_lines.h"
#include "http/live_task_choice.h"
#include "http/platform_reply.h"
#include "module_options.h"

using namespace vortane;

namespace {

// The remembered platform server: typed without a scheme, with one, or not at all.
constexpr const char* kServers[] = {"127.0.0.1:8080", "https://school.example.cn", ""};

bool StartsWithAny(std::string_view text, std::initializer_list<std::string_view> prefixes) {
  for (std::string_view prefix : prefixes)
    if (text.starts_with(prefix)) return true;
  return false;
}

// A page address as it is handed on: http or https, and nothing in it that ends an argument or
// a quoted stretch for whatever reads it.
bool IsHandedOnPage(std::string_view page) {
  if (!StartsWithAny(page, {"http://", "https://"})) return false;
  for (const char c : page) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'') return false;
  }
  return true;
}

bool IsGeometryOption(const std::string& argument) {
  for (std::string_view name : {"--width=", "--height=", "--xpos=", "--ypos="}) {
    if (!argument.starts_with(name)) continue;
    std::string_view number = std::string_view(argument).substr(name.size());
    if (number.starts_with('-')) number.remove_prefix(1);
    if (number.empty() || number.size() > 10) return false;
    for (const char c : number)
      if (c < '0' || c > '9') return false;
    return true;
  }
  return argument == "--lock-view";
}

void CheckPages(const LiveTask& task) {
  for (const char* server : kServers) {
    if (const std::optional<std::string> page = SafePageUrl(task.meetingUrl, server)) {
      FUZZ_CHECK(IsHandedOnPage(*page));
      const std::vector<std::string> browser = BuildBrowserArguments(*page);
      FUZZ_CHECK(browser.size() == 4 && browser[0] == "--app=" + *page);
    }
    const std::optional<std::string> page = SafePageUrl(task.chatUrl, server);
    if (!page) continue;
    FUZZ_CHECK(IsHandedOnPage(*page));
    const std::optional<std::vector<std::string>> module =
        BuildModuleArguments(*page, task.chatUrl);
    if (!module) continue;
    FUZZ_CHECK(!module->empty() && (*module)[0] == "--url=" + *page);
    for (std::size_t i = 1; i < module->size(); ++i)
      FUZZ_CHECK(IsGeometryOption((*module)[i]));
    // The module shows the very page it was given.
    const QStringList arguments = ArgumentTexts(*module);
    const std::optional<talvine::ModuleOptions> read = talvine::ParseModuleOptions(arguments);
    FUZZ_CHECK(read && read->url == arguments[0].mid(6));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::uint8_t request = input.Byte();
  const std::string body(input.Rest());
  const PlatformCredentials account{"13800138000", "a&b #1+2", "lesson"};
  switch (request % 3) {
    case 0: {
      // The live list shows each task; choosing one checks it; stopping it signals its address;
      // its pages open in the browser and the interaction module.
      for (const LiveTask& task : ReadLoginReply(body, account).tasks) {
        FUZZ_CHECK(live_task_choice::RowTitle(task).size() <= task.name.size() + 15);
        if (!live_task_choice::Refusal(&task)) {
          FUZZ_CHECK(StartsWithAny(task.pushUrl, {"rtmp://", "rtmps://", "udp://"}));
          FUZZ_CHECK(task.pushUrl.find('|') == std::string::npos);
        }
        StopSignalUrl(task.callbackUrl);
        CheckPages(task);
      }
      break;
    }
    case 1: {
      // The file manager lists the destinations, indented by their levels.
      const UploadReply reply = ReadUploadReply(body);
      const std::vector<DestinationEntry> entries = DestinationEntries(reply.targets);
      for (std::size_t i = 1; i < entries.size(); ++i)
        FUZZ_CHECK(entries[i].text.size() <= entries[i].target->name.size() + 52);
      break;
    }
    default:
      ReadStopReply(body);
      break;
  }
  return 0;
}
