#pragma once

#include <QDialog>
#include <QPoint>
#include <QSize>

class QComboBox;

namespace vortane {

// "设置一个标准区域": picks one of the standard region sizes from a drop-down list.
class StandardSizeDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 146;
  static constexpr int kSizeListId = 1064;

  explicit StandardSizeDlg(QWidget* parent = nullptr);

  // Puts the dialog's top-left at `cursor`, moved back inside the screen when it would stick out.
  void PlaceAt(QPoint cursor);

  // The list position when the dialog was accepted (the preselected one before that).
  int ChosenIndex() const { return chosenIndex_; }
  QSize ChosenSize() const;
  QComboBox* SizeList() const { return sizeList_; }

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QComboBox* sizeList_ = nullptr;
  int chosenIndex_;
};

}  // namespace vortane
