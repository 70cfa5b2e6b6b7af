#include "settings/region_windows.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaType>
#include <QScreen>
#include <cmath>
#include <memory>

#include "settings/flashing_wnd.h"
#include "settings/screen_capture_recorder_ini.h"
#include "settings/shift_region_window.h"

namespace vortane {
namespace {

struct RegionWindowSet {
  // The layer is declared first so the overlay, which points at it, goes first.
  std::unique_ptr<CShiftRegionWindow2> layer;
  std::unique_ptr<CShiftRegionWindow2> overlay;
  // The owner's connections, replaced when the owner changes.
  std::vector<QMetaObject::Connection> connections;
};

std::unique_ptr<RegionWindowSet>& Windows() {
  // The windows go with the application (a post routine); by the time the holder itself goes at
  // exit it is empty.
  static std::unique_ptr<RegionWindowSet> windows;
  return windows;
}

}  // namespace

void CreateRegionWindows(QObject* owner, RegionHandler onRegion) {
  qRegisterMetaType<CaptureRegion>();
  auto& windows = Windows();
  if (!windows) {
    windows = std::make_unique<RegionWindowSet>();
    windows->layer = std::make_unique<CShiftRegionWindow2>(true);
    windows->overlay = std::make_unique<CShiftRegionWindow2>(false);
    windows->overlay->SetNext(windows->layer.get());
    // Widgets must go while the application still exists, not with the other statics.
    qAddPostRoutine(DestroyRegionWindows);
  }
  for (const QMetaObject::Connection& connection : windows->connections)
    QObject::disconnect(connection);
  windows->connections.clear();
  auto chosen = [onRegion](const CaptureRegion& region) { onRegion(region); };
  auto cancelled = [onRegion] { onRegion(std::nullopt); };
  for (CShiftRegionWindow2* window : {windows->layer.get(), windows->overlay.get()}) {
    // The drag's rectangles wait for the owner's turn, like the cancel after them.
    windows->connections.push_back(QObject::connect(window, &CShiftRegionWindow2::regionDragged,
                                                    owner, chosen, Qt::QueuedConnection));
    windows->connections.push_back(QObject::connect(
        window, &CShiftRegionWindow2::selectionCancelled, owner, cancelled, Qt::QueuedConnection));
  }
  // The frame's rectangle is the owner's before the frame goes on.
  windows->connections.push_back(QObject::connect(
      windows->overlay->Frame(), &CFlashingWnd::regionPlaced, owner, chosen, Qt::DirectConnection));
  windows->overlay->Frame()->SetLocked(false);
  windows->overlay->ClearRegionSet();
}

void DestroyRegionWindows() {
  Windows().reset();
}

void BeginRegionSelection() {
  if (CShiftRegionWindow2* overlay = RegionOverlay()) overlay->BeginSelection();
}

void HideRegionFrame() {
  if (CFlashingWnd* frame = RegionFrame()) frame->hide();
}

QSize FullScreenClientSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  QSize area = screen->availableGeometry().size();
  double ratio = screen->devicePixelRatio();
  return {static_cast<int>(std::lround(area.width() * ratio)),
          static_cast<int>(std::lround(area.height() * ratio))};
}

void ResetRegionRegistry() {
  QSize full = FullScreenClientSize();
  WriteScreenCaptureRecorderValues(ResetValues(full.width(), full.height()));
}

bool IsRegionSet() {
  CShiftRegionWindow2* overlay = RegionOverlay();
  return overlay != nullptr && overlay->IsRegionSet();
}

void ClearRegionSet() {
  if (CShiftRegionWindow2* overlay = RegionOverlay()) overlay->ClearRegionSet();
}

void MarkFrameRecording(bool on) {
  if (CFlashingWnd* frame = RegionFrame()) frame->MarkRecording(on);
}

CShiftRegionWindow2* RegionOverlay() {
  return Windows() ? Windows()->overlay.get() : nullptr;
}

CShiftRegionWindow2* RegionLayer() {
  return Windows() ? Windows()->layer.get() : nullptr;
}

CFlashingWnd* RegionFrame() {
  return Windows() ? Windows()->overlay->Frame() : nullptr;
}

}  // namespace vortane
