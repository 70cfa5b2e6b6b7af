#include "ui/msg_hook.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <map>
#include <memory>
#include <vector>

#include "ui/end_edit_event.h"

namespace vortane::ui {
namespace {

std::map<const QWidget*, std::unique_ptr<CMsgHook>>& Registrations() {
  static std::map<const QWidget*, std::unique_ptr<CMsgHook>> registrations;
  return registrations;
}

// The registration `widget` belongs to (the editor itself or anything inside it).
CMsgHook* RegistrationOf(const QWidget* widget) {
  for (auto& [editor, hook] : Registrations()) {
    if (hook->editor && CMsgHook::IsInside(widget, hook->editor)) return hook.get();
  }
  return nullptr;
}

bool IsPopupWindow(const QWidget* widget) {
  return widget && widget->window() && (widget->window()->windowType() == Qt::Popup);
}

// A combo box whose list is shown, or a date picker whose calendar is shown, keeps its edit.
bool HasOpenPopup(const QWidget* editor) {
  if (auto* combo = qobject_cast<const QComboBox*>(editor))
    if (combo->view() && combo->view()->isVisible()) return true;
  if (auto* date = qobject_cast<const QDateTimeEdit*>(editor))
    if (date->calendarPopup() && date->calendarWidget() && date->calendarWidget()->isVisible())
      return true;
  return false;
}

class EndEditFilter : public QObject {
 public:
  explicit EndEditFilter(QObject* parent) : QObject(parent) {
    connect(qApp, &QApplication::focusChanged, this, &EndEditFilter::OnFocusChanged);
  }

  void SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active)
      qApp->installEventFilter(this);
    else
      qApp->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!active_ || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
      case QEvent::KeyPress:
        return OnKey(widget, static_cast<QKeyEvent*>(event));
      case QEvent::Show:
      case QEvent::Hide:
        if (widget->windowType() == Qt::Popup) {
          if (CMsgHook* hook = RegistrationOf(widget->parentWidget()))
            hook->dropDownOpen = event->type() == QEvent::Show;
        }
        return false;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::NonClientAreaMouseButtonPress:
      case QEvent::Wheel:
        OnOutsideInput(widget);
        return false;
      default:
        return false;
    }
  }

 private:
  bool OnKey(QWidget* widget, QKeyEvent* key) {
    // Keys inside a drop-down list belong to that list (Enter picks an entry there).
    if (IsPopupWindow(widget)) return false;
    CMsgHook* hook = RegistrationOf(widget);
    if (!hook) return false;
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        hook->SendEndEdit(1);
        return true;
      case Qt::Key_Escape:
        hook->SendEndEdit(0);
        return true;
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
        if (key->modifiers() & Qt::ControlModifier || !hook->list) return false;
        QCoreApplication::postEvent(hook->list,
                                    new QKeyEvent(QEvent::KeyPress, key->key(), key->modifiers()));
        return true;
      default:
        return false;
    }
  }

  void OnOutsideInput(QWidget* widget) {
    if (RegistrationOf(widget)) return;
    // Collect first: ending an edit changes the registrations.
    std::vector<QPointer<QWidget>> editors;
    for (auto& [editor, hook] : Registrations()) {
      if (hook->editor && !hook->dropDownOpen && !HasOpenPopup(hook->editor))
        editors.emplace_back(hook->editor);
    }
    for (const QPointer<QWidget>& editor : editors) {
      if (CMsgHook* hook = editor ? CMsgHook::Find(editor) : nullptr) hook->SendEndEdit(1);
    }
  }

  void OnFocusChanged(QWidget* old, QWidget* now) {
    if (!active_ || !old) return;
    CMsgHook* hook = RegistrationOf(old);
    if (!hook || hook->dropDownOpen) return;
    if (now && CMsgHook::IsInside(now, hook->editor)) return;
    hook->SendEndEdit(1);
  }

  bool active_ = false;
};

EndEditFilter* Filter() {
  // One filter per application object, owned by it.
  static QPointer<EndEditFilter> filter;
  if (!filter && qApp) filter = new EndEditFilter(qApp);
  return filter;
}

}  // namespace

void CMsgHook::Register(QWidget* editor, QWidget* list, QObject* alternate) {
  if (!editor) return;
  auto hook = std::make_unique<CMsgHook>();
  hook->editor = editor;
  hook->list = list;
  hook->alternate = alternate;
  Registrations()[editor] = std::move(hook);
  // One watch per editor for its whole life, however often it is registered again.
  static const char kWatched[] = "vortaneEndEditWatched";
  if (!editor->property(kWatched).toBool()) {
    editor->setProperty(kWatched, true);
    QObject::connect(editor, &QObject::destroyed, Filter(),
                     [editor] { CMsgHook::Unregister(editor); });
  }
  if (EndEditFilter* filter = Filter()) filter->SetActive(true);
}

bool CMsgHook::Unregister(const QWidget* editor) {
  auto& registrations = Registrations();
  const auto it = registrations.find(editor);
  if (it == registrations.end()) return false;
  // A SendEndEdit further up the stack may have led here; it no longer reads the record.
  registrations.erase(it);
  if (registrations.empty()) {
    if (EndEditFilter* filter = Filter()) filter->SetActive(false);
  }
  return true;
}

CMsgHook* CMsgHook::Find(const QWidget* editor) {
  auto& registrations = Registrations();
  const auto it = registrations.find(editor);
  return it == registrations.end() ? nullptr : it->second.get();
}

int CMsgHook::RegistrationCount() {
  return static_cast<int>(Registrations().size());
}

bool CMsgHook::IsInside(const QWidget* widget, const QWidget* editor) {
  if (!editor) return false;
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    if (w == editor) return true;
  }
  return false;
}

void CMsgHook::SendEndEdit(int commit) const {
  QObject* receiver = alternate ? alternate.data() : static_cast<QObject*>(list.data());
  if (!receiver) return;
  CEndEditEvent event(commit);
  QCoreApplication::sendEvent(receiver, &event);
}

}  // namespace vortane::ui
