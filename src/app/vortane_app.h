#pragma once

#include <memory>

class QApplication;

namespace vortane {

// The program: prepares the application, makes sure only one toolbar runs on this display, and
// runs the toolbar until it closes.
class CVortaneApp {
 public:
  CVortaneApp(int& argc, char** argv);
  ~CVortaneApp();
  CVortaneApp(const CVortaneApp&) = delete;
  CVortaneApp& operator=(const CVortaneApp&) = delete;

  // Runs the program; the result is its exit status: 0 after a normal close (and for a second
  // start, which only brings the running toolbar to the front), 1 when the start-up check failed.
  int InitInstance();

 private:
  std::unique_ptr<QApplication> app_;
};

}  // namespace vortane
