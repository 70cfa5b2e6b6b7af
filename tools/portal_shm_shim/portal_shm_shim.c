// Loaded with LD_PRELOAD into xdg-desktop-portal-wlr on a desktop without a GPU (the headless test
// desktop). Version 0.7 of that portal only negotiates a screencast after the compositor has
// announced a dma-buf format for a screencopy frame; a compositor that renders in software
// announces shared memory only, and the portal then fails every Start. This library announces,
// just before each shared-memory `buffer` event, a `linux_dmabuf` event of the same size and
// format, after which the portal settles on shared-memory buffers. Machines with a GPU need none
// of this.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <string.h>
#include <wayland-client-core.h>

// The events of zwlr_screencopy_frame_v1 (version 3), in protocol order.
enum { kBuffer, kFlags, kReady, kFailed, kDamage, kLinuxDmabuf, kBufferDone, kEventCount };

typedef void (*Event)(void);
typedef void (*BufferEvent)(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                            uint32_t height, uint32_t stride);
typedef void (*DmabufEvent)(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                            uint32_t height);

// One wrapped listener per listener the portal uses (it uses one); a few slots are plenty.
enum { kSlots = 8 };
struct Wrapped {
  const Event* original;
  Event events[kEventCount];
};
static struct Wrapped wrapped[kSlots];
static int wrappedCount;
static pthread_mutex_t wrappedLock = PTHREAD_MUTEX_INITIALIZER;

// wl_shm formats are DRM fourcc codes except the first two.
static uint32_t DrmFormat(uint32_t shmFormat) {
  if (shmFormat == 0) return 0x34325241;  // 'AR24'
  if (shmFormat == 1) return 0x34325258;  // 'XR24'
  return shmFormat;
}

static void OnBuffer(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                     uint32_t height, uint32_t stride) {
  const Event* events = (const Event*)wl_proxy_get_listener(frame);
  const struct Wrapped* self = NULL;
  for (int i = 0; i < kSlots && self == NULL; ++i)
    if (wrapped[i].events == events) self = &wrapped[i];
  if (self == NULL) return;
  if (self->original[kLinuxDmabuf] != NULL)
    ((DmabufEvent)self->original[kLinuxDmabuf])(data, frame, DrmFormat(format), width, height);
  ((BufferEvent)self->original[kBuffer])(data, frame, format, width, height, stride);
}

static const Event* Wrap(const Event* original) {
  pthread_mutex_lock(&wrappedLock);
  const Event* result = original;
  for (int i = 0; i < wrappedCount; ++i)
    if (wrapped[i].original == original) result = wrapped[i].events;
  if (result == original && wrappedCount < kSlots) {
    struct Wrapped* slot = &wrapped[wrappedCount++];
    slot->original = original;
    memcpy(slot->events, original, sizeof(slot->events));
    slot->events[kBuffer] = (Event)OnBuffer;
    result = slot->events;
  }
  pthread_mutex_unlock(&wrappedLock);
  return result;
}

int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data) {
  typedef int (*AddListener)(struct wl_proxy*, void (**)(void), void*);
  static AddListener next;
  if (next == NULL) next = (AddListener)dlsym(RTLD_NEXT, "wl_proxy_add_listener");
  if (next == NULL) return -1;
  if (implementation != NULL && strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0)
    implementation = (void (**)(void))Wrap((const Event*)implementation);
  return next(proxy, implementation, data);
}
