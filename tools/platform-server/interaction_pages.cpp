#include "interaction_pages.h"

#include <ctime>
#include <nlohmann/json.hpp>

namespace platform_server {
namespace {

using nlohmann::json;

// A room keeps this many of its newest messages; longer texts and names are refused.
constexpr size_t kKeptMessages = 200;
constexpr size_t kLongestText = 2000;
constexpr size_t kLongestName = 64;

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Filled(std::string page, const std::string& title) {
  const std::string marker = "{TITLE}";
  for (size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at))
    page.replace(at, marker.size(), Escaped(title));
  return page;
}

std::string ClockTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[8];
  std::strftime(text, sizeof text, "%H:%M", &local);
  return text;
}

// Texts the page shows come from anyone: they are set as text, never as markup.
constexpr char kChatPage[] = R"html(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{TITLE} · 文字互动</title>
<style>
  * { box-sizing: border-box; }
  html, body { height: 100%; margin: 0; }
  body { display: flex; flex-direction: column; font: 14px "WenQuanYi Micro Hei", sans-serif;
         background: #21252b; color: #e6e6e6; }
  header { padding: 10px 12px; background: #2c313a; font-weight: bold; }
  header small { display: block; font-weight: normal; color: #9da5b4; margin-top: 2px; }
  #log { flex: 1; overflow-y: auto; padding: 8px 12px; }
  .msg { margin: 0 0 10px; }
  .who { color: #7ec699; font-size: 12px; }
  .text { margin-top: 2px; white-space: pre-wrap; word-break: break-word; }
  #empty { color: #7f848e; text-align: center; margin-top: 40px; }
  #state { min-height: 18px; padding: 0 12px; color: #ff6b6b; font-size: 12px; }
  form { display: flex; gap: 6px; padding: 8px 12px 12px; background: #2c313a; }
  input { border: 1px solid #3e4451; background: #1b1f24; color: #e6e6e6; padding: 6px;
          border-radius: 4px; min-width: 0; }
  #name { width: 70px; }
  #text { flex: 1; }
  button { background: #3d8b5a; color: white; border: 0; border-radius: 4px; padding: 0 14px; }
</style></head>
<body>
<header>{TITLE}<small>文字互动</small></header>
<div id="log"><div id="empty">还没有消息，说点什么吧。</div></div>
<div id="state"></div>
<form id="send">
  <input id="name" maxlength="32" placeholder="昵称" aria-label="昵称">
  <input id="text" maxlength="500" placeholder="输入消息，回车发送" autocomplete="off" aria-label="消息">
  <button type="submit">发送</button>
</form>
<script>
const base = location.pathname.replace(/\/$/, '') + '/messages';
const log = document.getElementById('log');
const state = document.getElementById('state');
const nameBox = document.getElementById('name');
const textBox = document.getElementById('text');
let last = 0;
try { nameBox.value = localStorage.getItem('chat-name') || '老师'; } catch (e) { nameBox.value = '老师'; }

function add(message) {
  const empty = document.getElementById('empty');
  if (empty) empty.remove();
  const row = document.createElement('div');
  row.className = 'msg';
  const who = document.createElement('div');
  who.className = 'who';
  who.textContent = message.name + '  ' + message.time;
  const text = document.createElement('div');
  text.className = 'text';
  text.textContent = message.text;
  row.append(who, text);
  log.append(row);
}

async function poll() {
  try {
    const reply = await fetch(base + '?after=' + last, {cache: 'no-store'});
    if (!reply.ok) throw new Error(reply.status);
    const data = await reply.json();
    const atBottom = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
    for (const message of data.messages) { add(message); last = message.seq; }
    if (data.messages.length && atBottom) log.scrollTop = log.scrollHeight;
    if (state.dataset.kind === 'poll') { state.textContent = ''; state.dataset.kind = ''; }
  } catch (e) {
    state.textContent = '与平台的连接中断，正在重试…';
    state.dataset.kind = 'poll';
  }
  setTimeout(poll, 1000);
}

document.getElementById('send').addEventListener('submit', async (event) => {
  event.preventDefault();
  const text = textBox.value.trim();
  if (!text) return;
  const name = nameBox.value.trim() || '老师';
  try { localStorage.setItem('chat-name', name); } catch (e) {}
  try {
    const reply = await fetch(base, {method: 'POST', headers: {'Content-Type': 'application/json'},
                                     body: JSON.stringify({name, text})});
    if (!reply.ok) throw new Error((await reply.json()).err_desc || reply.status);
    textBox.value = '';
    state.textContent = '';
  } catch (e) {
    state.textContent = '发送失败：' + e.message;
    state.dataset.kind = 'send';
  }
});
poll();
</script>
</body></html>
)html";

constexpr char kMeetingPage[] = R"html(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<title>{TITLE} · 视频互动</title>
<style>
  html, body { height: 100%; margin: 0; background: #111; color: #eee;
               font: 15px "WenQuanYi Micro Hei", sans-serif; }
  body { display: flex; flex-direction: column; }
  header { padding: 12px 16px; background: #2c313a; font-weight: bold; }
  main { flex: 1; display: flex; align-items: center; justify-content: center; }
  video { max-width: 90%; max-height: 80vh; background: #000; border-radius: 6px; }
  #state { padding: 12px 16px; color: #ffb86c; }
</style></head>
<body>
<header>{TITLE} · 视频互动</header>
<main><video id="self" autoplay muted playsinline></video></main>
<div id="state">正在打开摄像头…</div>
<script>
const state = document.getElementById('state');
if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
  state.textContent = '这个浏览器不能使用摄像头。';
} else {
  navigator.mediaDevices.getUserMedia({video: true, audio: true}).then((stream) => {
    document.getElementById('self').srcObject = stream;
    state.textContent = '摄像头已打开，等待同学加入。';
  }).catch((error) => {
    state.textContent = '无法使用摄像头：' + error.message + '（请关闭占用摄像头的程序后刷新）';
  });
}
</script>
</body></html>
)html";

}  // namespace

InteractionPages::InteractionPages(
    std::function<std::optional<std::string>(const std::string&)> taskName)
    : taskName_(std::move(taskName)) {}

void InteractionPages::Route(httplib::Server& server) {
  auto page = [this](const char* html) {
    return [this, html](const httplib::Request& request, httplib::Response& response) {
      const std::optional<std::string> name = taskName_(request.matches[1]);
      if (!name) {
        response.status = 404;
        response.set_content("no such lesson\n", "text/plain");
        return;
      }
      response.set_content(Filled(html, *name), "text/html; charset=utf-8");
    };
  };
  server.Get(R"(/chat/(\d+))", page(kChatPage));
  server.Get(R"(/meeting/(\d+))", page(kMeetingPage));
  server.Get(R"(/chat/(\d+)/messages)",
             [this](const httplib::Request& request, httplib::Response& response) {
               if (!taskName_(request.matches[1])) {
                 response.status = 404;
                 return;
               }
               long after = 0;
               try {
                 after = std::stol(request.get_param_value("after"));
               } catch (const std::exception&) {
                 after = 0;
               }
               response.set_content(Messages(request.matches[1], after), "application/json");
             });
  server.Post(R"(/chat/(\d+)/messages)", [this](const httplib::Request& request,
                                                httplib::Response& response) {
    if (!taskName_(request.matches[1])) {
      response.status = 404;
      return;
    }
    std::string why;
    const std::optional<long> seq = Post(request.matches[1], request.body, why);
    if (!seq) {
      response.status = 400;
      response.set_content(json{{"code", 1}, {"err_desc", why}}.dump(), "application/json");
      return;
    }
    response.set_content(json{{"code", 0}, {"seq", *seq}}.dump(), "application/json");
  });
}

std::string InteractionPages::Messages(const std::string& room, long after) {
  json list = json::array();
  {
    std::lock_guard lock(mutex_);
    auto it = rooms_.find(room);
    if (it != rooms_.end()) {
      for (const Message& message : it->second.messages) {
        if (message.seq <= after) continue;
        list.push_back({{"seq", message.seq},
                        {"name", message.name},
                        {"text", message.text},
                        {"time", message.time}});
      }
    }
  }
  return json{{"messages", list}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<long> InteractionPages::Post(const std::string& room, const std::string& body,
                                           std::string& why) {
  const json message = json::parse(body, nullptr, false);
  if (!message.is_object() || !message.contains("text") || !message["text"].is_string()) {
    why = "消息格式不对";
    return std::nullopt;
  }
  const std::string text = message["text"].get<std::string>();
  std::string name;
  if (auto it = message.find("name"); it != message.end() && it->is_string())
    name = it->get<std::string>();
  if (text.empty() || text.size() > kLongestText) {
    why = "消息不能为空，也不能太长";
    return std::nullopt;
  }
  if (name.empty()) name = "老师";
  if (name.size() > kLongestName) {
    why = "昵称太长";
    return std::nullopt;
  }
  std::lock_guard lock(mutex_);
  Room& target = rooms_[room];
  target.messages.push_back({++target.lastSeq, name, text, ClockTime()});
  while (target.messages.size() > kKeptMessages)
    target.messages.pop_front();
  return target.lastSeq;
}

}  // namespace platform_server
