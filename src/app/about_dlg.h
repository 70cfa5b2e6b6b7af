#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace vortane {

// The About box ("关于"): title, version, a notice, the makers, and buttons that open the help
// page beside the program ("查看帮助") and the project's home page ("访问官网").
class AboutDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kIdOk = 1;
  static constexpr int kIdTitle = 1060;
  static constexpr int kIdVersion = 1028;
  static constexpr int kIdHelp = 1026;
  static constexpr int kIdHomePage = 2027;
  static constexpr int kIdFeedback = 2024;

  // Hands an address to the desktop (xdg-open); tests look at what would be opened.
  using Opener = std::function<void(const QUrl&)>;

  explicit AboutDlg(QWidget* parent = nullptr, const QString& programFolder = QString(),
                    Opener opener = {});

  QLabel* TitleLabel() const { return title_; }
  QLabel* VersionLabel() const { return version_; }
  QPushButton* Button(int id) const;

  // The help page: manual/index.html in the program folder, opened only when it exists.
  void OnHelp();
  void OnHomePage();

 private:
  QString programFolder_;
  Opener opener_;
  QLabel* title_ = nullptr;
  QLabel* version_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* help_ = nullptr;
  QPushButton* homePage_ = nullptr;
  QPushButton* feedback_ = nullptr;
};

}  // namespace vortane
