#pragma once

#include "ui/popup_base_dlg.h"

namespace vortane::demo {

// The login dialog's look: a fixed-size skinned popup with three edits, a check box and the
// two dialog buttons.
class DemoLoginDlg : public ui::CPopupBaseDlg {
  Q_OBJECT

 public:
  explicit DemoLoginDlg(const QString& skinXml, QWidget* parent = nullptr);
};

}  // namespace vortane::demo
