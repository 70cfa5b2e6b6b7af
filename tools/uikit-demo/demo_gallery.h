#pragma once

#include <QWidget>

namespace vortane::demo {

// Every control of the kit on one page: buttons in all states, label styles, LED colours, the
// editable list, the skinned list and the range slider.
class DemoGallery : public QWidget {
  Q_OBJECT

 public:
  explicit DemoGallery(const QString& skinFolder, QWidget* parent = nullptr);
};

}  // namespace vortane::demo
