#pragma once

#include "ui/popup_base_dlg.h"

namespace vortane::demo {

// The live task list as the program shows it: a skinned popup with the task list, a status
// line and three dialog buttons.
class DemoLiveListDlg : public ui::CPopupBaseDlg {
  Q_OBJECT

 public:
  explicit DemoLiveListDlg(const QString& skinXml, QWidget* parent = nullptr);
};

}  // namespace vortane::demo
