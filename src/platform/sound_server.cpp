#include "platform/sound_server.h"

#include <pulse/pulseaudio.h>

#include <memory>

namespace vortane::platform {
namespace {

using Clock = std::chrono::steady_clock;

// The state one query collects while the main loop runs its callbacks.
struct Query {
  SoundServerInventory inventory;
  bool sourcesDone = false;
  bool serverInfoDone = false;
  bool sinkDone = false;
};

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* query = static_cast<Query*>(userdata);
  if (eol) {
    query->sinkDone = true;
    return;
  }
  if (info && info->monitor_source_name)
    query->inventory.defaultSinkMonitor = QString::fromUtf8(info->monitor_source_name);
}

void OnServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
  auto* query = static_cast<Query*>(userdata);
  query->serverInfoDone = true;
  if (!info || !info->default_sink_name || !*info->default_sink_name) {
    query->sinkDone = true;
    return;
  }
  query->inventory.defaultSink = QString::fromUtf8(info->default_sink_name);
  pa_operation* operation =
      pa_context_get_sink_info_by_name(context, info->default_sink_name, OnSinkInfo, query);
  if (operation) {
    pa_operation_unref(operation);
  } else {
    query->sinkDone = true;
  }
}

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  auto* query = static_cast<Query*>(userdata);
  if (eol) {
    query->sourcesDone = true;
    return;
  }
  if (!info || !info->name) return;
  SoundSource source;
  source.name = QString::fromUtf8(info->name);
  source.description =
      info->description && *info->description ? QString::fromUtf8(info->description) : source.name;
  source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
  query->inventory.sources.push_back(std::move(source));
}

struct MainLoopDeleter {
  void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextDeleter {
  void operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
};

}  // namespace

SoundServerInventory QuerySoundServer(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  auto unreachable = [](const QString& why) {
    SoundServerInventory inventory;
    inventory.error = why;
    return inventory;
  };
  // Declared before the connection, so it outlives every callback that may still point at it.
  Query query;
  std::unique_ptr<pa_mainloop, MainLoopDeleter> loop(pa_mainloop_new());
  if (!loop) return unreachable(QStringLiteral("cannot create a sound server connection"));
  std::unique_ptr<pa_context, ContextDeleter> context(
      pa_context_new(pa_mainloop_get_api(loop.get()), "vortane"));
  if (!context) return unreachable(QStringLiteral("cannot create a sound server connection"));
  auto serverError = [&context] {
    return QString::fromUtf8(pa_strerror(pa_context_errno(context.get())));
  };
  // Never let a lookup start a sound server of its own.
  if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    return unreachable(serverError());

  bool asked = false;
  while (true) {
    pa_context_state_t state = pa_context_get_state(context.get());
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
      return unreachable(serverError());
    if (state == PA_CONTEXT_READY && !asked) {
      asked = true;
      pa_operation* sources = pa_context_get_source_info_list(context.get(), OnSourceInfo, &query);
      pa_operation* server = pa_context_get_server_info(context.get(), OnServerInfo, &query);
      if (!sources || !server) {
        if (sources) pa_operation_unref(sources);
        if (server) pa_operation_unref(server);
        return unreachable(serverError());
      }
      pa_operation_unref(sources);
      pa_operation_unref(server);
    }
    if (asked && query.sourcesDone && query.serverInfoDone && query.sinkDone) break;

    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return unreachable(QStringLiteral("the sound server did not answer"));
    if (pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0 ||
        pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0)
      return unreachable(QStringLiteral("the sound server connection failed"));
  }
  query.inventory.reachable = true;
  return query.inventory;
}

}  // namespace vortane::platform
