#pragma once

#include <httplib.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace platform_server {

// The pages a live task's "chat_url" and "meeting_url" lead to:
//   GET  /chat/ID                  a chat room for the task (HTML; polls for new messages)
//   GET  /chat/ID/messages?after=N the messages after number N, as
//                                  {"messages": [{"seq", "name", "text", "time"}]}
//   POST /chat/ID/messages         {"name": "...", "text": "..."} adds one
//   GET  /meeting/ID               the video page: the visitor's own camera picture
// Only tasks of the data file have pages. Rooms live in memory and keep their newest messages.
class InteractionPages {
 public:
  // `taskName` gives the name of the task with this id, or nothing when there is none.
  explicit InteractionPages(std::function<std::optional<std::string>(const std::string&)> taskName);

  void Route(httplib::Server& server);

 private:
  struct Message {
    long seq = 0;
    std::string name;
    std::string text;
    std::string time;
  };
  struct Room {
    long lastSeq = 0;
    std::deque<Message> messages;
  };

  std::string Messages(const std::string& room, long after);
  // The new message's number, or nothing when it is refused (with why).
  std::optional<long> Post(const std::string& room, const std::string& body, std::string& why);

  std::function<std::optional<std::string>(const std::string&)> taskName_;
  std::mutex mutex_;
  std::map<std::string, Room> rooms_;
};

}  // namespace platform_server
