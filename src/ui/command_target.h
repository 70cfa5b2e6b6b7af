#pragma once

class QWidget;

// How controls tell the window that owns them about clicks (the Qt form of WM_COMMAND and
// WM_NOTIFY). A window that handles commands implements CCommandTarget:
//
//   class CVortaneDlg : public QDialog, public CDialogUtility, public ui::CCommandTarget {
//     void OnCommand(int id) override { switch (id) { case 1001: StartOrStop(); break; } }
//   };
//
// The kit's controls carry their dialog control id (`controlId`) and, when clicked, look up the
// nearest ancestor that is a CCommandTarget and call it on the UI thread, synchronously:
// CHoverButton and CGdiButton send OnCommand(controlId) (BN_CLICKED); a CLabel with notify-parent
// on sends OnNotify(controlId, kLabelClickNotify). Every control also emits a Qt signal for the
// same event, so code that prefers connect() can use that instead.
namespace vortane::ui {

// The notification code a clicked label sends to its parent.
inline constexpr int kLabelClickNotify = 0x8200;

class CCommandTarget {
 public:
  virtual ~CCommandTarget() = default;
  // A button with this id was clicked (or a label with the notify style, see OnNotify).
  virtual void OnCommand(int id) = 0;
  // A control reports something other than a plain click; the default ignores it.
  virtual void OnNotify(int id, int code) {
    (void)id;
    (void)code;
  }
};

// The nearest ancestor of `control` (following parentWidget(), across window boundaries)
// that implements CCommandTarget; null when there is none.
CCommandTarget* FindCommandTarget(QWidget* control);

// Calls OnCommand / OnNotify on the control's command target. False when there is none.
bool SendCommand(QWidget* control, int id);
bool SendNotify(QWidget* control, int id, int code);

}  // namespace vortane::ui
