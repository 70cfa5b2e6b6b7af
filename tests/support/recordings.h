#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <memory>

// Shared by the tests of recordings on disk: one application per test program, with the build's
// encoder adapter found first on PATH, as the program finds the one installed beside it.
namespace vortane::test {

class RecordingsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    ASSERT_TRUE(qEnvironmentVariableIsSet("VORTANE_PROGRAM_DIR")) << "run through ctest";
    qputenv("PATH",
            QFile::encodeName(qEnvironmentVariable("VORTANE_PROGRAM_DIR")) + ':' + qgetenv("PATH"));
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char arg0_[16] = "recordings_test";
  char* argv_[2] = {arg0_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};
inline ::testing::Environment* const kRecordingsEnvironment =
    ::testing::AddGlobalTestEnvironment(new RecordingsEnvironment);

}  // namespace vortane::test
