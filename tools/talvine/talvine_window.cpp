#include "talvine_window.h"

#include <QKeySequence>
#include <QMoveEvent>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <cstdio>

namespace talvine {
namespace {

constexpr int kRetryMs = 5000;

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

QString WindowTitle() {
  return Text("文字互动");
}

}  // namespace

TalvineWindow::TalvineWindow(const ModuleOptions& options, const QRect& available)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint),
      url_(options.url),
      lockView_(options.lockView) {
  setWindowTitle(WindowTitle());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new QWebEngineView(this);
  layout->addWidget(view_);
  connect(view_, &QWebEngineView::titleChanged, this, [this](const QString& title) {
    // A page without a title reports its address instead.
    setWindowTitle(title.isEmpty() || title == url_.toString() ? WindowTitle() : title);
  });
  connect(view_, &QWebEngineView::loadFinished, this, &TalvineWindow::OnLoadFinished);

  retry_ = new QTimer(this);
  retry_->setSingleShot(true);
  retry_->setInterval(kRetryMs);
  connect(retry_, &QTimer::timeout, this, &TalvineWindow::LoadPage);
  auto* reload = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(reload, &QShortcut::activated, this, &TalvineWindow::LoadPage);

  const QRect place = PlaceModuleWindow(options, available);
  move(place.topLeft());
  resize(place.size());
  if (lockView_) {
    setFixedSize(place.size());
    lockedAt_ = place.topLeft();
  }
  LoadPage();
}

void TalvineWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // A locked window goes back where it was put; the window manager may have moved it.
  if (lockView_ && pos() != lockedAt_)
    QTimer::singleShot(0, this, [this] {
      if (pos() != lockedAt_) move(lockedAt_);
    });
}

void TalvineWindow::LoadPage() {
  retry_->stop();
  loadingPage_ = true;
  view_->load(url_);
}

void TalvineWindow::OnLoadFinished(bool ok) {
  if (!loadingPage_) return;  // the failure note itself
  loadingPage_ = false;
  // Not the address: it can carry the teacher's account.
  std::fprintf(stderr, "talvine: %s\n", ok ? "page loaded" : "page failed");
  if (!ok) ShowLoadFailure();
}

void TalvineWindow::ShowLoadFailure() {
  // The server only: the window may be on a recorded or streamed screen, and the rest of the
  // address can carry the teacher's account.
  const QString address = url_.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemovePath |
                                               QUrl::RemoveQuery | QUrl::RemoveFragment)
                              .toHtmlEscaped();
  const QString page =
      Text(
          "<!DOCTYPE html><html><head><meta charset='utf-8'><title>文字互动</title></head>"
          "<body style='font-family:sans-serif;background:#21252b;color:#eee;padding:12px'>"
          "<h3 style='color:#ff6b6b'>无法打开互动页面</h3><p style='word-break:break-all'>") +
      address +
      Text("</p><p>请检查网络连接。每 5 秒自动重试一次，按 F5 立即重试。</p></body></html>");
  view_->setHtml(page);
  retry_->start();
}

}  // namespace talvine
