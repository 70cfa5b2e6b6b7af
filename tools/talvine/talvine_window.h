#pragma once

#include <QPoint>
#include <QRect>
#include <QUrl>
#include <QWidget>

#include "module_options.h"

class QTimer;
class QWebEngineView;

namespace talvine {

// The chat page of a live lesson in a small window beside the toolbar. The window's title is the
// page's. A page that cannot be loaded is said in the window and tried again every few seconds
// (F5 at once). With --lock-view the window keeps its size and place.
class TalvineWindow : public QWidget {
  Q_OBJECT

 public:
  TalvineWindow(const ModuleOptions& options, const QRect& available);

 protected:
  void moveEvent(QMoveEvent* event) override;

 private:
  void LoadPage();
  void OnLoadFinished(bool ok);
  void ShowLoadFailure();

  QUrl url_;
  bool lockView_ = false;
  QPoint lockedAt_;
  QWebEngineView* view_ = nullptr;  // child
  QTimer* retry_ = nullptr;         // child
  bool loadingPage_ = false;        // the page itself, not the failure note, is loading
};

}  // namespace talvine
